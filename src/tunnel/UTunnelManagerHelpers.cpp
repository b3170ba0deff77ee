#include "tunnel/UTunnelManagerHelpers.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include "foundation/Helpers.h"
#include "foundation/String.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"

namespace {

bool isWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool parseUnsigned16(const std::string& text, uint16_t& out)
{
    if (text.empty())
        return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 0xFFFF)
            return false;
    }
    out = static_cast<uint16_t>(value);
    return true;
}

} // namespace

std::string trimWhite(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isWhite(text[begin]))
        ++begin;
    while (end > begin && isWhite(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void parseKeyValueList(UPropertyList& target, const std::string& text, char pairSeparator, char valueSeparator)
{
    target.removeAll();
    const std::string whole = trimWhite(text);
    size_t start = 0;
    while (start <= whole.size() && !whole.empty()) {
        size_t cut = whole.find(pairSeparator, start);
        std::string piece = trimWhite(whole.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (!piece.empty()) {
            size_t eq = piece.find(valueSeparator);
            std::string name = trimWhite(piece.substr(0, eq));
            std::string value = eq == std::string::npos ? std::string() : trimWhite(piece.substr(eq + 1));
            // setValue keeps the first position of a name and takes the new value.
            target.setValue(name.c_str(), value.c_str());
        }
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
}

UHashTableItem* findProperty(const UPropertyList& list, const char* name)
{
    if (!name)
        return nullptr;
    return list.findProperty(name);
}

CString getPropertyValue(const UPropertyList& list, const char* name, const char* defaultValue)
{
    if (!name)
        return CString(defaultValue);
    return list.getPropertyValue(name, defaultValue);
}

int64_t scanLeadingInteger(const char* text, int64_t fallback)
{
    if (!text)
        return fallback;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* digits = p;
    if (*digits == '+' || *digits == '-')
        ++digits;
    if (!std::isdigit(static_cast<unsigned char>(*digits)))
        return fallback;
    errno = 0;
    long long value = std::strtoll(p, nullptr, 10);
    if (errno == ERANGE)
        return fallback;
    return value;
}

void checkReplyResult(const UPropertyList& list, const std::string& reply, const std::string& command)
{
    if (findProperty(list, "result")) {
        CString value = getPropertyValue(list, "result", "");
        if (scanLeadingInteger(value, -1) == 0)
            return;
    }
    throw std::runtime_error("unexpected result: " + reply + " for cmd:" + command);
}

bool parseRange(const std::string& text)
{
    size_t dash = text.rfind('-');
    if (dash == std::string::npos)
        return false;
    std::string left = trimWhite(text.substr(0, dash));
    std::string right = trimWhite(text.substr(dash + 1));
    uint16_t a = 0;
    uint16_t b = 0;
    return !left.empty() && !right.empty() && parseUnsigned16(left, a) && parseUnsigned16(right, b);
}

void readRange(const std::string& text, uint16_t& first, uint16_t& last)
{
    if (!parseRange(text))
        throw UException(-1, "UTunnelManagerHelpers", "readRange", 29, "EXCEPTION - %s",
                         "Provided string is not a range");
    size_t dash = text.rfind('-');
    parseUnsigned16(trimWhite(text.substr(0, dash)), first);
    parseUnsigned16(trimWhite(text.substr(dash + 1)), last);
}

uint16_t toPortStrict(const std::string& text)
{
    uint16_t value = 0;
    if (!parseUnsigned16(text, value))
        throw std::invalid_argument("cannot convert '" + text + "' to an unsigned 16-bit number");
    return value;
}

int64_t toInt64Strict(const std::string& text)
{
    size_t i = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        i = 1;
    if (i == text.size())
        throw std::invalid_argument("cannot convert '" + text + "' to a 64-bit number");
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9')
            throw std::invalid_argument("cannot convert '" + text + "' to a 64-bit number");
    errno = 0;
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        throw std::invalid_argument("cannot convert '" + text + "' to a 64-bit number");
    return value;
}

void replaceNoCase(std::string& text, const std::string& name, const std::string& value)
{
    if (name.empty())
        return;
    std::string result;
    size_t i = 0;
    while (i < text.size()) {
        bool match = i + name.size() <= text.size();
        for (size_t k = 0; match && k < name.size(); ++k)
            match = asciiLower(text[i + k]) == asciiLower(name[k]);
        if (match) {
            result += value;
            i += name.size();
        } else {
            result += text[i++];
        }
    }
    text.swap(result);
}
