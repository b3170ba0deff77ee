#include "shell/PrivateArguments.h"

#include <cstdlib>
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

// Filled before any static object is built: plain data alone.
int g_earlyArgc = 0;
char** g_earlyArgv = nullptr;

void hideUrlQueries(int argc, char** argv)
{
    // The program's own name is no launch.
    for (int i = 1; i < argc; ++i)
        hideUrlQuery(argv[i]);
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

void PrivateArguments::takeEarly(int argc, char** argv, char** /*envp*/)
{
    if (argc <= 0 || argv == nullptr || g_earlyArgv != nullptr)
        return;
    // Short of memory: no copy, nothing hidden; the constructor does both.
    auto** copy = static_cast<char**>(std::calloc(static_cast<size_t>(argc), sizeof(char*)));
    if (copy == nullptr)
        return;
    for (int i = 0; i < argc; ++i) {
        if ((copy[i] = ::strdup(argv[i] != nullptr ? argv[i] : "")) == nullptr) {
            for (int j = 0; j < i; ++j)
                std::free(copy[j]);
            std::free(copy);
            return;
        }
    }
    g_earlyArgv = copy;
    g_earlyArgc = argc;
    hideUrlQueries(argc, argv);
}

PrivateArguments::PrivateArguments(int argc, char** argv)
{
    char** const source = g_earlyArgv != nullptr && g_earlyArgc == argc ? g_earlyArgv : argv;
    m_copies.reserve(static_cast<size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i)
        m_copies.emplace_back(source[i] != nullptr ? source[i] : "");
    for (std::string& copy : m_copies)
        m_argv.push_back(copy.data());
    m_argv.push_back(nullptr);
    hideUrlQueries(argc, argv);
    if (source == g_earlyArgv) {
        for (int i = 0; i < g_earlyArgc; ++i)
            std::free(g_earlyArgv[i]);
        std::free(g_earlyArgv);
        g_earlyArgv = nullptr;
    }
}

} // namespace qt
} // namespace tessal
