#pragma once
// Small conversions between the toolkit's texts and the library's.

#include <QString>

#include "foundation/String.h"

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
