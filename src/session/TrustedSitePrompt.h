#pragma once

#include <string>

#include <QString>

namespace tessal {
namespace qt {

// The gate before a session talks to its access server: true at once when the
// site is trusted permanently or for this session key, otherwise the user is
// asked and the answer is recorded. False when the user refuses.
bool CheckOrAskTrustedSite(const QString& site, bool vpnMode, const std::string& sessionKey);

// Check only, no dialog.
bool IsSiteTrusted(const QString& site, bool vpnMode, const std::string& sessionKey);
bool IsSitePermanentlyTrusted(const QString& site, bool unused = false);

} // namespace qt
} // namespace tessal
