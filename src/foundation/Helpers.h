#pragma once
// Small conversions between the toolkit's texts and the library's.

#include <QString>

#include <string>

#include "foundation/String.h"

// Letter case in protocol texts (parameter and header names, schemes, host
// names, flag words) folds the ASCII letters only, whatever the locale: under
// tr_TR the C library's tolower leaves "I" as it is, and Unicode folding
// would take U+017F (long s) for an "s". Every such comparison goes through
// these.
inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string asciiLowered(std::string text);
std::string asciiLowered(const char* text); // null reads as ""
// True when part (given in lower case) occurs in text, ignoring ASCII case.
bool containsNoCase(const char* text, const char* part);
QString asciiLowered(const QString& text);
// Same length and the same texts once ASCII letters are folded; any byte
// (a NUL too) or character outside them must be the same.
bool equalsNoCase(const QString& a, const QString& b);
bool equalsNoCase(const std::string& a, const std::string& b);

// The form in which session ids, tokens and one-time codes may appear in log
// records and error details: the last 8 characters (the whole text when shorter).
CString shortSecret(const CString& secret);

namespace tessal {
namespace qt {

// The text as UTF-8, up to its first zero character.
CString toCStringUtf8(const QString& text);

// shortSecret for the toolkit's texts, counted in its characters.
using ::shortSecret;
QString shortSecret(const QString& secret);

} // namespace qt
} // namespace tessal
