#include "tunnel/TunnelLog.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal::tunnel_log {

bool enabled(int level) { return ulogFor(level) != nullptr; }

void write(int level, const char* file, int line, const char* function, const CString& message) {
  ULOG_AT(level, file, line, function, message);
}

CString joined(const char* message, const CString& detail) { return CString(makeArgFormat(message, detail).str()); }

CString joined(const char* message, long long detail) { return CString(makeArgFormat(message, detail).str()); }

}  // namespace tessal::tunnel_log
