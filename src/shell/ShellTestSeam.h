#pragma once
// What tests may change in the shell's process-wide state, in one place.
// Nothing in the program calls these; each setter returns what it replaces
// (an empty launcher restores the shell).

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QUrl>

namespace tessal {
namespace system {
struct UserEntry;
}

namespace qt {

class BrowserController;
class HttpNetworkManager;
class MainWindow;
class ResourceManager;
class VpnWebBridge;
class WebView;

struct ShellTestSeam final {
    // How the cleanup finds a user (the real user when empty) in the
    // password database; false when there is none.
    using UserLookup = bool (*)(const std::string& user, system::UserEntry& entry);
    static UserLookup setUserLookup(UserLookup lookup);

    // How a replaced preference file is handed to its owner (fchown).
    using ChangeOwner = int (*)(int fd, uid_t uid, gid_t gid);
    static ChangeOwner setChangeOwner(ChangeOwner change);

    // How launchApplications starts one command line; returns the child's pid.
    using AppLauncher = std::function<pid_t(const std::string& command)>;
    static AppLauncher replaceAppLauncher(AppLauncher launcher);

    // The oldest toolkit accepted at run time, for test programs built from
    // main.cpp to set before start-up.
    static void setMinimumToolkitVersion(const QString& version);

    // What a window controller holds (ShellTestSeam.cpp).
    static bool isErrorPageShown(const BrowserController& controller);
    static const QUrl& serverUrl(const BrowserController& controller);
    static const QString& sessionId(const BrowserController& controller);
    static const std::vector<QString>& ipv4Addresses(const BrowserController& controller);
    static const QString& quitMessage(const BrowserController& controller);
    static const std::vector<QString>& failedResources(const BrowserController& controller);
    static const QUrl& currentUrl(const BrowserController& controller);
    static bool isStatusTimerActive(const BrowserController& controller);
    static ResourceManager& resourceManager(BrowserController& controller);
    static HttpNetworkManager& networkManager(BrowserController& controller);
    static VpnWebBridge& webBridge(BrowserController& controller);
    static MainWindow* mainWindow(const BrowserController& controller);
    static WebView* webView(const BrowserController& controller);
};

} // namespace qt
} // namespace tessal
