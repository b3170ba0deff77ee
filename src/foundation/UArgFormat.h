#pragma once
// UArgFormat: the "%1" message formatter. Each argument fills the
// lowest-numbered placeholder "%0".."%9" still present; a "%" inside an
// argument is doubled so that it never becomes a placeholder.

#include "foundation/String.h"

#include <cstdint>
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
    // The first length bytes of text as one argument.
    UArgFormat& arg(const char* text, size_t length);

    // The finished text; valid until the formatter changes or goes away.
    const char* str() const;

    // When set, an argument with no placeholder left is appended after ", ".
    void setAppendUnmatched(bool on) { appendUnmatched = on; }

private:
    char* reserve(int length);
    void setFormatLength(int length);
    void parsePlaceholders();
    void copyPlaceholders(const UArgFormat& other);
    UArgFormat& argByScanning(const char* a, size_t n, size_t percents);

    CString format;
    mutable CString text;
    bool appendUnmatched;

    // Where the placeholders still open lie in format, so that an argument
    // need not rescan the text. Inserted arguments have every "%" doubled,
    // so they never add a placeholder; formats with more placeholders than
    // fit fall back to scanning.
    struct Placeholder {
        int32_t position;
        int32_t digit;
    };
    static const int kMaxPlaceholders = 16;
    Placeholder placeholders[kMaxPlaceholders];
    int placeholderCount;
    bool placeholdersKnown;
    bool hasDoubledPercent; // format may hold "%%"
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

namespace uargformat_detail {
// Gives one builder argument to the formatter as its text.
void add(UArgFormat& f, int value);
void add(UArgFormat& f, short value);
void add(UArgFormat& f, unsigned short value);
void add(UArgFormat& f, unsigned int value);
void add(UArgFormat& f, long value);
void add(UArgFormat& f, unsigned long value);
void add(UArgFormat& f, long long value);
void add(UArgFormat& f, unsigned long long value);
void add(UArgFormat& f, unsigned char value);
void add(UArgFormat& f, char value);
void add(UArgFormat& f, bool value);
void add(UArgFormat& f, const char* value);
void add(UArgFormat& f, const CString& value);
void add(UArgFormat& f, const std::string& value);
void add(UArgFormat& f, const QString& value);
void add(UArgFormat& f, const QUrl& value);
void add(UArgFormat& f, const UArgFormat& value);
} // namespace uargformat_detail

// A builder: the formatter on the format with appending of unmatched
// arguments switched on, given every argument from left to right. What it
// returns carries the filled-in format only (appending is off again); call
// str() on it.
template <typename... Args>
UArgFormat makeArgFormat(const char* format, const Args&... args)
{
    UArgFormat f(format);
    f.setAppendUnmatched(true);
    (uargformat_detail::add(f, args), ...);
    f.setAppendUnmatched(false);
    return f;
}

// The layout of every program message: level, source file, line, function, text.
#define ULOG_RECORD_FORMAT "%1, %2, %3, %4, %5\n"

template <typename Message>
UArgFormat makeLogRecord(int level, const char* file, int line, const char* function, const Message& message)
{
    return makeArgFormat(ULOG_RECORD_FORMAT, level, file, line, function, message);
}
