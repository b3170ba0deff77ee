#pragma once

// Records, exceptions and the catch idiom shared by the route-table sources.

#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/m_inet.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <string>

struct IpForwardRow2;
struct sockaddr;
struct sockaddr_storage;

namespace routetable_detail {

// Windows-shaped "not supported" result of the adapter queries.
constexpr int kResultNotSupported = 50;

inline bool logLevelAtLeast(int level)
{
    return g_pErrorLog && g_pErrorLog->getLogLevel() >= level;
}

// A program message "level, file, line, function, text".
inline void logRecord(int level, int line, const char* function, const char* text,
                      const char* file = "/CLinuxRouteTable.cpp")
{
    if (!logLevelAtLeast(level))
        return;
    g_pErrorLog->writeLine(makeArgFormat("%1, %2, %3, %4, %5\n", level, file, line, function, text).str());
}

inline void logFormatted(int level, int line, const char* function, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
inline void logFormatted(int level, int line, const char* function, const char* format, ...)
{
    if (!logLevelAtLeast(level))
        return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    logRecord(level, line, function, text);
}

inline std::string pairText(const char* first, const std::string& second)
{
    return std::string(first) + ", " + second;
}

// "%1, %2, %3" of a text, the error number and its description.
inline void logErrnoRecord(int level, int line, const char* function, const char* what, int error)
{
    if (!logLevelAtLeast(level))
        return;
    const std::string text = pairText(what, std::to_string(error)) + ", " + std::strerror(error);
    logRecord(level, line, function, text.c_str());
}

inline std::string unsignedText(unsigned value)
{
    return std::to_string(value);
}

inline void writeLog(int priority, const char* text)
{
    if (g_pErrorLog)
        g_pErrorLog->WriteLog(priority, "%s", text);
}

[[noreturn]] inline void throwError(int code, int line, const char* function, const char* format, const char* a,
                                    const char* b = nullptr)
{
    if (b)
        throw UException(code, "/CLinuxRouteTable.cpp", function, line, format, a, b);
    throw UException(code, "/CLinuxRouteTable.cpp", function, line, format, a);
}

// A kernel error answer: errno is set to it; ESRCH gives -3, EEXIST -4.
[[noreturn]] inline void throwKernelError(int error, int line, const char* function)
{
    errno = error;
    const int code = error == ESRCH ? -3 : error == EEXIST ? -4 : -1;
    throwError(code, line, function, "EXCEPTION - %s", std::strerror(error));
}

// The catch idiom: every failure becomes a record and a result code.
template <class Body>
int guarded(const char* operationTag, const char* operationName, int line, Body&& body)
{
    const std::string tag = operationTag;
    int result = -1;
    try {
        result = body();
    } catch (UBreakException&) {
    } catch (UException& e) {
        logRecord(1, line, "", ("EXCEPTION caught: " + tag).c_str());
        result = e.getCode();
    } catch (std::exception& e) {
        logRecord(1, line, "", (tag + ", " + e.what()).c_str());
        result = -1;
    } catch (abi::__forced_unwind&) {
        logRecord(1, line, operationName, ("EXCEPTION caught (forced stack unwind), " + tag).c_str());
        throw;
    } catch (...) {
        logRecord(1, line, "", ("EXCEPTION caught: " + tag).c_str());
        result = -1;
    }
    return result;
}

// sock_ntop of an address field (empty when it cannot be written).
std::string socketAddressText(const sockaddr_storage* address);
// FormatIpForwardRow2 as plain text.
std::string formatRow(const IpForwardRow2* row);
int maskToPrefixLength(const sockaddr* mask, unsigned char* prefixLength);

} // namespace routetable_detail
