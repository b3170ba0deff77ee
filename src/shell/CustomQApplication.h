#pragma once
// The process's application object: it owns the session manager, ends a
// process that was started without work, and takes file-open events.

#include <utility>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "session/SessionManager.h"

class QEvent;

namespace tessal {
namespace qt {

class CustomQApplication : public QApplication
{
    Q_OBJECT
public:
    CustomQApplication(int& argc, char** argv);
    ~CustomQApplication() override;

    SessionManager sessionManager;
    QString schemeName;
    bool quitWhenNoSession;

    void loadLocalization();
    void loadTranslationFile(const QString& prefix);

    // SIGTERM, SIGINT and SIGHUP (a logout, kill, a closed terminal), and
    // every other signal from outside whose default would end the process
    // (SIGQUIT, SIGUSR1, ...), close every resource the normal way and then
    // quit; the quit holds from then on (QuitRequest). A fault of the process
    // itself (SIGSEGV, SIGABRT, ...) stops svpn and tunnelserver before the
    // process dies by it. Further signals do not cut that close short: the
    // process ends at once only when it has not ended within a few seconds
    // of the first signal, or on a second SIGINT (Ctrl-C again), and then
    // by that signal, once svpn and tunnelserver have been told to stop.
    // The handler only writes to a pipe, which the GUI thread watches.
    void closeOnTerminationSignals();

    // The main event loop. A quit asked for before it could start (a signal
    // or the tray's "Quit" during the first launch's questions or exchanges)
    // ends it as soon as nothing is left open.
    int runEventLoop();

public slots:
    bool CreateSession(const QString& url);
    void quitIfNoSession();
    void customQApplicationStart();

protected:
    bool event(QEvent* e) override;

private:
    void closeAfterSignal(int signal);
    // A quit asked for in the program itself (the tray's "Quit") closes the
    // way a termination signal does.
    void closeOnQuitRequest();
    void closeAllAndQuit();
    void quitWhenClosedAfterSignal();

    bool closingToQuit = false;
    // Checks of the close after a signal in which only the quit was missing.
    int signalQuitWaits = 0;
    QTimer signalQuitTimer;
};

// Unblocks the signals closeOnTerminationSignals catches in the calling
// thread: a mask inherited from the starter survives exec. Called first
// thing, before any thread starts with that mask.
void unblockTerminationSignals();

// The outcome of comparing the toolkit's run-time version with the oldest
// accepted one.
enum class ToolkitVersionCheck { Accepted, TooOld, Unparsable };
ToolkitVersionCheck checkToolkitVersion(const QString& runtime, const QString& minimum);

// The oldest toolkit accepted at run time (the build's setting).
QString minimumToolkitVersion();

// The catalogue language for a locale name ("de_DE" -> "de"): Traditional
// Chinese locales (zh_TW, zh_HK, zh_MO) give "tw", other Chinese ones "zh".
QString catalogueLanguage(const QString& localeName);

// The command line: handled (true, exit code) or left to the event loop.
std::pair<bool, int> dispatchCommandLine(CustomQApplication& app);

} // namespace qt
} // namespace tessal
