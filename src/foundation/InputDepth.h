#pragma once
// The one bound on how deeply a document from outside (a server's reply, the
// connectivity profile, a companion's reply, a file in the user's folder) may
// nest before a reader sees it. The readers behind it recurse per level, so a
// reply nested some thousand levels deep would overflow the stack.

#include <cstddef>
#include <string>

// Far deeper than any reply, profile or preference file this program reads.
constexpr int kMaxInputDepth = 64;

enum class InputMarkup {
    Xml, // elements
    Json, // objects and arrays
};

// True when the text nests no deeper than kMaxInputDepth. Comments, CDATA
// sections, processing instructions and quoted values (attribute values,
// JSON strings) do not count; a malformed text is counted as far as a reader
// would get into it.
bool withinInputDepth(const char* text, size_t size, InputMarkup markup);
inline bool withinInputDepth(const std::string& text, InputMarkup markup)
{
    return withinInputDepth(text.data(), text.size(), markup);
}

// What a reader reports for a text beyond the bound.
extern const char* const kInputTooDeepText;

// Throws std::runtime_error with kInputTooDeepText for a text beyond the bound.
void requireInputDepth(const std::string& text, InputMarkup markup);
