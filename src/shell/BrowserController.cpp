#include "shell/BrowserController.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "session/InputParamsBase.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/BrowserController";
constexpr int kResourcePageNotReady = 113;
constexpr int kControllerClosing = 118;
} // namespace

BrowserController::BrowserController() = default;

BrowserController::~BrowserController() = default;

void BrowserController::start(const SessionInfo& sessionInfo)
{
    info = sessionInfo;
    started = true;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Browser controller started for session",
                               shortSecret(CString(info.sessionId.toUtf8().constData())), info.url));
}

int BrowserController::openMainResource(const QString& id, const QString& typeText, const QString&)
{
    if (closing)
        return kControllerClosing;
    // Without the resource page nothing can be opened yet.
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Resource page not handled yet, cannot open resource", id, typeText));
    return kResourcePageNotReady;
}

} // namespace qt
} // namespace tessal
