#pragma once
// Small conversions between the toolkit's texts and the library's.

#include <QString>

#include "foundation/String.h"

namespace tessal {
namespace qt {

// The text as UTF-8, up to its first zero character.
CString toCStringUtf8(const QString& text);

} // namespace qt
} // namespace tessal
