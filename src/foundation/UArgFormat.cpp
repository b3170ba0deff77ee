#include "foundation/UArgFormat.h"

#include <cstring>

#include <QByteArray>

namespace {

// Finds the lowest placeholder digit of the format; -1 when there is none.
int lowestPlaceholder(const CString& format)
{
    const char* p = format;
    const int n = format.GetLength();
    int lowest = -1;
    for (int i = 0; i < n; ++i) {
        if (p[i] != '%')
            continue;
        if (i + 1 >= n)
            break;
        const char next = p[i + 1];
        if (next == '%') {
            ++i;
        } else if (next >= '0' && next <= '9') {
            const int digit = next - '0';
            if (lowest < 0 || digit < lowest)
                lowest = digit;
            ++i;
        }
    }
    return lowest;
}

CString bytesUpToNul(const QByteArray& bytes)
{
    return CString(bytes.constData(), static_cast<size_t>(bytes.size() + 1));
}

} // namespace

UArgFormat::UArgFormat(const char* format_)
    : format(format_), appendUnmatched(false)
{
}

UArgFormat::UArgFormat(const CString& format_)
    : format(format_), appendUnmatched(false)
{
}

UArgFormat::UArgFormat(const UArgFormat& other)
    : format(other.format), appendUnmatched(false)
{
}

UArgFormat& UArgFormat::operator=(const UArgFormat& other)
{
    if (this == &other)
        return *this;
    if (std::strcmp(str(), other.str()) == 0)
        return *this;
    format = other.format;
    text.Empty();
    return *this;
}

UArgFormat& UArgFormat::arg(const CString& a)
{
    CString doubled(a);
    doubled.Replace("%", "%%");

    const int digit = lowestPlaceholder(format);
    if (digit >= 0) {
        const char* p = format;
        const int n = format.GetLength();
        CString rebuilt;
        int runStart = 0;
        for (int i = 0; i < n; ++i) {
            if (p[i] != '%')
                continue;
            if (i + 1 >= n)
                break;
            const char next = p[i + 1];
            if (next == '%') {
                ++i;
            } else if (next == '0' + digit) {
                rebuilt += CString(p + runStart, i - runStart);
                rebuilt += doubled;
                runStart = i + 2;
                ++i;
            } else if (next >= '0' && next <= '9') {
                ++i;
            }
        }
        rebuilt += CString(p + runStart, n - runStart);
        format = rebuilt;
        text.Empty();
    } else if (appendUnmatched) {
        format += ", ";
        format += doubled;
        text.Empty();
    }
    return *this;
}

UArgFormat& UArgFormat::arg(const char* a)
{
    return arg(CString(a));
}

UArgFormat& UArgFormat::arg(int a)
{
    CString s;
    s.Format("%d", a);
    return arg(s);
}

UArgFormat& UArgFormat::arg(unsigned long a)
{
    CString s;
    s.Format("0x%lx", a);
    return arg(s);
}

UArgFormat& UArgFormat::arg(const QUrl& a)
{
    const QByteArray bytes = a.toString().toUtf8();
    return arg(CString(bytes.constData(), static_cast<int>(bytes.size())));
}

const char* UArgFormat::str() const
{
    if (text.IsEmpty()) {
        const char* p = format;
        const int n = format.GetLength();
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
    }
    return text;
}

CString describeErrno(int error)
{
    char buffer[256];
    const char* description = strerror_r(error, buffer, sizeof(buffer));
    CString code;
    code.Format("0x%lx", static_cast<unsigned long>(error));
    return CString(makeArgFormat("%1, %2", code, description).str());
}

CString argFormatText(int value)
{
    CString s;
    s.Format("%d", value);
    return s;
}

CString argFormatText(short value)
{
    return argFormatText(static_cast<int>(value));
}

CString argFormatText(unsigned short value)
{
    CString s;
    s.Format("%u", static_cast<unsigned int>(value));
    return s;
}

CString argFormatText(unsigned int value)
{
    CString s;
    s.Format("%u", value);
    return s;
}

CString argFormatText(long value)
{
    CString s;
    s.Format("%ld", value);
    return s;
}

CString argFormatText(unsigned long value)
{
    CString s;
    s.Format("%lu", value);
    return s;
}

CString argFormatText(long long value)
{
    CString s;
    s.Format("%lld", value);
    return s;
}

CString argFormatText(unsigned long long value)
{
    CString s;
    s.Format("%llu", value);
    return s;
}

CString argFormatText(unsigned char value)
{
    return argFormatText(static_cast<unsigned int>(value));
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
    // The characters up to the first NUL.
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
