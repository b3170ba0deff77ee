#pragma once
// Process preparation before the toolkit exists: the crypto libraries and
// the log.

#include <string>
#include <utility>
#include <vector>

namespace tessal {
namespace qt {

// Loads libcrypto and libssl (version 3) so that the toolkit finds them; a
// failure is reported on standard error only.
void preloadOpenSslLibraries();

// The toolkit's and its libraries' per-user folders for a process whose
// own home is ownHome: XDG cache, config, data and state folders (which the
// shader and web-engine caches follow).
std::vector<std::pair<std::string, std::string>> ownToolkitFolders(const std::string& ownHome);

// Before the application object: in a run with root's credentials whose
// HOME another user controls, points those folders at root's own from the
// password database and keeps fontconfig out of the home (its per-user
// configuration and cache), so that nothing the user put there is parsed
// or followed as root. The program's own files still go to HOME.
void keepToolkitFoldersOwn();

// Opens the process log at home folder + logPath (append mode) and applies
// the level configured for module.
void setupLogs(const std::string& logPath, const std::string& module);

// Records which OpenSSL the toolkit uses and which one this program was
// built with. The toolkit's TLS backend is asked, so this waits until the
// application object exists.
void logTlsLibraries();

} // namespace qt
} // namespace tessal
