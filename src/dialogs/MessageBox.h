#pragma once
// Every modal box of the program: titled with the application name, rich
// text, Ok (and Cancel for questions).

#include <QMessageBox>
#include <QString>

class QDialog;
class QShowEvent;
class QSpacerItem;

namespace tessal {
namespace qt {

class MessageBox : public QMessageBox
{
    Q_OBJECT
public:
    using QMessageBox::QMessageBox;

protected:
    // Wide enough for its whole title as window managers draw it.
    void showEvent(QShowEvent* event) override;

private:
    QSpacerItem* m_titleRoom = nullptr;
};

// Runs a question (a box or a dialog) modally and returns the answer of the
// button the user pressed, Escape and the window's close included. A question
// ended any other way (a quit, a termination signal, its loop left from
// outside) answers `refusal`; while a quit is under way it is not shown.
int execQuestion(QDialog& dialog, int refusal);

// Each returns the standard button the user pressed: Cancel for a question,
// NoButton for the others, when the box was ended without one.
int ShowMessageBox(QMessageBox::Icon icon, const QString& text);
int ShowInformationBox(const QString& text);
int ShowWarningBox(const QString& text);
int ShowCriticalBox(const QString& text);
int ShowQuestionBox(const QString& text);

} // namespace qt
} // namespace tessal
