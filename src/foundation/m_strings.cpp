#include "foundation/m_strings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/m_type_conversion.h"
#include "foundation/str_helper.h"

namespace {

const char kSourceFile[] = "/m_strings";

std::string trimmedText(const char* text)
{
    if (text == nullptr)
        return std::string();
    const char* begin = text;
    while (*begin != '\0' && std::isspace(static_cast<unsigned char>(*begin)))
        ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && std::isspace(static_cast<unsigned char>(end[-1])))
        --end;
    return std::string(begin, end);
}

void setOk(bool* ok, bool value)
{
    if (ok != nullptr)
        *ok = value;
}

[[noreturn]] void throwConversion(int line, const char* function, const char* what, const char* input)
{
    throw UException(-1, kSourceFile, function, line, "EXCEPTION - %s, %s", what, input != nullptr ? input : "");
}

// Signed decimal conversion with the checks strtoll leaves to its caller:
// at least one digit, no overflow. Text after the number is ignored.
long long parseSigned(const std::string& text, const char* input, const char* function)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(begin, &end, 10);
    if (end == begin)
        throwConversion(__LINE__, function, "invalid a_str", input);
    if (errno == ERANGE)
        throwConversion(__LINE__, function, "out of range a_str", input);
    return value;
}

unsigned long long parseUnsigned(const std::string& text, const char* input, const char* function)
{
    // strtoull would negate a leading minus sign; an unsigned value has none.
    if (!text.empty() && text[0] == '-')
        throwConversion(__LINE__, function, "invalid a_str", input);
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(begin, &end, 10);
    if (end == begin)
        throwConversion(__LINE__, function, "invalid a_str", input);
    if (errno == ERANGE)
        throwConversion(__LINE__, function, "out of range a_str", input);
    return value;
}

} // namespace

bool isNumber(const char* text)
{
    bool result = false;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "isNumber() - EXCEPTION", "isNumber"), guardCode, [&] {
        std::string trimmed = trimmedText(text);
        if (trimmed.empty() || trimmed.size() > 64)
            throw UBreakException();
        char run[65] = {};
        if (std::sscanf(trimmed.c_str(), "%64[0-9-]", run) != 1)
            throw UBreakException();
        result = std::strlen(run) == trimmed.size();
    });
    return result;
}

int toInt(const char* text, int fallback, bool* ok)
{
    setOk(ok, false);
    int result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toInt() - EXCEPTION", "toInt"), guardCode, [&] {
        if (!isNumber(text))
            throw UBreakException();
        long long value = parseSigned(trimmedText(text), text, "toInt()");
        if (value < INT_MIN || value > INT_MAX)
            throwConversion(__LINE__, "toInt()", "out of range a_str", text);
        result = static_cast<int>(value);
        setOk(ok, true);
    });
    return result;
}

int64_t toINT64(const char* text, int64_t fallback, bool* ok)
{
    setOk(ok, false);
    int64_t result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toINT64() - EXCEPTION", "toINT64"), guardCode, [&] {
        if (!isNumber(text))
            throw UBreakException();
        result = static_cast<int64_t>(parseSigned(trimmedText(text), text, "toINT64()"));
        setOk(ok, true);
    });
    return result;
}

uint64_t toUINT64(const char* text, uint64_t fallback, bool* ok)
{
    setOk(ok, false);
    uint64_t result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toUINT64() - EXCEPTION", "toUINT64"), guardCode, [&] {
        if (!isNumber(text))
            throw UBreakException();
        result = static_cast<uint64_t>(parseUnsigned(trimmedText(text), text, "toUINT64()"));
        setOk(ok, true);
    });
    return result;
}

uint16_t toUINT16(const char* text, uint16_t fallback, bool* ok)
{
    setOk(ok, false);
    uint16_t result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toUINT16() - EXCEPTION", "toUINT16"), guardCode, [&] {
        bool converted = false;
        uint64_t wide = toUINT64(text, fallback, &converted);
        if (!converted)
            throw UBreakException();
        result = UINT64ToUINT16(wide);
        setOk(ok, true);
    });
    return result;
}

uint32_t toDWORD(const char* text, uint32_t fallback, bool* ok)
{
    setOk(ok, false);
    uint32_t result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toDWORD() - EXCEPTION", "toDWORD"), guardCode, [&] {
        if (text == nullptr)
            throw UException(-1, kSourceFile, "toDWORD()", __LINE__, "EXCEPTION - %s", "a_str is NULL");
        std::string trimmed = trimmedText(text);
        if (trimmed.empty()) {
            ULOG_AT(ULOG_LEVEL_VERBOSE, kSourceFile, __LINE__, "toDWORD()", "a_str is empty string");
            throw UBreakException();
        }

        char run[32] = {};
        if (std::sscanf(trimmed.c_str(), "%31[0-9-]", run) == 1) {
            size_t runLength = std::strlen(run);
            if (runLength > 11)
                throwConversion(__LINE__, "toDWORD()", "invalid a_str", text);
            if (runLength == trimmed.size()) {
                long long value = parseSigned(trimmed, text, "toDWORD()");
                if (value < -2147483648LL || value > 4294967295LL)
                    throwConversion(__LINE__, "toDWORD()", "out of range a_str", text);
                result = static_cast<uint32_t>(value);
                setOk(ok, true);
                throw UBreakException();
            }
        }

        std::memset(run, 0, sizeof(run));
        if (std::sscanf(trimmed.c_str(), "%31[XxA-Fa-f0-9]", run) != 1)
            throwConversion(__LINE__, "toDWORD()", "invalid a_str", text);
        size_t runLength = std::strlen(run);
        if (runLength < 3 || runLength > 10 || run[0] != '0' || (run[1] != 'x' && run[1] != 'X') ||
            runLength != trimmed.size())
            throwConversion(__LINE__, "toDWORD()", "invalid a_str", text);
        char* end = nullptr;
        errno = 0;
        unsigned long value = std::strtoul(run + 2, &end, 16);
        if (end == run + 2 || *end != '\0' || errno == ERANGE || value > 0xFFFFFFFFul)
            throwConversion(__LINE__, "toDWORD()", "invalid a_str", text);
        result = static_cast<uint32_t>(value);
        setOk(ok, true);
    });
    return result;
}

bool toBool(const char* text, bool fallback)
{
    bool result = fallback;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "toBool() - EXCEPTION", "toBool"), guardCode, [&] {
        if (text == nullptr)
            throw UException(-1, kSourceFile, "toBool()", __LINE__, "EXCEPTION - %s", "a_str is NULL");
        std::string trimmed = trimmedText(text);
        if (trimmed.empty()) {
            ULOG_AT(ULOG_LEVEL_VERBOSE, kSourceFile, __LINE__, "toBool()", "input value is empty string");
            throw UBreakException();
        }
        if (compareNoCase(trimmed.c_str(), "true") == 0)
            result = true;
        else if (compareNoCase(trimmed.c_str(), "false") == 0)
            result = false;
        else
            throw UException(-1, kSourceFile, "toBool()", __LINE__, "EXCEPTION - %s, %s",
                             "unknow value, expected 'true' or 'false'", trimmed.c_str());
    });
    return result;
}

uint32_t strIPtoDWORD(const char* text, uint32_t fallback, bool* ok)
{
    setOk(ok, false);
    if (text == nullptr || *text == '\0')
        return fallback;
    unsigned int parts[4] = {};
    char rest[10] = {};
    if (std::sscanf(text, "%3u.%3u.%3u.%3u%9s", &parts[0], &parts[1], &parts[2], &parts[3], rest) != 4)
        return fallback;
    for (unsigned int part : parts) {
        if (part > 255)
            return fallback;
    }
    setOk(ok, true);
    return (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
}

bool checkCharacterSet(const CString& value, const CString& scanSet, int maxLength)
{
    bool result = false;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, " - EXCEPTION", "checkCharacterSet"), guardCode, [&] {
        int length = value.GetLength();
        if (maxLength != 0 && length > maxLength)
            throw UException(-1, kSourceFile, "", __LINE__, "EXCEPTION - %s",
                             "input variable length exceeds the maximum length");
        uint32_t bufferLength = IntToUINT32(length) + 2;
        std::vector<char> scanned(bufferLength, '\0');
        int res = -1;
        if (length > 0) {
            CString format = formatString("%%%d", length) + scanSet;
            res = std::sscanf(value, format, scanned.data());
        }
        if (res != 1) {
            char resText[16];
            std::snprintf(resText, sizeof(resText), "%d", res);
            throw UException(-1, kSourceFile, "", __LINE__, "EXCEPTION - %s, %s", "_stscanf() failed (res)", resText);
        }
        result = static_cast<int>(std::strlen(scanned.data())) == length;
    });
    return result;
}

// ---------------------------------------------------------------------------
// Wide and narrow texts

CString& createString(CString& out, const wchar_t* text, size_t count, const char* fallback)
{
    out = fallback;
    if (text == nullptr)
        return out;
    std::wstring limited(text, std::min(std::wcslen(text), count));

    errno = 0;
    size_t length = std::wcstombs(nullptr, limited.c_str(), 0);
    int error = errno;
    if (length == 0 || length == static_cast<size_t>(-1)) {
        ULOG_AT(ULOG_LEVEL_WARNING, kSourceFile, __LINE__, "::createString",
                makeArgFormat("Failed while obtaining buffer size (WideCharToMultiByte() error: %1)", error));
        return out;
    }
    std::vector<char> buffer;
    try {
        buffer.assign(length + 5, '\0');
    } catch (const std::bad_alloc&) {
        ULOG_AT(ULOG_LEVEL_WARNING, kSourceFile, __LINE__, "::createString",
                makeArgFormat("Failed to allocate memory (error: %1)", ENOMEM));
        return out;
    }
    size_t converted = std::wcstombs(buffer.data(), limited.c_str(), length + 1);
    error = errno;
    if (converted == 0 || converted == static_cast<size_t>(-1)) {
        ULOG_AT(
            ULOG_LEVEL_WARNING, kSourceFile, __LINE__, "::createString",
            makeArgFormat("Failed to convert wide-char string to multi-byte (WideCharToMultiByte() error: %1)", error));
        return out;
    }
    out = buffer.data();
    return out;
}

CString& createString(CString& out, const wchar_t* text, size_t count)
{
    return createString(out, text, count, "");
}

CString& createString(CString& out, const wchar_t* text)
{
    return createString(out, text, static_cast<size_t>(-1), "");
}

namespace {

[[noreturn]] void throwStream(int line, const char* what)
{
    throw UException(-1, kSourceFile, "StringToByteStream()", line, "EXCEPTION - %s, %s", what, std::strerror(errno));
}

int wideToStream(const wchar_t* text, size_t length, AutoMemory& out)
{
    size_t bytes = (length + 1) * sizeof(uint32_t);
    out.realloc(static_cast<uint32_t>(bytes));
    uint32_t* target = out.as<uint32_t>();
    for (size_t i = 0; i < length; ++i)
        target[i] = static_cast<uint32_t>(text[i]);
    target[length] = 0;
    return static_cast<int>(length * sizeof(uint32_t));
}

int narrowFromWide(const wchar_t* text, AutoMemory& out, const char* finalFailure)
{
    errno = 0;
    size_t size = std::wcstombs(nullptr, text, 0);
    if (size == 0 || size == static_cast<size_t>(-1))
        throwStream(__LINE__, "WideCharToMultiByte() failed");
    AutoMemory converted(static_cast<uint32_t>(size + 1));
    size_t written = std::wcstombs(converted.as<char>(), text, size + 1);
    if (written == 0 || written == static_cast<size_t>(-1))
        throwStream(__LINE__, finalFailure);
    out = converted;
    return static_cast<int>(written);
}

} // namespace

int StringToByteStream(const wchar_t* text, AutoMemory& out, int encoding)
{
    if (text == nullptr || *text == L'\0')
        return 0;
    if (encoding == 2)
        return wideToStream(text, std::wcslen(text), out);
    return narrowFromWide(text, out, "WideCharToMultiByte() failed");
}

int StringToByteStream(const CString& text, AutoMemory& out, int encoding)
{
    int length = text.GetLength();
    if (length == 0)
        return 0;
    if (encoding == 0) {
        out.realloc(static_cast<uint32_t>(length) + 1);
        std::memcpy(out.getBuffer(), static_cast<const char*>(text), static_cast<size_t>(length));
        return length;
    }

    errno = 0;
    size_t wideLength = std::mbstowcs(nullptr, text, 0);
    if (wideLength == 0 || wideLength == static_cast<size_t>(-1))
        throwStream(__LINE__, "MultiByteToWideChar() failed");
    std::vector<wchar_t> wide(wideLength + 1, L'\0');
    size_t widened = std::mbstowcs(wide.data(), text, wideLength + 1);
    if (widened == 0 || widened == static_cast<size_t>(-1))
        throwStream(__LINE__, "MultiByteToWideChar() failed");

    if (encoding == 2)
        return wideToStream(wide.data(), widened, out);
    return narrowFromWide(wide.data(), out, "WideCharToMultiByte() || failed");
}

// ---------------------------------------------------------------------------
// Paths and errors

CString& SGetFileName(CString& out, const char* path, const char* defaultName)
{
    out = defaultName;
    CString dir;
    splitPath(CString(path), dir, out);
    return out;
}

CString& SGetFileName(CString& out, const CString& path, const CString& defaultName)
{
    out.Empty();
    (void)defaultName;
    CString dir;
    splitPath(path, dir, out);
    return out;
}

CString& SGetTempPath(CString& out)
{
    std::string path = std::string(tempFolder()) + "/XXXXXXXX";
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0)
        throw UException("SGetTempPath() - error=%d", errno);
    ::close(fd);
    out = buffer.data();
    return out;
}

CString& getErrnoText(CString& out)
{
    out = std::strerror(errno);
    return out;
}
