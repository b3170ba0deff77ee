// tessalvpn: the process entry. Prepares the process, claims the single
// instance (or hands the URL to the one that runs), dispatches the command
// line and runs the event loop.

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include <QCoreApplication>

#include "foundation/LogSettings.h"
#include "foundation/m_system.h"
#include "session/TrustedSiteList.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/CustomQApplication.h"
#include "shell/DBusInterface.h"
#include "shell/DisplayPlatform.h"
#include "shell/LinuxService.h"
#include "shell/PrivateArguments.h"
#include "shell/SingleInstance.h"

// Run by the loader once it has mapped the libraries and before any of their
// initialisers (Qt's, the web engine's): the launch URL's secrets leave argv
// before those run, not after.
using EarlyStart = void (*)(int, char**, char**);
static const EarlyStart g_takeArguments __attribute__((section(".preinit_array"), used)) =
    &tessal::qt::PrivateArguments::takeEarly;

int main(int argc, char** argv)
{
    using namespace tessal::qt;

    // Everything reads this copy, taken before the libraries started.
    PrivateArguments arguments(argc, argv);
    unblockTerminationSignals();
    // What the children get: nothing the toolkit or the web engine adds later.
    rememberStartEnvironment();
    preloadOpenSslLibraries();
    ::umask(077);
    setupLogs("/.TessalNetworks/vpn.log", "vpn");
    keepToolkitFoldersOwn();

    const CString home = getHomeFolder();
    if (home.IsEmpty()) {
        // Log, settings and trusted sites all live in the home folder.
        std::fputs("No home folder: set HOME\n", stderr);
        return 1;
    }

    // Named before the application object, so that a box shown while it is
    // built carries the name too.
    QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
    // The web engine shares its GL contexts with the widgets; asked before the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    DisplayPlatform display(arguments.argc(), arguments.argv());
    auto app = std::make_unique<CustomQApplication>(display.argc(), display.argv());
    display.opened();
    QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
    app->closeOnTerminationSignals();

    // The cleanup serves no launch and needs no session bus, nor the
    // trusted-site list: it neither reads nor rewrites it.
    if (isCleanupCommandLine(QCoreApplication::arguments()))
        return dispatchCommandLine(*app).second;

    // Before the bus name is ours: a launch may arrive through it at once.
    // The list itself is read by the first session that asks.
    const CString folder = home + "/.TessalNetworks";
    tessal::sl::TrustedSiteList::SetLocation(folder, "trusted_sites.xml");

    int handOverExitCode = 0;
    if (!setupDBusService(*app, handOverExitCode))
        return handOverExitCode;

    const auto [handled, exitCode] = dispatchCommandLine(*app);
    // A launch handed over while the command line's own one was refused
    // keeps the process serving.
    if (handled && app->sessionManager.SessionCount() == 0) {
        stopTakingLaunches();
        return exitCode;
    }
    return app->runEventLoop();
}
