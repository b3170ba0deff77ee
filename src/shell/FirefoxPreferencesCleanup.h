#pragma once
// The Firefox step of the cleanup: every profile forgets its handler for the
// launch scheme.

#include <string>
#include <vector>

namespace tessal {
namespace qt {

// Edits "handlers.json" and "mimeTypes.rdf" in every folder under the
// user's "/.mozilla/firefox/" but "Crash Reports"; a missing file (and so a
// folder that is no profile) is skipped, and so is a missing Firefox folder.
// Throws std::runtime_error with every file that failed, and when the
// Firefox folder is there but cannot be listed.
void cleanupFirefoxProfile(const std::vector<std::string>& schemes, const std::string& user);

// The same for the owner's files, with this process's credentials.
struct ProfileOwner;
void cleanFirefoxFiles(const ProfileOwner& owner, const std::vector<std::string>& schemes);

} // namespace qt
} // namespace tessal
