// What tests read of a window controller; nothing in the program calls these.
#include "shell/ShellTestSeam.h"

#include <QTimer>

#include "shell/BrowserController.h"
#include "shell/MainWindow.h"
#include "shell/WebView.h"

namespace tessal {
namespace qt {

bool ShellTestSeam::isErrorPageShown(const BrowserController& controller)
{
    return controller.errorPageShown;
}
const QUrl& ShellTestSeam::serverUrl(const BrowserController& controller)
{
    return controller.serverUrl;
}
const QString& ShellTestSeam::sessionId(const BrowserController& controller)
{
    return controller.sessionId;
}
const std::vector<QString>& ShellTestSeam::ipv4Addresses(const BrowserController& controller)
{
    return controller.ipv4Addresses;
}
const QString& ShellTestSeam::quitMessage(const BrowserController& controller)
{
    return controller.quitMessage;
}
const std::vector<QString>& ShellTestSeam::failedResources(const BrowserController& controller)
{
    return controller.failedResources;
}
const QUrl& ShellTestSeam::currentUrl(const BrowserController& controller)
{
    return controller.currentUrl;
}
bool ShellTestSeam::isStatusTimerActive(const BrowserController& controller)
{
    return controller.statusTimer && controller.statusTimer->isActive();
}
ResourceManager& ShellTestSeam::resourceManager(BrowserController& controller)
{
    return controller.resourceManager;
}
HttpNetworkManager& ShellTestSeam::networkManager(BrowserController& controller)
{
    return controller.networkManager;
}
VpnWebBridge& ShellTestSeam::webBridge(BrowserController& controller)
{
    return controller.webBridge;
}
MainWindow* ShellTestSeam::mainWindow(const BrowserController& controller)
{
    return controller.mainWindow.data();
}
WebView* ShellTestSeam::webView(const BrowserController& controller)
{
    return controller.webView.data();
}

} // namespace qt
} // namespace tessal
