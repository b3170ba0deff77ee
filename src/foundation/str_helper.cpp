#include "foundation/str_helper.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <sys/time.h>
#include <unistd.h>

#include "foundation/Helpers.h"
#include "foundation/UClasses.h"
#include "foundation/str_helper_match.h"

// ---------------------------------------------------------------------------
// Number and value to text

CString formatString(const char* format, ...)
{
    CString result;
    va_list args;
    va_start(args, format);
    result.FormatV(format, args);
    va_end(args);
    return result;
}

CString toString(bool value)
{
    return CString(value ? "true" : "false");
}
CString toString(char value)
{
    return formatString("%c", value);
}
CString toString(short value)
{
    return formatString("%d", static_cast<int>(value));
}
CString toString(int value)
{
    return formatString("%d", value);
}
CString toString(long value)
{
    return formatString("%ld", value);
}
CString toString(long long value)
{
    return formatString("%lld", value);
}
CString toString(unsigned char value)
{
    return formatString("%u", static_cast<unsigned int>(value));
}
CString toString(unsigned short value)
{
    return formatString("%u", static_cast<unsigned int>(value));
}
CString toString(unsigned int value)
{
    return formatString("%u", value);
}
CString toString(unsigned long value)
{
    return formatString("%lu", value);
}
CString toString(unsigned long long value)
{
    return formatString("%llu", value);
}
CString toString(float value)
{
    return formatString("%f", static_cast<double>(value));
}
CString toString(double value)
{
    return formatString("%lf", value);
}

CString toString(const void* pointer)
{
    if (pointer == nullptr)
        return CString("0x0000000000000000");
    return formatString("%p", pointer);
}

CString toHexText(unsigned long value)
{
    return formatString("0x%lx", value);
}

CString ipv4ToString(uint32_t address)
{
    return formatString("%d.%d.%d.%d", static_cast<int>(address & 0xff), static_cast<int>((address >> 8) & 0xff),
                        static_cast<int>((address >> 16) & 0xff), static_cast<int>((address >> 24) & 0xff));
}

CString errnoToString(int error)
{
    return CString(strerror(error));
}
CString errnoToString()
{
    return errnoToString(errno);
}

// ---------------------------------------------------------------------------
// Fixed texts

CString tempFolder()
{
    return CString("/tmp");
}
CString platformName()
{
    return CString("Linux");
}
CString processorName()
{
    return CString("x64");
}

CString getUserAgent()
{
    return CString("Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; Trident/6.0; Tessal Networks Client)");
}

CString hostNameBase64()
{
    char name[512];
    std::memset(name, 0, sizeof(name));
    if (gethostname(name, sizeof(name) - 1) != 0)
        return CString();
    return base64EncodeText(name);
}

// ---------------------------------------------------------------------------
// Hexadecimal

CString toHexString(const char* text)
{
    CString out;
    if (text == nullptr)
        return out;
    static const char digits[] = "0123456789ABCDEF";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        out += digits[*p >> 4];
        out += digits[*p & 0x0f];
    }
    return out;
}

CString percentEscapeAll(const char* text)
{
    CString out;
    if (text == nullptr)
        return out;
    static const char digits[] = "0123456789ABCDEF";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        out += '%';
        out += digits[*p >> 4];
        out += digits[*p & 0x0f];
    }
    return out;
}

CString hexDump(const void* data, int length, int flags)
{
    std::string out;
    if (data == nullptr || length <= 0)
        return CString();
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    char item[8];

    if ((flags & 2) == 0) {
        for (int k = 0; k < length; ++k) {
            std::snprintf(item, sizeof(item), "%.2x", bytes[k]);
            out += item;
            if (flags & 1)
                out += ' ';
        }
        return CString(out.c_str());
    }

    std::string hexColumn;
    std::string charColumn;
    for (int k = 0; k < length; ++k) {
        if (k % 8 == 0 && k != 0) {
            hexColumn += "  ";
            charColumn += ' ';
            if (k % 16 == 0) {
                out += hexColumn + "  " + charColumn + "\n";
                hexColumn.clear();
                charColumn.clear();
            }
        }
        std::snprintf(item, sizeof(item), "%.2x ", bytes[k]);
        hexColumn += item;
        charColumn += (bytes[k] >= 32 && bytes[k] <= 127) ? static_cast<char>(bytes[k]) : '.';
    }
    if (hexColumn.size() < 52)
        hexColumn.append(52 - hexColumn.size(), ' ');
    out += hexColumn + "  " + charColumn + "\n";
    return CString(out.c_str());
}

int hexDigitValue(char ch, unsigned char& out)
{
    if (ch >= '0' && ch <= '9') {
        out = static_cast<unsigned char>(ch - '0');
        return 1;
    }
    if (ch >= 'a' && ch <= 'f') {
        out = static_cast<unsigned char>(ch - 'a' + 10);
        return 1;
    }
    if (ch >= 'A' && ch <= 'F') {
        out = static_cast<unsigned char>(ch - 'A' + 10);
        return 1;
    }
    return 0;
}

CString hexTextToString(const char* text)
{
    CString out;
    if (text == nullptr)
        return out;
    size_t length = std::strlen(text);
    for (size_t i = 0; i < length; i += 2) {
        unsigned char high = 0;
        unsigned char low = 0;
        unsigned int value = 0;
        if (i + 1 < length) {
            // A pair that is not hexadecimal adds nothing.
            if (!hexDigitValue(text[i], high) || !hexDigitValue(text[i + 1], low))
                continue;
            value = static_cast<unsigned int>(high) * 16 + low;
        } else {
            if (!hexDigitValue(text[i], low))
                continue;
            value = low;
        }
        if (value != 0)
            out += static_cast<char>(value);
    }
    return out;
}

static int hexToBytesImpl(const char* text, unsigned char* out, int capacity, bool reversed)
{
    if (text == nullptr)
        return -2;
    size_t count = std::strlen(text) / 2;
    if (capacity < 0 || static_cast<size_t>(capacity) < count)
        return -1;
    for (size_t i = 0; i < count; ++i) {
        unsigned char high = 0;
        unsigned char low = 0;
        if (!hexDigitValue(text[2 * i], high) || !hexDigitValue(text[2 * i + 1], low))
            return -2;
        unsigned char value = static_cast<unsigned char>(high * 16 + low);
        if (reversed)
            out[count - 1 - i] = value;
        else
            out[i] = value;
    }
    return 0;
}

int hexToBytes(const char* text, unsigned char* out, int capacity)
{
    return hexToBytesImpl(text, out, capacity, false);
}

int hexToBytesReversed(const char* text, unsigned char* out, int capacity)
{
    return hexToBytesImpl(text, out, capacity, true);
}

// ---------------------------------------------------------------------------
// Base64

static const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Encode(const void* data, int length, CString& out)
{
    if (data == nullptr || length <= 0)
        return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string encoded;
    encoded.reserve(static_cast<size_t>((length + 2) / 3) * 4);
    int i = 0;
    for (; i + 2 < length; i += 3) {
        unsigned int v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        encoded += kBase64Alphabet[(v >> 18) & 63];
        encoded += kBase64Alphabet[(v >> 12) & 63];
        encoded += kBase64Alphabet[(v >> 6) & 63];
        encoded += kBase64Alphabet[v & 63];
    }
    int rest = length - i;
    if (rest == 1) {
        unsigned int v = bytes[i] << 16;
        encoded += kBase64Alphabet[(v >> 18) & 63];
        encoded += kBase64Alphabet[(v >> 12) & 63];
        encoded += "==";
    } else if (rest == 2) {
        unsigned int v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        encoded += kBase64Alphabet[(v >> 18) & 63];
        encoded += kBase64Alphabet[(v >> 12) & 63];
        encoded += kBase64Alphabet[(v >> 6) & 63];
        encoded += '=';
    }
    out += encoded.c_str();
    return static_cast<int>(encoded.size());
}

CString base64EncodeText(const char* text)
{
    CString out;
    if (text != nullptr)
        base64Encode(text, static_cast<int>(std::strlen(text)), out);
    return out;
}

namespace {

struct Base64DecodeTable {
    unsigned char value[256];
    Base64DecodeTable()
    {
        std::memset(value, 127, sizeof(value));
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<unsigned char>(i);
        value[static_cast<unsigned char>('=')] = 64;
    }
};

const Base64DecodeTable& decodeTable()
{
    static const Base64DecodeTable table; // built once, thread-safe
    return table;
}

template <class Sink>
int base64DecodeInto(const char* text, Sink sink)
{
    if (text == nullptr)
        return 0;
    const Base64DecodeTable& table = decodeTable();
    unsigned int bits = 0;
    int pending = 0;
    int produced = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0 && *p < 0x80; ++p) {
        unsigned char v = table.value[*p];
        if (v > 63)
            continue;
        bits = (bits << 6) | v;
        if (++pending == 4) {
            sink(static_cast<unsigned char>((bits >> 16) & 0xff));
            sink(static_cast<unsigned char>((bits >> 8) & 0xff));
            sink(static_cast<unsigned char>(bits & 0xff));
            produced += 3;
            bits = 0;
            pending = 0;
        }
    }
    if (pending == 2) {
        sink(static_cast<unsigned char>((bits >> 4) & 0xff));
        produced += 1;
    } else if (pending == 3) {
        sink(static_cast<unsigned char>((bits >> 10) & 0xff));
        sink(static_cast<unsigned char>((bits >> 2) & 0xff));
        produced += 2;
    }
    return produced;
}

} // namespace

int base64Decode(const char* text, CByteArray& out)
{
    return base64DecodeInto(text, [&out](unsigned char b) { out.Add(b); });
}

static std::string base64DecodeStd(const char* text)
{
    std::string bytes;
    base64DecodeInto(text, [&bytes](unsigned char b) { bytes += static_cast<char>(b); });
    return bytes;
}

int base64DecodeToString(const char* text, CString& out)
{
    std::string bytes = base64DecodeStd(text);
    out = CString(bytes.c_str()); // the text ends at the first decoded NUL
    return static_cast<int>(bytes.size());
}

CString base64DecodeBinary(const char* text)
{
    std::string bytes = base64DecodeStd(text);
    if (bytes.empty())
        return CString();
    return CString(bytes.data(), static_cast<int>(bytes.size()));
}

CString base64DecodeText(const char* text)
{
    std::string bytes = base64DecodeStd(text);
    return CString(bytes.c_str());
}

// ---------------------------------------------------------------------------
// URL percent-coding

std::vector<unsigned char> URLDecodeBuffer(const void* data, size_t length)
{
    std::vector<unsigned char> out;
    if (data == nullptr)
        return out;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned char high = 0;
        unsigned char low = 0;
        if (bytes[i] == '%' && i + 2 < length && hexDigitValue(static_cast<char>(bytes[i + 1]), high) &&
            hexDigitValue(static_cast<char>(bytes[i + 2]), low)) {
            out.push_back(static_cast<unsigned char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(bytes[i]);
        }
    }
    return out;
}

std::string URLDecodeStd(const void* data, size_t length)
{
    std::vector<unsigned char> bytes = URLDecodeBuffer(data, length);
    return std::string(bytes.begin(), bytes.end());
}

CString URLDecode(const CString& text)
{
    std::vector<unsigned char> bytes =
        URLDecodeBuffer(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
    if (bytes.empty())
        return CString();
    return CString(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

CString percentEncodeAlnum(const CString& text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(static_cast<const char*>(text));
    for (int i = 0; i < text.GetLength(); ++i) {
        if (std::isalnum(bytes[i])) {
            out += static_cast<char>(bytes[i]);
        } else {
            out += '%';
            out += digits[bytes[i] >> 4];
            out += digits[bytes[i] & 0x0f];
        }
    }
    if (out.empty())
        return CString();
    return CString(out.data(), static_cast<int>(out.size()));
}

// The characters that are always escaped besides controls, blanks and bytes above 'z'.
static const char kUnsafeCharacters[] = "\"<>%\\^[]`+$,@:;/!#?=&";

bool CURLEncode::isUnsafe(unsigned char ch)
{
    if (ch < 33 || ch > 122)
        return true;
    return std::strchr(kUnsafeCharacters, ch) != nullptr;
}

CString CURLEncode::encode(const CString& text) const
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(static_cast<const char*>(text));
    for (int i = 0; i < text.GetLength(); ++i) {
        if (isUnsafe(bytes[i])) {
            out += '%';
            out += digits[bytes[i] >> 4];
            out += digits[bytes[i] & 0x0f];
        } else {
            out += static_cast<char>(bytes[i]);
        }
    }
    if (out.empty())
        return CString();
    return CString(out.data(), static_cast<int>(out.size()));
}

static int urlDigit(char ch)
{
    ch = asciiLower(ch);
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return ch - '0';
}

CString CURLEncode::decode(const CString& text) const
{
    std::string out;
    const char* chars = text;
    int length = text.GetLength();
    for (int i = 0; i < length; ++i) {
        // A "%" with fewer than two characters after it is kept as it is.
        if (chars[i] == '%' && i + 2 < length) {
            int value = 16 * urlDigit(chars[i + 1]) + urlDigit(chars[i + 2]);
            out += static_cast<char>(value & 0xff);
            i += 2;
        } else {
            out += chars[i];
        }
    }
    if (out.empty())
        return CString();
    return CString(out.data(), static_cast<int>(out.size()));
}

static char* duplicateForCaller(const CString& text)
{
    size_t length = static_cast<size_t>(text.GetLength());
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, static_cast<const char*>(text), length);
    copy[length] = '\0';
    return copy;
}

char* urlEncodeAlloc(const char* text)
{
    return duplicateForCaller(CURLEncode().encode(CString(text)));
}

char* urlDecodeAlloc(const char* text)
{
    return duplicateForCaller(CURLEncode().decode(CString(text)));
}

// ---------------------------------------------------------------------------
// Splitting, joining and paths

int splitString(const CString& text, CString& left, CString& right, char separator, bool noTrim, bool fromRight)
{
    left = text;
    right.Empty();
    if (text.IsEmpty())
        return -1;
    int index = fromRight ? text.ReverseFind(separator) : text.Find(separator);
    if (index >= 0) {
        right = text.Mid(index + 1);
        left = text.Left(index);
    }
    if (!noTrim) {
        left.TrimLeft();
        left.TrimRight();
        right.TrimLeft();
        right.TrimRight();
    }
    return index;
}

int splitKeyValue(const CString& text, CString& key, CString& value)
{
    int index = text.Find('=');
    if (index < 1)
        return 0;
    key = text.Left(index);
    value = text.Mid(index + 1);
    key.TrimLeft();
    key.TrimRight();
    value.TrimLeft();
    value.TrimRight();
    return 1;
}

CString joinStrings(const UStrings& strings)
{
    CString out;
    char separator = strings.getSeparator();
    int count = strings.getCount();
    for (int i = 0; i < count; ++i) {
        if (i > 0 && separator != '\0')
            out += separator;
        out += strings.getAt(i);
    }
    return out;
}

CString joinObjectTexts(const UList& list)
{
    CString out;
    for (int i = 0; i < list.getCount(); ++i) {
        const URootMatch* matcher = dynamic_cast<const URootMatch*>(list.getObject(i));
        if (matcher == nullptr)
            continue;
        out += matcher->getPattern();
        out += "\n";
    }
    return out;
}

int printStrings(const UStrings& strings)
{
    int count = strings.getCount();
    for (int i = 0; i < count; ++i)
        std::printf("-%s-\n", strings.getAt(i));
    return count;
}

int splitPath(const CString& path, CString& dir, CString& name)
{
    int slash = path.ReverseFind('/');
    int backslash = path.ReverseFind('\\');
    int index = slash > backslash ? slash : backslash;
    if (index >= 0) {
        name = path.Mid(index + 1);
        dir = path.Left(index) + "/";
    } else {
        name = path;
        dir.Empty();
    }
    if (name == "." || name == "..") {
        dir = path;
        name.Empty();
    }
    return 1;
}

bool endsWithSlash(const CString& text)
{
    int length = text.GetLength();
    if (length == 0)
        return false;
    char last = text.GetAt(length - 1);
    return last == '/' || last == '\\';
}

CString removeTrailingSlash(const CString& text)
{
    if (!endsWithSlash(text))
        return text;
    return text.Left(text.GetLength() - 1);
}

CString appendSlash(const CString& text)
{
    if (endsWithSlash(text))
        return text;
    return text + "/";
}

CString stripChar(const CString& text, char ch, int maxCount)
{
    int start = 0;
    while (start < text.GetLength() && start < maxCount && text.GetAt(start) == ch)
        ++start;
    return text.Mid(start);
}

CString stripCharRight(const CString& text, char ch, int maxCount)
{
    int end = text.GetLength();
    int removed = 0;
    while (end > 0 && removed < maxCount && text.GetAt(end - 1) == ch) {
        --end;
        ++removed;
    }
    return text.Left(end);
}

CString stripChars(const CString& text, char first, char last, int maxCount)
{
    return stripCharRight(stripChar(text, first, maxCount), last != '\0' ? last : first, maxCount);
}

CString stripEnclosing(const CString& text, char first, char last)
{
    return stripChars(text, first, last, 1);
}

CString withoutLineBreaks(const CString& text)
{
    CString out(text);
    out.Replace("\r", "");
    out.Replace("\n", "");
    return out;
}

CString replacedCopy(const CString& text, char chOld, char chNew)
{
    CString out(text);
    out.Replace(chOld, chNew);
    return out;
}

CString replacedCopy(const CString& text, const char* oldText, const char* newText)
{
    CString out(text);
    out.Replace(oldText, newText);
    return out;
}

static inline int foldAscii(unsigned char ch)
{
    return static_cast<unsigned char>(asciiLower(static_cast<char>(ch)));
}

int compareNoCase(const char* a, const char* b)
{
    if (a == nullptr)
        a = "";
    if (b == nullptr)
        b = "";
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    while (*pa != 0 && foldAscii(*pa) == foldAscii(*pb)) {
        ++pa;
        ++pb;
    }
    return foldAscii(*pa) - foldAscii(*pb);
}

int wideReplaceAll(wchar_t* text, const wchar_t* oldText, const wchar_t* newText)
{
    if (text == nullptr || oldText == nullptr || *oldText == L'\0')
        return 0;
    if (newText == nullptr)
        newText = L"";
    size_t textLength = std::wcslen(text);
    size_t oldLength = std::wcslen(oldText);
    size_t newLength = std::wcslen(newText);

    std::wstring result;
    result.reserve(textLength);
    for (size_t i = 0; i < textLength;) {
        if (std::wcsncmp(text + i, oldText, oldLength) == 0) {
            result.append(newText, newLength);
            i += oldLength;
        } else {
            result += text[i];
            ++i;
        }
    }
    if (result.size() > textLength)
        return -1;
    std::wmemcpy(text, result.c_str(), result.size() + 1);
    return 0;
}

// ---------------------------------------------------------------------------
// Unique ids

CString uniqueId()
{
    struct StartValues {
        uint32_t pid;
        uint64_t startMs;
    };
    static const StartValues start = [] {
        struct timeval tv {};
        gettimeofday(&tv, nullptr);
        return StartValues{static_cast<uint32_t>(getpid()),
                           static_cast<uint64_t>(tv.tv_sec) * 1000 + static_cast<uint64_t>(tv.tv_usec) / 1000};
    }();
    static std::atomic<uint64_t> counter{0};
    uint64_t value = counter.fetch_add(1) + 1;
    uint32_t startLow = static_cast<uint32_t>(start.startMs & 0xffffffffu);

    CString out = hexDump(&start.pid, 4, 0);
    out += "-";
    out += hexDump(&startLow, 4, 0);
    out += "-";
    out += hexDump(&value, 8, 0);
    return out;
}
