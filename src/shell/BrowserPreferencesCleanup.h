#pragma once
// "--cleanup": removes what the user's browsers remember about the launch
// scheme.

#include <QString>

namespace tessal {
namespace qt {

class CustomQApplication;

// True when every browser step succeeded; false when the user declined, the
// process list was unreadable or a step failed.
bool cleanupBrowserPreferences(CustomQApplication& app, const QString& user);

} // namespace qt
} // namespace tessal
