#include "session/LaunchHandOver.h"

#include <utility>
#include <vector>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "LaunchHandOver";

// GUI thread only.
bool g_taking = true;

std::vector<std::function<void()>>& stopActions()
{
    static std::vector<std::function<void()>> actions;
    return actions;
}

} // namespace

bool takingLaunches()
{
    return g_taking;
}

void stopTakingLaunches()
{
    if (!g_taking)
        return;
    g_taking = false;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Quitting: launches are no longer taken"));
    std::vector<std::function<void()>> actions;
    actions.swap(stopActions());
    for (const auto& action : actions)
        action();
}

void whenLaunchesStop(std::function<void()> action)
{
    if (g_taking)
        stopActions().push_back(std::move(action));
    else
        action();
}

} // namespace qt
} // namespace tessal
