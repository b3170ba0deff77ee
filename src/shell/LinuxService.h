#pragma once
// Process preparation before the toolkit exists: the crypto libraries and
// the log.

#include <string>

namespace tessal {
namespace qt {

// Loads libcrypto and libssl (version 3) so that the toolkit finds them; a
// failure is reported on standard error only.
void preloadOpenSslLibraries();

// Opens the process log at home folder + logPath (append mode) and applies
// the level configured for module.
void setupLogs(const std::string& logPath, const std::string& module);

// Records which OpenSSL the toolkit uses and which one this program was
// built with. The toolkit's TLS backend is asked, so this waits until the
// application object exists.
void logTlsLibraries();

} // namespace qt
} // namespace tessal
