#pragma once
// The Chrome step of the cleanup: the launch scheme leaves the list of
// schemes Chrome opens without asking.

#include <string>
#include <vector>

namespace tessal {
namespace qt {

// Edits "Local State" and "Default/Preferences" under the user's
// "/.config/google-chrome/"; a missing file is skipped. Throws
// std::runtime_error listing every file that failed.
void cleanupChromeProfile(const std::vector<std::string>& schemes, const std::string& user);

// The same for the owner's files, with this process's credentials.
struct ProfileOwner;
void cleanChromeFiles(const ProfileOwner& owner, const std::vector<std::string>& schemes);

} // namespace qt
} // namespace tessal
