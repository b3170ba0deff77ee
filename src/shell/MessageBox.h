#pragma once
// Every modal box of the program: titled with the application name, rich
// text, Ok (and Cancel for questions).

#include <QMessageBox>
#include <QString>

namespace tessal {
namespace qt {

class MessageBox : public QMessageBox
{
    Q_OBJECT
public:
    using QMessageBox::QMessageBox;
};

// Each returns the standard button the user pressed (QMessageBox::exec).
int ShowMessageBox(QMessageBox::Icon icon, const QString& text);
int ShowInformationBox(const QString& text);
int ShowWarningBox(const QString& text);
int ShowCriticalBox(const QString& text);
int ShowQuestionBox(const QString& text);

} // namespace qt
} // namespace tessal
