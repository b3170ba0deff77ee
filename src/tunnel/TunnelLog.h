#pragma once

// Record writing of the tunnel classes: the log's program-message layout,
// built only when the current level lets the record through.

#include "foundation/String.h"

namespace tessal::tunnel_log {

bool enabled(int level);
// Writes "level, file, line, function, message\n" when enabled(level).
void write(int level, const char* file, int line, const char* function, const CString& message);
// message followed by ", " and detail.
CString joined(const char* message, const CString& detail);
CString joined(const char* message, long long detail);

}  // namespace tessal::tunnel_log
