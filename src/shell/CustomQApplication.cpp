#include "shell/CustomQApplication.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QEvent>
#include <QFileOpenEvent>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QLocale>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include "dialogs/MessageBox.h"
#include "dialogs/QuitRequest.h"
#include "foundation/CompanionProcesses.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/UVersion.h"
#include "session/LaunchHandOver.h"
#include "session/Session.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/LinuxService.h"
#include "shell/ShellTestSeam.h"
#include "tessal_config.h"

// The program's built-in images live in the dialogs library.
static void registerProgramImages()
{
    Q_INIT_RESOURCE(certificates);
}

namespace tessal {
namespace qt {

namespace {

// The program's icon, read from its resource when a window first asks for
// it: reading it (the MIME database, the image plugins) is no work for the
// start. What the windowing system asks (the size, the plain image) is read
// from the resource on each ask and not kept: a kept icon holds the whole
// 256x256 image for the process, and the toolkit's pixmap cache another
// reference to it. Anything else goes to an icon read once, as before.
class ResourceIconEngine final : public QIconEngine
{
public:
    // The format is named: a resource's name has no suffix, and reading one
    // without it loads every image plugin to probe the content.
    ResourceIconEngine(const QString& path, const QByteArray& format) : path(path), format(format) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (!imageSize().isValid())
            return icon().actualSize(size, mode, state);
        // One image, whatever the mode or state: its size, fitted into the one asked.
        QSize actual = imageSize();
        if (actual.width() > size.width() || actual.height() > size.height())
            actual.scale(size, Qt::KeepAspectRatio);
        return actual;
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (mode == QIcon::Normal && state == QIcon::Off && imageSize().isValid()) {
            QImageReader reader(path, format);
            const QImage image = reader.read();
            if (!image.isNull()) {
                QPixmap plain = QPixmap::fromImage(image);
                const QSize actual = actualSize(size, mode, state);
                if (plain.size() != actual)
                    plain = plain.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                return plain;
            }
        }
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        if (!imageSize().isValid())
            return icon().availableSizes(mode, state);
        // The image is the icon's normal one.
        if (mode == QIcon::Normal && state == QIcon::Off)
            return {imageSize()};
        return {};
    }
    bool isNull() override { return !imageSize().isValid() && icon().isNull(); }
    QIconEngine* clone() const override { return new ResourceIconEngine(path, format); }

private:
    const QIcon& icon()
    {
        if (!loaded) {
            image = QIcon(path);
            loaded = true;
        }
        return image;
    }
    // From the image's header alone; invalid when the resource is no image.
    QSize imageSize()
    {
        if (!sizeRead) {
            QImageReader reader(path, format);
            if (reader.imageCount() <= 1)
                headerSize = reader.size();
            sizeRead = true;
        }
        return headerSize;
    }

    const QString path;
    const QByteArray format;
    QIcon image;
    bool loaded = false;
    QSize headerSize;
    bool sizeRead = false;
};

constexpr const char* kLogFile = "CustomQApplication";
constexpr int kNoSessionQuitDelayMs = 10000;

// Guards the file-open handler against re-entry from nested event loops.
bool fileOpenInProgress = false;

QString& minimumVersionSetting()
{
    static QString version = QStringLiteral(TESSAL_MIN_QT_VERSION);
    return version;
}

// A command line refused at once says why where it was typed, besides the log.
void refusedOnCommandLine(const QString& reason)
{
    std::fprintf(stderr, "tessalvpn: %s\n", reason.toLocal8Bit().constData());
}

bool userExists(const QString& user)
{
    try {
        tessal::system::userId(user.toStdString());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QString systemLocaleName()
{
    return QLocale::system().name();
}

// Every signal that arrives from outside and whose default would end the
// process: each one closes the way SIGTERM does. SIGPIPE is not among them:
// it reports a failed write, which the writer handles (svpn's start ignores it).
std::vector<int> terminationSignals()
{
    std::vector<int> caught{SIGTERM, SIGINT,  SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,  SIGVTALRM,
                            SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR,  SIGSTKFLT};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        caught.push_back(signal);
    return caught;
}

// Faults of this process itself: it cannot go on, but the companions are
// stopped before it dies. The sanitizers report these themselves.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP};
#endif
constexpr int kSignalQuitCheckMs = 50;
// Checks to wait for the session manager's own quit once nothing is open.
constexpr int kSignalQuitGraceChecks = 40;
// How long the close after a termination signal may take before the process
// ends without it. The svpn start alone may hold the GUI thread for 10 s.
constexpr unsigned kCloseBoundSeconds = 5;

// The write end is used by the handler only; both ends are close-on-exec.
int signalPipe[2] = {-1, -1};
std::atomic<int> firstSignal{0};
std::atomic<int> lastSignal{0};
std::atomic<bool> endingNow{false};
static_assert(std::atomic<int>::is_always_lock_free, "used inside a signal handler");
static_assert(std::atomic<bool>::is_always_lock_free, "used inside a signal handler");

// Async-signal-safe: stops the companions, then dies by the signal, as if
// nobody had caught it.
[[noreturn]] void endNow(int signal)
{
    if (!endingNow.exchange(true))
        stopCompanionProcesses();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t deliver;
    sigemptyset(&deliver);
    sigaddset(&deliver, signal);
    ::sigprocmask(SIG_UNBLOCK, &deliver, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    if (firstSignal.compare_exchange_strong(none, signal)) {
        lastSignal.store(signal);
        const unsigned char number = static_cast<unsigned char>(signal);
        if (::write(signalPipe[1], &number, 1) < 0) {
            // Nothing can be done here; the bound below still ends the process.
        }
        ::alarm(kCloseBoundSeconds);
        errno = savedErrno;
        return;
    }
    // A logout sends SIGTERM and SIGHUP at once, a busy GUI thread may not
    // have read the first yet: only Ctrl-C pressed again means "now".
    if (lastSignal.exchange(signal) == SIGINT && signal == SIGINT)
        endNow(signal);
    errno = savedErrno;
}

extern "C" void onCloseBoundExpired(int)
{
    // An alarm from outside, before any other signal, closes as SIGTERM does.
    const int signal = firstSignal.load();
    if (signal == 0) {
        onTerminationSignal(SIGALRM);
        return;
    }
    endNow(signal);
}

extern "C" void onFaultSignal(int signal)
{
    endNow(signal);
}

std::string signalName(int signal)
{
    if (signal >= SIGRTMIN && signal <= SIGRTMAX)
        return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation != nullptr ? std::string("SIG") + abbreviation : std::string("?");
}

} // namespace

QString minimumToolkitVersion()
{
    return minimumVersionSetting();
}

void ShellTestSeam::setMinimumToolkitVersion(const QString& version)
{
    minimumVersionSetting() = version;
}

ToolkitVersionCheck checkToolkitVersion(const QString& runtime, const QString& minimum)
{
    const CString runtimeText = toCStringUtf8(runtime);
    const CString minimumText = toCStringUtf8(minimum);
    if (!UVersion::isValid(runtimeText, 3) || !UVersion::isValid(minimumText, 3))
        return ToolkitVersionCheck::Unparsable;
    return UVersion(runtimeText, 3) < UVersion(minimumText, 3) ? ToolkitVersionCheck::TooOld
                                                               : ToolkitVersionCheck::Accepted;
}

QString catalogueLanguage(const QString& localeName)
{
    const QStringList parts = localeName.split(QLatin1Char('_'));
    const QString language = parts.value(0).toLower();
    if (language == QLatin1String("zh")) {
        // Traditional script, or a territory that writes it.
        for (int i = 1; i < parts.size(); ++i) {
            const QString part = parts[i].toUpper();
            if (part == QLatin1String("TW") || part == QLatin1String("HK") || part == QLatin1String("MO") ||
                part == QLatin1String("HANT"))
                return QStringLiteral("tw");
        }
        return QStringLiteral("zh");
    }
    return language;
}

CustomQApplication::CustomQApplication(int& argc, char** argv)
    : QApplication(argc, argv), schemeName(QStringLiteral("tessal-vpn")), quitWhenNoSession(true)
{
    // Every window of the program carries its icon, the desktop entry's too.
    registerProgramImages();
    setWindowIcon(QIcon(new ResourceIconEngine(QStringLiteral(":/AppIcon"), QByteArrayLiteral("png"))));
    // The first records after the log's own: nothing else logs before them.
    logTlsLibraries();
    // Catalogues first: the start routine's refusal box is a translated text.
    loadLocalization();
    customQApplicationStart();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Queued: the open questions and exchanges end first, as after a signal.
    connect(&QuitRequest::instance(), &QuitRequest::requested, this, &CustomQApplication::closeOnQuitRequest,
            Qt::QueuedConnection);
    connect(&signalQuitTimer, &QTimer::timeout, this, &CustomQApplication::quitWhenClosedAfterSignal);
}

CustomQApplication::~CustomQApplication() = default;

void CustomQApplication::customQApplicationStart()
{
    QTimer::singleShot(kNoSessionQuitDelayMs, Qt::CoarseTimer, this, SLOT(quitIfNoSession()));

    const QString runtime = QString::fromLatin1(qVersion());
    const QString minimum = minimumToolkitVersion();
    switch (checkToolkitVersion(runtime, minimum)) {
    case ToolkitVersionCheck::Accepted: break;
    case ToolkitVersionCheck::Unparsable:
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("version parsing failed, still continue..."));
        break;
    case ToolkitVersionCheck::TooOld:
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("QT version is lower (current, expected). Quit Application", runtime, minimum));
        ShowCriticalBox(
            QObject::tr("QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application")
                .arg(runtime, minimum));
        std::exit(1);
    }
}

void CustomQApplication::closeOnTerminationSignals()
{
    if (signalPipe[0] >= 0)
        return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot watch for termination signals: %1", std::strerror(errno)));
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this]() {
        unsigned char number = 0;
        int first = 0;
        while (::read(signalPipe[0], &number, 1) == 1)
            if (first == 0)
                first = number;
        if (first != 0)
            closeAfterSignal(first);
    });

    const std::vector<int> ending = terminationSignals();
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : ending)
        sigaddset(&action.sa_mask, signal);
    sigaddset(&action.sa_mask, SIGALRM);
    action.sa_flags = SA_RESTART;
    struct sigaction bound = action;
    bound.sa_handler = onCloseBoundExpired;
    std::vector<int> caught{SIGALRM};
    for (int signal : ending) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
        caught.push_back(signal);
    }
    ::sigaction(SIGALRM, &bound, nullptr);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    struct sigaction fault {};
    fault.sa_handler = onFaultSignal;
    sigemptyset(&fault.sa_mask);
    fault.sa_flags = SA_NODEFER;
    for (int signal : kFaultSignals) {
        ::sigaction(signal, &fault, nullptr);
        caught.push_back(signal);
    }
#endif
    // A mask inherited from the starter survives exec and would hold the
    // caught signals pending for ever.
    sigset_t unblock;
    sigemptyset(&unblock);
    for (int signal : caught)
        sigaddset(&unblock, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

void unblockTerminationSignals()
{
    sigset_t unblock;
    sigemptyset(&unblock);
    for (int signal : terminationSignals())
        sigaddset(&unblock, signal);
    sigaddset(&unblock, SIGALRM);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

int CustomQApplication::runEventLoop()
{
    // The toolkit forgets an exit asked for before its main loop runs: the
    // close after the signal checks again from inside it.
    if (closingToQuit) {
        signalQuitWaits = kSignalQuitGraceChecks;
        signalQuitTimer.start(kSignalQuitCheckMs);
    }
    return exec();
}

void CustomQApplication::closeAfterSignal(int signal)
{
    if (closingToQuit)
        return;
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("%1 received, closing all resources before quitting", signalName(signal).c_str()));
    closeAllAndQuit();
}

void CustomQApplication::closeOnQuitRequest()
{
    if (closingToQuit)
        return;
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Quit requested, closing all resources before quitting"));
    closeAllAndQuit();
}

void CustomQApplication::closeAllAndQuit()
{
    closingToQuit = true;
    // Open questions end as refusals, the launch in progress stops at its
    // next step, and nothing new starts; a launch handed over from now on is
    // not answered "taken", so its sender runs it.
    QuitRequest::instance().request();
    stopTakingLaunches();
    // With no session the manager's own check ends the loop, with its record.
    if (sessionManager.SessionCount() == 0)
        sessionManager.CheckSessions();
    signalQuitTimer.start(kSignalQuitCheckMs);
    quitWhenClosedAfterSignal();
}

void CustomQApplication::quitWhenClosedAfterSignal()
{
    // Every window closes its resources as on the user's confirmed close
    // (the svpn stop, the tunnel-server disconnect) and ends its session;
    // a window that started after the signal is closed the same way.
    std::vector<std::shared_ptr<Session>> held = sessionManager.InspectionSessions();
    held.push_back(sessionManager.NetworkAccessSession());
    bool windowOpen = false;
    for (const std::shared_ptr<Session>& session : held) {
        if (!session || !session->GetBrowserController().isStarted())
            continue;
        windowOpen = true;
        BrowserController& controller = session->GetBrowserController();
        if (controller.isClosing())
            continue;
        int result = 0;
        guardOperation(UCATCH_SITE(kLogFile, "Failed to close resources", __PRETTY_FUNCTION__), result,
                       [&]() { controller.closeAllAndExit(); });
    }
    if (windowOpen) {
        signalQuitWaits = 0;
        return;
    }
    // Sessions still before their window hold no tunnel: nothing to wait for.
    // Without any session the manager quits itself; it is given a moment,
    // for a launch it lets finish first.
    if (sessionManager.SessionCount() == 0 && ++signalQuitWaits < kSignalQuitGraceChecks)
        return;
    signalQuitTimer.stop();
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Nothing left open, quitting application"));
    stopTakingLaunches();
    QCoreApplication::exit(0);
}

void CustomQApplication::quitIfNoSession()
{
    if (sessionManager.SessionCount() == 0 && quitWhenNoSession) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Qutting application because no valid session exist"));
        stopTakingLaunches();
        QCoreApplication::exit(0);
    }
}

bool CustomQApplication::CreateSession(const QString& url)
{
    quitWhenNoSession = false;
    return sessionManager.CreateAndLaunchSession(QUrl(url, QUrl::TolerantMode));
}

bool CustomQApplication::event(QEvent* e)
{
    if (e->type() != QEvent::FileOpen)
        return QApplication::event(e);

    const QUrl url = static_cast<QFileOpenEvent*>(e)->url();
    if (url.isEmpty())
        return true;
    if (fileOpenInProgress) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("User have ran application second time really quick. Ignoring this event to "
                                   "allow original run request to complete"));
        return true;
    }
    fileOpenInProgress = true;
    quitWhenNoSession = false;
    sessionManager.CreateAndLaunchSession(url);
    fileOpenInProgress = false;
    return true;
}

void CustomQApplication::loadLocalization()
{
    const QString localeName = systemLocaleName();
    if (localeName.startsWith(QLatin1String("en_"), Qt::CaseInsensitive))
        return;

    // The program's own catalogue, then the toolkit's (its standard buttons).
    for (const QLatin1String prefix : {QLatin1String(""), QLatin1String("qt_"), QLatin1String("qtbase_")})
        loadTranslationFile(prefix);

    const QString probe = QObject::tr("Help");
    if (probe == QLatin1String("Help"))
        ULOG_WARNING(
            kLogFile, __PRETTY_FUNCTION__,
            makeArgFormat("Translation self-test failed: QObject::tr(Help)='%1', locale=%2", probe, localeName));
}

void CustomQApplication::loadTranslationFile(const QString& prefix)
{
    const QString localeName = systemLocaleName();
    auto* translator = new QTranslator(this);
    // The catalogue's language, not the locale name: the toolkit's shortening
    // of zh_TW would end at the Simplified catalogue.
    const bool loaded = translator->load(prefix + catalogueLanguage(localeName), QStringLiteral(":/"));
    const bool installed = QCoreApplication::installTranslator(translator);
    if (!loaded || !installed)
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Translator error: locale:'%1', file '%2', from: ':/'... %3/%4", localeName, prefix,
                                   loaded ? "loaded" : "failed to load",
                                   installed ? "installed" : "failed to install"));
}

std::pair<bool, int> dispatchCommandLine(CustomQApplication& app)
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return {false, 0};

    if (isCleanupCommandLine(arguments)) {
        app.quitWhenNoSession = false;
        const QString user = arguments.size() > 2 ? arguments[2] : QString();
        if (cleanupBrowserPreferences(app, user))
            return {true, 0};
        if (!user.isEmpty() && !userExists(user))
            refusedOnCommandLine(QCoreApplication::translate("QObject", "No such user: %1").arg(user));
        return {true, 1};
    }

    app.quitWhenNoSession = false;
    if (app.sessionManager.CreateAndLaunchSession(QUrl(arguments[1], QUrl::TolerantMode)))
        return {false, 0};
    // A launch stopped by a termination signal was not refused: the process
    // ends in order, as it does after a signal at any later point.
    if (quitRequested())
        return {false, 0};
    if (arguments[1].startsWith(QLatin1Char('-')))
        refusedOnCommandLine(QCoreApplication::translate("QObject", "Unknown option: %1").arg(arguments[1]));
    return {true, 1};
}

} // namespace qt
} // namespace tessal
