#pragma once
// Text edits of browser preference files that remove what a browser stored
// about one URL scheme. Everything outside the removed entry stays byte for
// byte as it was.

#include <string>

namespace tessal {
namespace qt {

// Removes the member named scheme from the object that is the value of the
// first member named key (at any depth), with its whole value and one
// separating comma. True when the text changed. When the result would not
// be valid JSON the text is left as it was and std::runtime_error is thrown.
bool eraseJsonSchemeEntry(std::string& text, const std::string& scheme, const std::string& key);

// The same for every member of that object whose value is an object (an
// origin with its schemes); a member that the removal leaves empty goes too.
bool eraseJsonSchemeFromEveryEntry(std::string& text, const std::string& scheme, const std::string& key);

// Removes, at most once each, the scheme's description element (with its
// content), its handler description and its list item, each with up to two
// characters of indentation before it and one blank after it. True when the
// text changed.
bool removeSchemeFromMimeTypesRdf(std::string& text, const std::string& scheme);

} // namespace qt
} // namespace tessal
