#include "shell/MessageBox.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>

#include "session/QuitRequest.h"

namespace tessal {
namespace qt {

int execQuestion(QDialog& dialog, int refusal)
{
    if (quitRequested())
        return refusal;
    // exec() gives the dialog's result, which is 0 both for a first answer
    // and for a loop ended from outside: only done() (a button, Escape, the
    // window's close) tells that the user answered.
    bool answered = false;
    QPointer<QDialog> alive(&dialog);
    const QMetaObject::Connection finished =
        QObject::connect(&dialog, &QDialog::finished, &dialog, [&answered]() { answered = true; });
    const QMetaObject::Connection quit =
        QObject::connect(&QuitRequest::instance(), &QuitRequest::requested, &dialog, [&dialog, &answered]() {
            // Hiding leaves the dialog's loop without an answer.
            if (!answered)
                dialog.hide();
        });
    const int result = dialog.exec();
    if (!alive)
        return refusal;
    QObject::disconnect(finished);
    QObject::disconnect(quit);
    if (!answered) {
        dialog.hide();
        return refusal;
    }
    return result;
}

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
    return execQuestion(box, icon == QMessageBox::Question ? QMessageBox::Cancel : QMessageBox::NoButton);
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
