#include "session/LaunchText.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace launch_text {

namespace {

bool isSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

CString trimmed(const char* begin, const char* end)
{
    while (begin < end && isSpace(static_cast<unsigned char>(*begin)))
        ++begin;
    while (end > begin && isSpace(static_cast<unsigned char>(end[-1])))
        --end;
    return end > begin ? CString(begin, static_cast<int>(end - begin)) : CString();
}

bool isControl(const unsigned char* p, const unsigned char* end, int& width)
{
    width = 1;
    if (*p < 0x20 || *p == 0x7F)
        return true;
    if (*p == 0xC2 && p + 1 < end && p[1] >= 0x80 && p[1] <= 0x9F) {
        width = 2;
        return true;
    }
    return false;
}

} // namespace

std::vector<CString> splitPieces(const CString& text, char separator)
{
    std::vector<CString> pieces;
    const char* p = text;
    const char* const end = p + text.GetLength();
    while (p < end) {
        const void* hit = std::memchr(p, separator, static_cast<std::size_t>(end - p));
        const char* stop = hit ? static_cast<const char*>(hit) : end;
        CString piece = trimmed(p, stop);
        if (!piece.IsEmpty())
            pieces.push_back(piece);
        p = hit ? stop + 1 : end;
    }
    return pieces;
}

bool splitAtLast(const CString& text, char separator, CString& after)
{
    const char* begin = text;
    const char* end = begin + text.GetLength();
    for (const char* p = end; p > begin; --p) {
        if (p[-1] == separator) {
            after = trimmed(p, end);
            return true;
        }
    }
    return false;
}

void cutPair(const CString& pair, CString& key, CString& value)
{
    const char* begin = pair;
    const char* end = begin + pair.GetLength();
    const void* hit = std::memchr(begin, '=', static_cast<std::size_t>(end - begin));
    if (!hit) {
        key = trimmed(begin, end);
        value = CString();
        return;
    }
    const char* eq = static_cast<const char*>(hit);
    key = trimmed(begin, eq);
    value = trimmed(eq + 1, end);
}

bool hasControlCharacter(const CString& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(static_cast<const char*>(text));
    const unsigned char* end = p + text.GetLength();
    int width = 1;
    for (; p < end; p += width) {
        if (isControl(p, end, width))
            return true;
    }
    return false;
}

CString printable(const CString& text)
{
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(static_cast<const char*>(text));
    const unsigned char* end = p + text.GetLength();
    int width = 1;
    for (; p < end; p += width) {
        if (isControl(p, end, width)) {
            for (int i = 0; i < width; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", p[i]);
                out += hex;
            }
        } else {
            out += static_cast<char>(*p);
        }
    }
    return CString(out.c_str());
}

} // namespace launch_text
