// The application-launch, log-view, tunnel-details and power-note slots of the browser controller live here.
#include "shell/BrowserController.h"

namespace tessal {
namespace qt {

void BrowserController::launchApplicationsMayBeAsk(QString, bool)
{
}

void BrowserController::showLogFileReq()
{
}

void BrowserController::tunnelInfoReq()
{
}

void BrowserController::onToggleLogSettings(int)
{
}

void BrowserController::OnNotification(tessal::PowerManagment::Enum)
{
}

} // namespace qt
} // namespace tessal
