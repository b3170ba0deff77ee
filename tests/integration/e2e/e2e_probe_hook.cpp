// Linked into a test build of tessalvpn's own main.cpp for the end-to-end
// tests. It answers every modal dialog with the answers listed in
// TESSAL_E2E_ANSWERS (comma-separated, in order, the last one repeating),
// prints each answered dialog on standard error at once, and takes commands
// on standard input: "close" closes the browser window the way a user does,
// "tray-quit" chooses "Quit" in the tray icon's menu, "answer" starts
// answering when TESSAL_E2E_HOLD_DIALOGS holds dialogs open.
// TESSAL_E2E_SYSTEM_CA names a CA certificate that plays one the system's
// store holds: the HTTP client trusts it, the web engine does not know it.

#include <unistd.h>

#include <cstdio>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "ModalDialogAnswerer.h"

namespace {

void printNewDialogs(const tessal::test::ModalDialogAnswerer& answerer, int& printed)
{
    for (; printed < answerer.count(); ++printed) {
        const auto& dialog = answerer.dialogs().at(printed);
        std::fprintf(stderr, "DIALOG title=[%s] text=[%s] pressed=[%s]\n", dialog.title.toUtf8().constData(),
                     dialog.text.toUtf8().constData(), dialog.pressed.toUtf8().constData());
    }
    std::fflush(stderr);
}

void closeBrowserWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible())
            widget->close();
}

void quitFromTray()
{
    auto* icon = QCoreApplication::instance()->findChild<QSystemTrayIcon*>();
    if (icon != nullptr && icon->contextMenu() != nullptr && !icon->contextMenu()->actions().isEmpty())
        icon->contextMenu()->actions().first()->trigger();
}

// The answerer, and what prints the dialogs it answered.
void startAnswering()
{
    QStringList answers = qEnvironmentVariable("TESSAL_E2E_ANSWERS", QStringLiteral("OK")).split(QLatin1Char(','));
    auto* answerer = new tessal::test::ModalDialogAnswerer(answers, QCoreApplication::instance());
    auto* printer = new QTimer(answerer);
    auto* printed = new int(0);
    QObject::connect(printer, &QTimer::timeout, [answerer, printed] { printNewDialogs(*answerer, *printed); });
    QObject::connect(answerer, &QObject::destroyed, [printed] { delete printed; });
    printer->start(20);
    // A dialog answered just before the end is printed too.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit,
                     [answerer, printed] { printNewDialogs(*answerer, *printed); });
}

// Runs while the application object is being built, before its start routine.
void installProbe()
{
    const QString systemCa = qEnvironmentVariable("TESSAL_E2E_SYSTEM_CA");
    if (!systemCa.isEmpty()) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificates(systemCa);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    // With TESSAL_E2E_HOLD_DIALOGS set, dialogs stay open until "answer".
    const bool hold = !qEnvironmentVariableIsEmpty("TESSAL_E2E_HOLD_DIALOGS");
    if (!hold)
        startAnswering();

    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(input, &QSocketNotifier::activated, [input] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n <= 0) {
            input->setEnabled(false);
            return;
        }
        buffer[n] = '\0';
        if (QByteArray(buffer).contains("tray-quit"))
            QTimer::singleShot(0, quitFromTray);
        if (QByteArray(buffer).contains("close"))
            QTimer::singleShot(0, closeBrowserWindow);
        if (QByteArray(buffer).contains("answer"))
            QTimer::singleShot(0, startAnswering);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
