#include "shell/BrowserPreferencesCleanup.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/BrowserPreferencesCleanup";
}

// The browser steps are not part of this build yet: the mode reports failure
// rather than claim a cleanup that did not happen.
bool cleanupBrowserPreferences(CustomQApplication&, const QString& user)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Browser preferences cleanup is not available in this build, user:", user));
    return false;
}

} // namespace qt
} // namespace tessal
