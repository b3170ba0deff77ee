#pragma once

#include <vector>

#include "foundation/String.h"

// Byte-exact text cutting for the launch URL. Unlike the NUL-terminated
// helpers, these work on the whole length of a CString, so a decoded NUL
// cannot end a piece early and hide what follows it.
namespace launch_text {

// The non-empty pieces between separators, each trimmed of white space.
std::vector<CString> splitPieces(const CString& text, char separator);

// The trimmed part after the last separator; false when there is none.
bool splitAtLast(const CString& text, char separator, CString& after);

// Key and value around the first "=", both trimmed; without "=" the whole
// pair is the key and the value is empty.
void cutPair(const CString& pair, CString& key, CString& value);

// True for NUL and every other C0 control, DEL, and the C1 controls in
// their UTF-8 form.
bool hasControlCharacter(const CString& text);

// The text with each control character written as "%XX", for error details.
CString printable(const CString& text);

} // namespace launch_text
