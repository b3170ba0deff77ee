#include "shell/MessageBox.h"

#include <QCoreApplication>

namespace tessal {
namespace qt {

int ShowMessageBox(QMessageBox::Icon icon, const QString& text)
{
    MessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    if (icon == QMessageBox::Question)
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    else
        box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setIcon(icon);
    return box.exec();
}

int ShowInformationBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Information, text);
}

int ShowWarningBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Warning, text);
}

int ShowCriticalBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Critical, text);
}

int ShowQuestionBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Question, text);
}

} // namespace qt
} // namespace tessal
