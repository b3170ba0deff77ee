#include "foundation/IUErrorLog.h"

#include <cstdio>
#include <cstring>

std::atomic<IUErrorLog*> g_pErrorLog{nullptr};

namespace {

const size_t kWriteLogSize = 5120; // the text stops at 5119 characters
const size_t kLevelFunctionSize = 2048; // the text stops at 2047 characters

CString levelBody(int level, const char* text)
{
    CString body;
    body.Format("%d,,,, %s", level, text != nullptr ? text : "");
    return body;
}

int writeLevelFunction(int level, const char* format, va_list args)
{
    IUErrorLog* log = g_pErrorLog.load();
    if (log == nullptr)
        return 0;
    if (level > 1 && log->getLogLevel() < level)
        return 0;
    char buffer[kLevelFunctionSize + 1];
    std::memset(buffer, 0, sizeof(buffer));
    if (format == nullptr) {
        std::snprintf(buffer, sizeof(buffer), "%s", "ERRORLOGLEVELx() wrong parameter");
    } else {
        // A formatting error leaves what was written; the buffer stays terminated.
        std::vsnprintf(buffer, kLevelFunctionSize, format, args);
        buffer[kLevelFunctionSize] = '\0';
    }
    return log->writeLine(levelBody(level, buffer));
}

} // namespace

IUErrorLog::IUErrorLog() : m_logLevel(1) {}

IUErrorLog::~IUErrorLog() = default;

CString IUErrorLog::formatRecordText(const char* format, va_list args)
{
    char buffer[kWriteLogSize + 1];
    std::memset(buffer, 0, sizeof(buffer));
    std::vsnprintf(buffer, kWriteLogSize, format, args);
    buffer[kWriteLogSize] = '\0';
    return CString(buffer);
}

int IUErrorLog::WriteLog(const char* format, ...)
{
    CString text;
    if (format == nullptr) {
        text = "IUErrorLog::WriteLog(LPCTSTR lpszMsg, ...) - template is NULL\n";
    } else {
        va_list args;
        va_start(args, format);
        text = formatRecordText(format, args);
        va_end(args);
    }
    debugTrace("%s", static_cast<const char*>(text));
    return writeMessageAlways(text);
}

int IUErrorLog::WriteLog(int priority, const char* format, ...)
{
    if (priority > getLogLevel())
        return 0;
    CString text;
    if (format == nullptr) {
        text = "IUErrorLog::WriteLog(int a_iPriority, LPCTSTR lpszMsg, ...) - template is NULL\n";
    } else {
        va_list args;
        va_start(args, format);
        text = formatRecordText(format, args);
        va_end(args);
    }
    debugTrace("%s", static_cast<const char*>(text));
    if (priority == 0)
        return writeMessageAlways(text);
    return writeLevelMessage(priority, text);
}

int IUErrorLog::writeMessage(const char* text)
{
    if (getLogLevel() < 1)
        return 0;
    return writeLine(levelBody(0, text));
}

int IUErrorLog::writeLevelMessage(int level, const char* text)
{
    if (getLogLevel() < 1)
        return 0;
    return writeLine(levelBody(level, text));
}

int IUErrorLog::writeMessageAlways(const char* text)
{
    return writeLine(levelBody(0, text));
}

int IUErrorLog::writeHexBytes(int priority, const void* bytes, int count)
{
    if (priority > getLogLevel() || count <= 0 || bytes == nullptr)
        return 0;
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (int start = 0; start < count; start += 32) {
        const int end = start + 32 < count ? start + 32 : count;
        CString line;
        char* out = line.GetBuffer((end - start) * 3 + 1);
        int k = 0;
        for (int i = start; i < end; ++i)
            k += std::snprintf(out + k, 4, " %2X", p[i]);
        out[k++] = '\n';
        line.ReleaseBuffer(k);
        WriteLog(priority, "%s", static_cast<const char*>(line));
    }
    return 0;
}

int IUErrorLog::getLogLevel() const
{
    return m_logLevel.load();
}

int IUErrorLog::setLogLevel(int level)
{
    if (level == 0)
        level = 1;
    const int previous = m_logLevel.exchange(level);
    if (previous != level)
        WriteLog(0, "log level has been changed to %d\n", level);
    return 0;
}

void IUErrorLog::setProperty(const char*, const char*) {}

int ERRORLOGLEVEL1(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = writeLevelFunction(1, format, args);
    va_end(args);
    return result;
}

int ERRORLOGLEVEL2(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = writeLevelFunction(2, format, args);
    va_end(args);
    return result;
}

int ERRORLOGLEVEL48(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = writeLevelFunction(48, format, args);
    va_end(args);
    return result;
}
