#pragma once
// UArgFormat: the "%1" message formatter. Each argument fills the
// lowest-numbered placeholder "%0".."%9" still present; a "%" inside an
// argument is doubled so that it never becomes a placeholder.

#include "foundation/String.h"

#include <string>

#include <QString>
#include <QUrl>

class UArgFormat
{
public:
    UArgFormat(const char* format);
    UArgFormat(const CString& format);
    // Copies the format only: the result cache is empty and appending is off.
    UArgFormat(const UArgFormat& other);
    UArgFormat& operator=(const UArgFormat& other);

    UArgFormat& arg(const CString& a);
    UArgFormat& arg(const char* a);
    UArgFormat& arg(int a);
    UArgFormat& arg(unsigned long a); // "0x%lx"
    UArgFormat& arg(const QUrl& a);

    // The finished text; valid until the formatter changes or goes away.
    const char* str() const;

    // When set, an argument with no placeholder left is appended after ", ".
    void setAppendUnmatched(bool on) { appendUnmatched = on; }
    bool isAppendUnmatched() const { return appendUnmatched; }

private:
    CString format;
    mutable CString text;
    bool appendUnmatched;
};

// "0x<errno>, <system text>" for socket and system-call messages.
CString describeErrno(int error);

// Argument texts of the makeArgFormat builders.
CString argFormatText(int value);
CString argFormatText(short value);
CString argFormatText(unsigned short value);
CString argFormatText(unsigned int value);
CString argFormatText(long value);
CString argFormatText(unsigned long value);
CString argFormatText(long long value);
CString argFormatText(unsigned long long value);
CString argFormatText(unsigned char value);
CString argFormatText(char value);
CString argFormatText(bool value);
CString argFormatText(const char* value);
CString argFormatText(const CString& value);
CString argFormatText(const std::string& value);
CString argFormatText(const QString& value);
CString argFormatText(const QUrl& value);
CString argFormatText(const UArgFormat& value);

// A builder: the formatter on the format with appending of unmatched
// arguments switched on, given every argument from left to right. The copy
// returned carries the filled-in format; call str() on it.
template <typename... Args>
UArgFormat makeArgFormat(const char* format, const Args&... args)
{
    UArgFormat f(format);
    f.setAppendUnmatched(true);
    (f.arg(argFormatText(args)), ...);
    return UArgFormat(f);
}

// The layout of every program message: level, source file, line, function, text.
#define ULOG_RECORD_FORMAT "%1, %2, %3, %4, %5\n"

template <typename Message>
UArgFormat makeLogRecord(int level, const char* file, int line, const char* function, const Message& message)
{
    return makeArgFormat(ULOG_RECORD_FORMAT, level, file, line, function, message);
}
