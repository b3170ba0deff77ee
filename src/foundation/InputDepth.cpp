#include "foundation/InputDepth.h"

#include <cstring>
#include <stdexcept>

const char* const kInputTooDeepText = "document nested deeper than 64 levels";

namespace {

// The index after the first occurrence of end at or after i; size when none.
size_t skipPast(const char* t, size_t size, size_t i, const char* end)
{
    const size_t n = std::strlen(end);
    for (; i + n <= size; ++i) {
        if (std::memcmp(t + i, end, n) == 0)
            return i + n;
    }
    return size;
}

bool startsWith(const char* t, size_t size, size_t i, const char* text)
{
    const size_t n = std::strlen(text);
    return i + n <= size && std::memcmp(t + i, text, n) == 0;
}

// Only what every reader ends the same way is skipped (comments, CDATA and
// processing instructions end at their first closing text), so no reader can
// take for elements what this count passed over. A declaration (<!DOCTYPE)
// is not skipped: its content is scanned like the rest.
bool xmlWithin(const char* t, size_t size)
{
    int depth = 0;
    size_t i = 0;
    while (i < size) {
        if (t[i] != '<') {
            ++i;
            continue;
        }
        if (startsWith(t, size, i, "<!--")) {
            i = skipPast(t, size, i + 4, "-->");
        } else if (startsWith(t, size, i, "<![CDATA[")) {
            i = skipPast(t, size, i + 9, "]]>");
        } else if (startsWith(t, size, i, "<?")) {
            i = skipPast(t, size, i + 2, "?>");
        } else if (startsWith(t, size, i, "<!")) {
            i += 2;
        } else if (startsWith(t, size, i, "</")) {
            if (depth > 0)
                --depth;
            i = skipPast(t, size, i + 2, ">");
        } else {
            // A start tag: to its '>' outside quoted attribute values.
            if (++depth > kMaxInputDepth)
                return false;
            char quote = 0;
            for (++i; i < size; ++i) {
                const char c = t[i];
                if (quote != 0) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    if (t[i - 1] == '/')
                        --depth;
                    ++i;
                    break;
                }
            }
        }
    }
    return true;
}

bool jsonWithin(const char* t, size_t size)
{
    int depth = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = t[i];
        if (c == '"') {
            for (++i; i < size && t[i] != '"'; ++i) {
                if (t[i] == '\\')
                    ++i;
            }
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxInputDepth)
                return false;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return true;
}

} // namespace

bool withinInputDepth(const char* text, size_t size, InputMarkup markup)
{
    if (text == nullptr)
        return true;
    return markup == InputMarkup::Xml ? xmlWithin(text, size) : jsonWithin(text, size);
}

void requireInputDepth(const std::string& text, InputMarkup markup)
{
    if (!withinInputDepth(text, markup))
        throw std::runtime_error(kInputTooDeepText);
}
