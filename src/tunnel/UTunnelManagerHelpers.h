#pragma once

#include <cstdint>
#include <string>

class CString;
class UHashTableItem;
class UPropertyList;

// Reply texts of the tunnel server: "name=value" pairs joined by "&".
// Names compare without regard to ASCII letter case; a repeated name keeps
// its first position and takes the last value.
void parseKeyValueList(UPropertyList& target, const std::string& text, char pairSeparator, char valueSeparator);

// First item whose name equals `name` ignoring ASCII case; null for a null name.
UHashTableItem* findProperty(const UPropertyList& list, const char* name);

// Value of the item findProperty finds, else the default.
CString getPropertyValue(const UPropertyList& list, const char* name, const char* defaultValue);

// The checked-reply rule: "result" must be present and read as the number 0.
// Otherwise throws std::runtime_error "unexpected result: <reply> for cmd:<command>".
void checkReplyResult(const UPropertyList& list, const std::string& reply, const std::string& command);

// Leading decimal integer of a text as sscanf("%d") reads it, in 64 bits so
// that no value overflows; `fallback` when the text does not start with one.
int64_t scanLeadingInteger(const char* text, int64_t fallback);

// A port range "a-b": split at the last "-", both ends non-empty after
// trimming and convertible to unsigned 16-bit numbers.
bool parseRange(const std::string& text);

// The two ends of a range that parseRange accepted; any other text throws
// UException "Provided string is not a range".
void readRange(const std::string& text, uint16_t& first, uint16_t& last);

// Strict conversions used on reply values: optional sign (signed only), then
// decimal digits, nothing else, within range; otherwise std::invalid_argument.
uint16_t toPortStrict(const std::string& text);
int64_t toInt64Strict(const std::string& text);

// Replaces every occurrence of `name` in `text`, comparing ASCII letters
// without regard to case.
void replaceNoCase(std::string& text, const std::string& name, const std::string& value);

// Trims space, tab, line feed, carriage return, vertical tab and form feed.
std::string trimWhite(const std::string& text);
