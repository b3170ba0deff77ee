#include "session/UpdateNotices.h"

#include "foundation/IUErrorLog.h"

#include <QCoreApplication>

namespace tessal::qt {

namespace {
constexpr const char* kLogFile = "/UpdateNotices";

int runBox(QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    if (icon == QMessageBox::Question)
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    else
        box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(icon == QMessageBox::Question ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setIcon(icon);
    return box.exec();
}
}  // namespace

int askUpdateQuestion(const QString& text) { return runBox(QMessageBox::Question, text); }

void showUpdateInformation(const QString& text) { runBox(QMessageBox::Information, text); }

void showUpdateTrayWarning(const QString& text, int displayMs)
{
    // The session's tray icon belongs to the session manager; until it hands
    // the icon over, the warning reaches the log only.
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Tray warning (text, ms)", text, displayMs));
}

}  // namespace tessal::qt
