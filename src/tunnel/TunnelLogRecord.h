#pragma once

// Program records of the application-tunnel code: the level is tested before
// the message is built, the record names the source file and the function's
// full signature.

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal::tunnellog {

inline bool enabled(int level)
{
    return g_pErrorLog && g_pErrorLog->getLogLevel() >= level;
}

inline void write(int level, const char* file, int line, const char* function, const char* message)
{
    UArgFormat record("%1, %2, %3, %4, %5\n");
    record.arg(level).arg(file).arg(line).arg(function).arg(message);
    if (g_pErrorLog)
        g_pErrorLog->writeLine(record.str());
}

} // namespace tessal::tunnellog

// MESSAGE is an expression yielding a NUL-terminated text (usually
// UArgFormat(...).arg(...).str()); it is evaluated only when the record is written.
#define TUNNEL_LOG(LEVEL, FILE_NAME, MESSAGE)                                                      \
    do {                                                                                           \
        if (::tessal::tunnellog::enabled(LEVEL))                                                   \
            ::tessal::tunnellog::write((LEVEL), (FILE_NAME), __LINE__, __PRETTY_FUNCTION__, (MESSAGE)); \
    } while (0)
