#include "shell/PreferenceTextEdits.h"

#include <cctype>
#include <stdexcept>
#include <vector>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace tessal {
namespace qt {

namespace {

constexpr size_t npos = std::string::npos;

// --- JSON: just enough structure to find members and their extent --------

bool isJsonBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t skipBlanks(const std::string& t, size_t i)
{
    while (i < t.size() && isJsonBlank(t[i]))
        ++i;
    return i;
}

// i at an opening quote: the index after the closing one, npos when the text ends first.
size_t skipString(const std::string& t, size_t i)
{
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\')
            ++i;
        else if (t[i] == '"')
            return i + 1;
    }
    return npos;
}

// i at the start of a value: the index after it, npos when it is malformed.
// Nesting is followed with an explicit stack, so deep input cannot exhaust
// the call stack.
size_t skipValue(const std::string& t, size_t i)
{
    if (i >= t.size())
        return npos;
    const char first = t[i];
    if (first == '"')
        return skipString(t, i);
    if (first == '{' || first == '[') {
        std::string closers;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '"') {
                i = skipString(t, i);
                if (i == npos)
                    return npos;
                continue;
            }
            if (c == '{' || c == '[') {
                closers.push_back(c == '{' ? '}' : ']');
            } else if (c == '}' || c == ']') {
                if (closers.empty() || closers.back() != c)
                    return npos;
                closers.pop_back();
                if (closers.empty())
                    return i + 1;
            }
            ++i;
        }
        return npos;
    }
    size_t j = i;
    while (j < t.size() && !isJsonBlank(t[j]) && t[j] != ',' && t[j] != '}' && t[j] != ']' && t[j] != ':' &&
           t[j] != '{' && t[j] != '[' && t[j] != '"')
        ++j;
    return j == i ? npos : j;
}

bool stringIs(const std::string& t, size_t quote, size_t end, const std::string& name)
{
    return end - quote - 2 == name.size() && t.compare(quote + 1, name.size(), name) == 0;
}

// The index of the value of the first member named key, npos when none.
size_t findMemberValue(const std::string& t, const std::string& key)
{
    size_t i = 0;
    while (i < t.size()) {
        if (t[i] != '"') {
            ++i;
            continue;
        }
        const size_t end = skipString(t, i);
        if (end == npos)
            return npos;
        if (stringIs(t, i, end, key)) {
            const size_t colon = skipBlanks(t, end);
            if (colon < t.size() && t[colon] == ':')
                return skipBlanks(t, colon + 1);
        }
        i = end;
    }
    return npos;
}

struct Member {
    size_t keyStart;
    size_t valueStart;
    size_t comma; // the comma after the member, npos for the last one
};

// The members of the object opening at open, and its closing brace. False
// when the object is not well formed (nothing is then to be edited in it).
bool parseMembers(const std::string& t, size_t open, std::vector<Member>& members, size_t& close)
{
    members.clear();
    close = npos;
    size_t i = skipBlanks(t, open + 1);
    if (i < t.size() && t[i] == '}') {
        close = i;
        return true;
    }
    while (close == npos) {
        if (i >= t.size() || t[i] != '"')
            return false;
        const size_t keyEnd = skipString(t, i);
        if (keyEnd == npos)
            return false;
        const size_t colon = skipBlanks(t, keyEnd);
        if (colon >= t.size() || t[colon] != ':')
            return false;
        const size_t valueStart = skipBlanks(t, colon + 1);
        const size_t valueEnd = skipValue(t, valueStart);
        if (valueEnd == npos)
            return false;
        Member member{i, valueStart, npos};
        const size_t next = skipBlanks(t, valueEnd);
        if (next >= t.size())
            return false;
        if (t[next] == ',') {
            member.comma = next;
            i = skipBlanks(t, next + 1);
        } else if (t[next] == '}') {
            close = next;
        } else {
            return false;
        }
        members.push_back(member);
    }
    return true;
}

bool isNamed(const std::string& t, const Member& member, const std::string& name)
{
    return stringIs(t, member.keyStart, skipString(t, member.keyStart), name);
}

// Removes member m with one separating comma.
void eraseMember(std::string& t, const std::vector<Member>& members, size_t m, size_t close)
{
    if (members[m].comma != npos)
        t.erase(members[m].keyStart, members[m].comma + 1 - members[m].keyStart);
    else if (m > 0)
        t.erase(members[m - 1].comma, close - members[m - 1].comma);
    else
        t.erase(members[m].keyStart, close - members[m].keyStart);
}

// Removes the first member named scheme from the object opening at open.
bool eraseOneMember(std::string& t, size_t open, const std::string& scheme)
{
    std::vector<Member> members;
    size_t close = npos;
    if (!parseMembers(t, open, members, close))
        return false;
    for (size_t m = 0; m < members.size(); ++m) {
        if (isNamed(t, members[m], scheme)) {
            eraseMember(t, members, m, close);
            return true;
        }
    }
    return false;
}

// In the object opening at open, removes scheme from every member whose
// value is an object, and each such member that is left empty by it.
bool eraseFromEveryMember(std::string& t, size_t open, const std::string& scheme)
{
    std::vector<Member> members;
    size_t close = npos;
    if (!parseMembers(t, open, members, close))
        return false;
    bool changed = false;
    // From the last member back: an edit moves nothing before it.
    for (size_t m = members.size(); m-- > 0;) {
        const size_t inner = members[m].valueStart;
        if (t[inner] != '{')
            continue;
        bool erased = false;
        while (eraseOneMember(t, inner, scheme))
            erased = true;
        if (!erased)
            continue;
        changed = true;
        const size_t innerEnd = skipBlanks(t, inner + 1);
        if (innerEnd < t.size() && t[innerEnd] == '}' && parseMembers(t, open, members, close))
            eraseMember(t, members, m, close);
        if (!parseMembers(t, open, members, close))
            break;
    }
    return changed;
}

// Keeps an edit only when the text is still valid JSON.
bool keepWhenValid(std::string& text, const std::string& original, const std::string& what, const std::string& key)
{
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error == QJsonParseError::NoError)
        return true;
    text = original;
    throw std::runtime_error("removing \"" + what + "\" from \"" + key + "\" leaves no valid JSON (" +
                             error.errorString().toStdString() + " at offset " + std::to_string(error.offset) +
                             "), text left unchanged");
}

// --- RDF/XML: one element from its start tag to its own end -------------

// i just after the element name: the index after the tag's ">", npos when
// the text ends first; quoted attribute values may hold ">".
size_t tagEnd(const std::string& t, size_t i, bool& selfClosing)
{
    char quote = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            selfClosing = t[i - 1] == '/';
            return i + 1;
        }
    }
    return npos;
}

bool isNameEnd(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) || c == '>' || c == '/';
}

// from just after the start tag of a non-empty element named name: the
// index after its own end tag, counting nested elements of the same name.
size_t elementEnd(const std::string& t, size_t from, const std::string& name)
{
    const std::string open = "<" + name;
    const std::string close = "</" + name;
    int depth = 1;
    size_t i = from;
    while (true) {
        const size_t lt = t.find('<', i);
        if (lt == npos)
            return npos;
        if (t.compare(lt, close.size(), close) == 0 && lt + close.size() < t.size() &&
            isNameEnd(t[lt + close.size()])) {
            const size_t gt = t.find('>', lt);
            if (gt == npos)
                return npos;
            if (--depth == 0)
                return gt + 1;
            i = gt + 1;
        } else if (t.compare(lt, open.size(), open) == 0 && lt + open.size() < t.size() &&
                   isNameEnd(t[lt + open.size()])) {
            bool selfClosing = false;
            const size_t end = tagEnd(t, lt + open.size(), selfClosing);
            if (end == npos)
                return npos;
            if (!selfClosing)
                ++depth;
            i = end;
        } else {
            i = lt + 1;
        }
    }
}

bool isBlankAt(const std::string& t, size_t i)
{
    return std::isspace(static_cast<unsigned char>(t[i])) != 0;
}

bool removeElement(std::string& t, const std::string& name, const std::string& startText)
{
    size_t start = t.find(startText);
    if (start == npos)
        return false;
    bool selfClosing = false;
    size_t end = tagEnd(t, start + startText.size(), selfClosing);
    if (end == npos)
        return false;
    if (!selfClosing) {
        end = elementEnd(t, end, name);
        if (end == npos)
            return false;
    }
    if (end < t.size() && isBlankAt(t, end))
        ++end;
    for (int k = 0; k < 2 && start >= 2 && isBlankAt(t, start - 1); ++k)
        --start;
    t.erase(start, end - start);
    return true;
}

} // namespace

bool eraseJsonSchemeEntry(std::string& text, const std::string& scheme, const std::string& key)
{
    const std::string original = text;
    bool changed = false;
    // A key written twice would still be read by the browser: remove every one.
    while (true) {
        const size_t open = findMemberValue(text, key);
        if (open == npos || open >= text.size() || text[open] != '{' || !eraseOneMember(text, open, scheme))
            break;
        changed = true;
    }
    return changed && keepWhenValid(text, original, scheme, key);
}

bool eraseJsonSchemeFromEveryEntry(std::string& text, const std::string& scheme, const std::string& key)
{
    const std::string original = text;
    const size_t open = findMemberValue(text, key);
    if (open == npos || open >= text.size() || text[open] != '{' || !eraseFromEveryMember(text, open, scheme))
        return false;
    return keepWhenValid(text, original, scheme, key);
}

bool removeSchemeFromMimeTypesRdf(std::string& text, const std::string& scheme)
{
    // The closing quote keeps a longer scheme that begins with this one.
    const std::string description = "RDF:Description";
    bool changed = removeElement(text, description, "<RDF:Description RDF:about=\"urn:scheme:" + scheme + "\"");
    changed |= removeElement(text, description, "<RDF:Description RDF:about=\"urn:scheme:handler:" + scheme + "\"");
    changed |= removeElement(text, "RDF:li", "<RDF:li RDF:resource=\"urn:scheme:" + scheme + "\"");
    return changed;
}

} // namespace qt
} // namespace tessal
