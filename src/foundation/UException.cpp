#include "foundation/UException.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const size_t kMessageSize = 5120; // messages stop at 5119 characters
const size_t kMaxLocationText = 1000;

} // namespace

UException::UException() : m_message(nullptr), m_function(nullptr), m_file(nullptr), m_line(0), m_code(-1) {}

UException::UException(const char* format, ...)
    : m_message(nullptr), m_function(nullptr), m_file(nullptr), m_line(0), m_code(-1)
{
    va_list args;
    va_start(args, format);
    init(-1, nullptr, nullptr, 0, format, args);
    va_end(args);
}

UException::UException(int code, const char* format, ...)
    : m_message(nullptr), m_function(nullptr), m_file(nullptr), m_line(0), m_code(-1)
{
    va_list args;
    va_start(args, format);
    init(code, nullptr, nullptr, 0, format, args);
    va_end(args);
}

UException::UException(int code, const char* file, const char* function, int line, const char* format, ...)
    : m_message(nullptr), m_function(nullptr), m_file(nullptr), m_line(0), m_code(-1)
{
    va_list args;
    va_start(args, format);
    init(code, file, function, line, format, args);
    va_end(args);
}

UException::UException(const UException& other)
    : std::exception(other), m_message(nullptr), m_function(nullptr), m_file(nullptr), m_line(0), m_code(-1)
{
    copyFrom(other);
}

UException& UException::operator=(const UException& other)
{
    if (this == &other)
        return *this;
    clear();
    copyFrom(other);
    return *this;
}

UException::~UException()
{
    delete[] m_message;
    delete[] m_function;
    delete[] m_file;
}

UBreakException::~UBreakException() = default;

const char* UException::what() const noexcept
{
    return m_message != nullptr ? m_message : "";
}

bool UException::storeText(char*& field, const char* text, bool limited)
{
    delete[] field;
    field = nullptr;
    if (text == nullptr)
        return true;
    const size_t n = std::strlen(text);
    if (limited && n > kMaxLocationText)
        return true;
    try {
        char* copy = new char[n + 1];
        std::memcpy(copy, text, n + 1);
        field = copy;
        return true;
    } catch (const std::exception& e) {
        writeToLog(e.what());
    } catch (...) {
        writeToLog("Unknown exception");
    }
    return false;
}

void UException::copyFrom(const UException& other)
{
    storeText(m_message, other.m_message, false);
    storeText(m_function, other.m_function, false);
    storeText(m_file, other.m_file, false);
    m_line = other.m_line;
    m_code = other.m_code;
}

void UException::init(int code, const char* file, const char* function, int line, const char* format, va_list args)
{
    delete[] m_message;
    m_message = nullptr;
    delete[] m_function;
    m_function = nullptr;
    delete[] m_file;
    m_file = nullptr;
    m_line = 0;
    m_code = code;
    if (!storeText(m_file, file, true) || !storeText(m_function, function, true))
        return;
    m_line = line;

    char buffer[kMessageSize];
    std::memset(buffer, 0, sizeof(buffer));
    if (format != nullptr) {
        const int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
        if (n < 0 || n >= static_cast<int>(kMessageSize) + 1)
            buffer[kMessageSize - 1] = '\0';
    } else {
        std::snprintf(buffer, sizeof(buffer), "%s",
                      "UException::UException(LPCTSTR lpszMsg, ...) - template parameter is NULL");
    }
    if (!storeText(m_message, buffer, false))
        return;
    writeToLog(m_message);
}

UFORCED_UNWIND_HANDLER void UException::writeToLog(const char* text) const
{
    IUErrorLog* log = g_pErrorLog.load();
    if (log == nullptr)
        return;
    try {
        const char* message = text != nullptr ? text : "";
        if (m_file == nullptr && m_line == 0 && m_function == nullptr) {
            log->writeLine(makeLogRecord(1, "", 0, "", message).str());
        } else if (m_code == -1) {
            log->writeLine(makeLogRecord(1, m_file != nullptr ? m_file : "", static_cast<unsigned int>(m_line),
                                         m_function != nullptr ? m_function : "", message)
                               .str());
        } else {
            CString coded;
            coded.Format("(0x%x) %s", static_cast<unsigned int>(m_code), message);
            log->writeLine(makeArgFormat(ULOG_RECORD_FORMAT, 1, m_file != nullptr ? m_file : "",
                                         static_cast<unsigned int>(m_line), m_function != nullptr ? m_function : "",
                                         coded)
                               .str());
        }
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
}

void UException::setFile(const char* file)
{
    storeText(m_file, file, true);
}

void UException::setFunction(const char* function)
{
    storeText(m_function, function, true);
}

void UException::setMessageText(const char* text)
{
    storeText(m_message, text, false);
}

const char* UException::setMessage(const char* text)
{
    clear();
    storeText(m_message, text, false);
    m_code = -1;
    return text;
}

int UException::setUnknown(int code)
{
    clear();
    storeText(m_message, "unknown exception", false);
    m_code = code;
    return code;
}

void UException::clear()
{
    delete[] m_message;
    m_message = nullptr;
    delete[] m_file;
    m_file = nullptr;
    delete[] m_function;
    m_function = nullptr;
    m_line = 0;
}

namespace ucatch {

void recordUException(const UCatchSite& site)
{
    ULOG_AT(ULOG_LEVEL_ERROR, site.file, site.line, "", makeArgFormat("EXCEPTION caught: %1", site.tag));
}

void recordStdException(const UCatchSite& site, const std::exception& e)
{
    ULOG_AT(ULOG_LEVEL_ERROR, site.file, site.line, "", makeArgFormat("%1, %2", site.tag, e.what()));
}

void recordForcedUnwind(const UCatchSite& site)
{
    ULOG_AT(ULOG_LEVEL_ERROR, site.file, site.line, site.operation,
            makeArgFormat("%1, %2", "EXCEPTION caught (forced stack unwind)", site.tag));
}

void recordUnknown(const UCatchSite& site)
{
    ULOG_AT(ULOG_LEVEL_ERROR, site.file, site.line, "", makeArgFormat("EXCEPTION caught: %1", site.tag));
}

} // namespace ucatch
