#pragma once
// The one bound on how deeply a document from outside (a server's reply, the
// connectivity profile, a companion's reply, a file in the user's folder) may
// nest before a reader sees it. The readers behind it recurse per level, so a
// reply nested some thousand levels deep would overflow the stack.

#include <cstddef>
#include <string>

// Far deeper than any reply, profile or preference file this program reads.
constexpr int kMaxInputDepth = 64;

// The depth is counted the way the reader that parses the text afterwards
// reads it, so no markup one of them passes over can hide a level.
enum class InputMarkup {
    Xml, // elements, as boost::property_tree::read_xml reads them
    XmlStream, // elements, as a QXmlStreamReader over the text read as UTF-8 reads them
    Json, // objects and arrays
};

// True when the text nests no deeper than kMaxInputDepth. A malformed text
// is counted as far as its reader gets into it; the XML readers stop at a
// zero byte.
bool withinInputDepth(const char* text, size_t size, InputMarkup markup);
inline bool withinInputDepth(const std::string& text, InputMarkup markup)
{
    return withinInputDepth(text.data(), text.size(), markup);
}

// What a reader reports for a text beyond the bound.
extern const char* const kInputTooDeepText;

// Throws std::runtime_error with kInputTooDeepText for a text beyond the bound.
void requireInputDepth(const std::string& text, InputMarkup markup);
