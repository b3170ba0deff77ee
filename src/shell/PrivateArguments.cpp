#include "shell/PrivateArguments.h"

#include <cstring>

namespace tessal {
namespace qt {

namespace {

bool isAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
bool startsWithScheme(const char* text)
{
    if (!isAsciiAlpha(text[0]))
        return false;
    for (const char* c = text + 1; *c != '\0'; ++c) {
        if (*c == ':')
            return true;
        if (!isAsciiAlpha(*c) && !(*c >= '0' && *c <= '9') && *c != '+' && *c != '-' && *c != '.')
            return false;
    }
    return false;
}

} // namespace

void hideUrlQuery(char* argument)
{
    if (argument == nullptr || !startsWithScheme(argument))
        return;
    char* query = std::strchr(argument, '?');
    if (query != nullptr)
        std::memset(query, '\0', std::strlen(query));
}

PrivateArguments::PrivateArguments(int argc, char** argv)
{
    m_copies.reserve(static_cast<size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i)
        m_copies.emplace_back(argv[i] != nullptr ? argv[i] : "");
    for (std::string& copy : m_copies)
        m_argv.push_back(copy.data());
    m_argv.push_back(nullptr);
    // The program's own name is no launch.
    for (int i = 1; i < argc; ++i)
        hideUrlQuery(argv[i]);
}

} // namespace qt
} // namespace tessal
