#include "foundation/UArgFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <QByteArray>

namespace {

// Room kept behind a fresh format, so that the arguments of a typical record
// are filled in without another allocation.
const int kFormatSlack = 128;

// Formats and arguments are short: a plain loop beats memchr's set-up cost.
inline const char* findPercent(const char* p, int64_t from, int64_t length)
{
    for (int64_t i = from; i < length; ++i) {
        if (p[i] == '%')
            return p + i;
    }
    return nullptr;
}

// Finds the lowest placeholder digit and how often it occurs; -1 when none.
// "%%" is skipped as a pair; "%" and any non-digit is an ordinary character;
// a "%" at the very end ends the scan.
int lowestPlaceholder(const char* p, int length, int& occurrences)
{
    int lowest = -1;
    occurrences = 0;
    int i = 0;
    while (const char* q = findPercent(p, i, length)) {
        i = static_cast<int>(q - p);
        if (i + 1 >= length)
            break;
        const char next = p[i + 1];
        if (next == '%') {
            i += 2;
        } else if (next >= '0' && next <= '9') {
            const int digit = next - '0';
            if (lowest < 0 || digit < lowest) {
                lowest = digit;
                occurrences = 1;
            } else if (digit == lowest) {
                ++occurrences;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
    return lowest;
}

// Copies the argument with every "%" doubled.
void writeDoubled(char* out, const char* a, size_t n, size_t percents)
{
    if (n == 0)
        return;
    if (percents == 0) {
        std::memcpy(out, a, n);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        *out++ = a[i];
        if (a[i] == '%')
            *out++ = '%';
    }
}

size_t countPercents(const char* a, size_t n)
{
    if (n == 0)
        return 0;
    const char* first = static_cast<const char*>(std::memchr(a, '%', n));
    if (first == nullptr)
        return 0;
    size_t count = 0;
    for (size_t i = static_cast<size_t>(first - a); i < n; ++i)
        count += a[i] == '%' ? 1 : 0;
    return count;
}

template <typename T>
void addNumber(UArgFormat& f, T value)
{
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value);
    f.arg(buffer, static_cast<size_t>(r.ptr - buffer));
}

void addUpToNul(UArgFormat& f, const char* text, size_t size)
{
    f.arg(text, strnlen(text, size));
}

} // namespace

UArgFormat::UArgFormat(const char* format_) : appendUnmatched(false)
{
    const size_t n = format_ != nullptr ? std::strlen(format_) : 0;
    if (n > 0 && n < 0x7FFFFFFE - kFormatSlack) {
        char* p = format.GetBuffer(static_cast<int>(n) + kFormatSlack);
        std::memcpy(p, format_, n);
        format.ReleaseBuffer(static_cast<int>(n));
    }
    parsePlaceholders();
}

UArgFormat::UArgFormat(const CString& format_) : format(format_), appendUnmatched(false)
{
    parsePlaceholders();
}

UArgFormat::UArgFormat(const UArgFormat& other) : format(other.format), appendUnmatched(false)
{
    copyPlaceholders(other);
}

UArgFormat& UArgFormat::operator=(const UArgFormat& other)
{
    if (this == &other)
        return *this;
    if (std::strcmp(str(), other.str()) == 0)
        return *this;
    format = other.format;
    text.Empty();
    copyPlaceholders(other);
    return *this;
}

void UArgFormat::parsePlaceholders()
{
    placeholderCount = 0;
    placeholdersKnown = true;
    hasDoubledPercent = false;
    const char* p = format;
    const int length = format.GetLength();
    int64_t i = 0;
    while (const char* q = findPercent(p, i, length)) {
        i = q - p;
        if (i + 1 >= length)
            break;
        const char next = p[i + 1];
        if (next == '%') {
            hasDoubledPercent = true;
            i += 2;
        } else if (next >= '0' && next <= '9') {
            if (placeholderCount < kMaxPlaceholders)
                placeholders[placeholderCount] = Placeholder{static_cast<int32_t>(i), next - '0'};
            else
                placeholdersKnown = false;
            ++placeholderCount;
            i += 2;
        } else {
            i += 1;
        }
    }
}

void UArgFormat::copyPlaceholders(const UArgFormat& other)
{
    placeholderCount = other.placeholderCount;
    placeholdersKnown = other.placeholdersKnown;
    hasDoubledPercent = other.hasDoubledPercent;
    if (placeholdersKnown)
        std::memcpy(placeholders, other.placeholders, sizeof(Placeholder) * static_cast<size_t>(placeholderCount));
}

// Makes the format private with room for length characters; returns them.
char* UArgFormat::reserve(int length)
{
    CStringData* d = format.GetData();
    if (d->nRefs.load() > 1 || d->nAllocLength < length)
        format.GetBuffer(length + kFormatSlack);
    return format.m_pchData;
}

// Ends the format after an edit of its private block.
void UArgFormat::setFormatLength(int length)
{
    if (format.GetData() != afxDataNil) {
        format.GetData()->nDataLength = length;
        format.m_pchData[length] = '\0';
    }
    if (!text.IsEmpty())
        text.Empty();
}

UArgFormat& UArgFormat::arg(const char* a, size_t n)
{
    if (a == nullptr)
        n = 0;
    // An argument taken from this formatter's own text (str() may hand out
    // the format itself) must not move under our feet.
    const uintptr_t begin = reinterpret_cast<uintptr_t>(static_cast<const char*>(format));
    const uintptr_t at = reinterpret_cast<uintptr_t>(a);
    if (n > 0 && at >= begin && at <= begin + static_cast<uintptr_t>(format.GetData()->nAllocLength)) {
        const CString copy(a, static_cast<int>(n));
        return arg(static_cast<const char*>(copy), n);
    }
    const size_t percents = countPercents(a, n);
    if (!placeholdersKnown)
        return argByScanning(a, n, percents);

    const int64_t dn = static_cast<int64_t>(n + percents);
    const int length = format.GetLength();
    int lowest = 10;
    int occurrences = 0;
    for (int k = 0; k < placeholderCount; ++k) {
        if (placeholders[k].digit < lowest) {
            lowest = placeholders[k].digit;
            occurrences = 1;
        } else if (placeholders[k].digit == lowest) {
            ++occurrences;
        }
    }
    if (occurrences > 0) {
        const int64_t newLength = length + occurrences * (dn - 2);
        if (newLength > 0x7FFFFFFE - kFormatSlack)
            return *this;
        char* buf = reserve(static_cast<int>(std::max<int64_t>(newLength, length)));
        // Replace left to right, moving the placeholders behind each insertion.
        int64_t cur = length;
        int64_t shift = 0;
        int kept = 0;
        for (int k = 0; k < placeholderCount; ++k) {
            const int64_t pos = placeholders[k].position + shift;
            if (placeholders[k].digit == lowest) {
                std::memmove(buf + pos + dn, buf + pos + 2, static_cast<size_t>(cur - (pos + 2)));
                writeDoubled(buf + pos, a, n, percents);
                cur += dn - 2;
                shift += dn - 2;
            } else {
                placeholders[kept++] = Placeholder{static_cast<int32_t>(pos), placeholders[k].digit};
            }
        }
        placeholderCount = kept;
        setFormatLength(static_cast<int>(cur));
    } else if (appendUnmatched) {
        const int64_t newLength = length + 2 + dn;
        if (newLength > 0x7FFFFFFE - kFormatSlack)
            return *this;
        char* buf = reserve(static_cast<int>(newLength));
        buf[length] = ',';
        buf[length + 1] = ' ';
        writeDoubled(buf + length + 2, a, n, percents);
        setFormatLength(static_cast<int>(newLength));
    } else {
        return *this;
    }
    if (percents > 0)
        hasDoubledPercent = true;
    return *this;
}

// The general rule, for formats with more placeholders than the table holds:
// find the lowest placeholder by scanning, then rebuild.
UArgFormat& UArgFormat::argByScanning(const char* a, size_t n, size_t percents)
{
    const int64_t dn = static_cast<int64_t>(n + percents);
    const int length = format.GetLength();

    int occurrences = 0;
    const int digit = lowestPlaceholder(format, length, occurrences);
    if (digit >= 0) {
        const int64_t newLength = length + occurrences * (dn - 2);
        if (newLength > 0x7FFFFFFE - kFormatSlack)
            return *this;
        char* buf = reserve(static_cast<int>(std::max<int64_t>(newLength, length)));
        // Replace left to right; the inserted text itself is never scanned.
        int64_t cur = length;
        int64_t i = 0;
        int replaced = 0;
        while (i < cur && replaced < occurrences) {
            const char* q = findPercent(buf, i, cur);
            if (q == nullptr)
                break;
            i = q - buf;
            if (i + 1 >= cur)
                break;
            const char next = buf[i + 1];
            if (next == '%') {
                i += 2;
            } else if (next == '0' + digit) {
                std::memmove(buf + i + dn, buf + i + 2, static_cast<size_t>(cur - (i + 2)));
                writeDoubled(buf + i, a, n, percents);
                cur += dn - 2;
                i += dn;
                ++replaced;
            } else if (next >= '0' && next <= '9') {
                i += 2;
            } else {
                i += 1;
            }
        }
        setFormatLength(static_cast<int>(cur));
        parsePlaceholders();
    } else if (appendUnmatched) {
        const int64_t newLength = length + 2 + dn;
        if (newLength > 0x7FFFFFFE - kFormatSlack)
            return *this;
        char* buf = reserve(static_cast<int>(newLength));
        buf[length] = ',';
        buf[length + 1] = ' ';
        writeDoubled(buf + length + 2, a, n, percents);
        setFormatLength(static_cast<int>(newLength));
    }
    if (percents > 0)
        hasDoubledPercent = true;
    return *this;
}

UArgFormat& UArgFormat::arg(const CString& a)
{
    return arg(static_cast<const char*>(a), static_cast<size_t>(a.GetLength()));
}

UArgFormat& UArgFormat::arg(const char* a)
{
    return arg(a, a != nullptr ? std::strlen(a) : 0);
}

UArgFormat& UArgFormat::arg(int a)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof(buffer), "%d", a);
    return arg(buffer, static_cast<size_t>(n));
}

UArgFormat& UArgFormat::arg(unsigned long a)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof(buffer), "0x%lx", a);
    return arg(buffer, static_cast<size_t>(n));
}

UArgFormat& UArgFormat::arg(const QUrl& a)
{
    const QByteArray bytes = a.toString().toUtf8();
    return arg(bytes.constData(), static_cast<size_t>(bytes.size()));
}

const char* UArgFormat::str() const
{
    if (!text.IsEmpty())
        return text;
    const char* p = format;
    const int n = format.GetLength();
    // Without a "%%" the result is the format itself.
    if (!hasDoubledPercent)
        return p;
    CString result;
    char* out = result.GetBuffer(n);
    int k = 0;
    for (int i = 0; i < n; ++i) {
        out[k++] = p[i];
        if (p[i] == '%' && i + 1 < n && p[i + 1] == '%')
            ++i;
    }
    result.ReleaseBuffer(k);
    text = result;
    return text;
}

CString describeErrno(int error)
{
    char buffer[256];
    const char* description = strerror_r(error, buffer, sizeof(buffer));
    char code[32];
    std::snprintf(code, sizeof(code), "0x%lx", static_cast<unsigned long>(error));
    return CString(makeArgFormat("%1, %2", code, description).str());
}

// ---------------------------------------------------------------------------
// Builder arguments

namespace uargformat_detail {

void add(UArgFormat& f, int value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, short value)
{
    addNumber(f, static_cast<int>(value));
}
void add(UArgFormat& f, unsigned short value)
{
    addNumber(f, static_cast<unsigned int>(value));
}
void add(UArgFormat& f, unsigned int value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, long value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, unsigned long value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, long long value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, unsigned long long value)
{
    addNumber(f, value);
}
void add(UArgFormat& f, unsigned char value)
{
    addNumber(f, static_cast<unsigned int>(value));
}
void add(UArgFormat& f, char value)
{
    f.arg(&value, value != '\0' ? 1 : 0);
}
void add(UArgFormat& f, bool value)
{
    f.arg(value ? "true" : "false");
}
void add(UArgFormat& f, const char* value)
{
    f.arg(value);
}
void add(UArgFormat& f, const CString& value)
{
    f.arg(static_cast<const char*>(value));
}
void add(UArgFormat& f, const std::string& value)
{
    f.arg(value.c_str());
}

void add(UArgFormat& f, const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    addUpToNul(f, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void add(UArgFormat& f, const QUrl& value)
{
    const QByteArray bytes = value.toString().toUtf8();
    addUpToNul(f, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void add(UArgFormat& f, const UArgFormat& value)
{
    // Copy first: the text may live in a block that f is about to change.
    const CString text(value.str());
    f.arg(static_cast<const char*>(text));
}

} // namespace uargformat_detail

// ---------------------------------------------------------------------------
// Argument texts as CString (for callers that want the builder's text)

namespace {

template <typename T>
CString numberText(T value)
{
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return CString(buffer, static_cast<int>(r.ptr - buffer));
}

CString bytesUpToNul(const QByteArray& bytes)
{
    return CString(bytes.constData(), static_cast<size_t>(bytes.size() + 1));
}

} // namespace

CString argFormatText(int value)
{
    return numberText(value);
}
CString argFormatText(short value)
{
    return numberText(static_cast<int>(value));
}
CString argFormatText(unsigned short value)
{
    return numberText(static_cast<unsigned int>(value));
}
CString argFormatText(unsigned int value)
{
    return numberText(value);
}
CString argFormatText(long value)
{
    return numberText(value);
}
CString argFormatText(unsigned long value)
{
    return numberText(value);
}
CString argFormatText(long long value)
{
    return numberText(value);
}
CString argFormatText(unsigned long long value)
{
    return numberText(value);
}
CString argFormatText(unsigned char value)
{
    return numberText(static_cast<unsigned int>(value));
}
CString argFormatText(char value)
{
    return CString(&value, static_cast<size_t>(1));
}
CString argFormatText(bool value)
{
    return CString(value ? "true" : "false");
}
CString argFormatText(const char* value)
{
    return CString(value);
}
CString argFormatText(const CString& value)
{
    return CString(static_cast<const char*>(value));
}
CString argFormatText(const std::string& value)
{
    return CString(value.c_str());
}
CString argFormatText(const QString& value)
{
    return bytesUpToNul(value.toUtf8());
}
CString argFormatText(const QUrl& value)
{
    return bytesUpToNul(value.toString().toUtf8());
}
CString argFormatText(const UArgFormat& value)
{
    return CString(value.str());
}
