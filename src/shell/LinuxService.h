#pragma once
// Process preparation before the toolkit exists: the crypto libraries and
// the log.

#include <string>

namespace tessal {
namespace qt {

// Loads libcrypto and libssl (version 3) so that the toolkit finds them; a
// failure is reported on standard error only.
void preloadOpenSslLibraries();

// Opens the process log at home folder + logPath (append mode), applies the
// level configured for module and records which OpenSSL is in use.
void setupLogs(const std::string& logPath, const std::string& module);

} // namespace qt
} // namespace tessal
