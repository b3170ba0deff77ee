#include "shell/ProcessMatcher.h"

#include <fnmatch.h>

#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <stdexcept>

namespace tessal {
namespace system {

namespace {

// The text as wide characters of the global locale; a byte that does not
// decode stands for itself.
std::wstring widen(const std::string& text)
{
    std::wstring wide;
    std::mbstate_t state{};
    const char* next = text.data();
    size_t left = text.size();
    while (left > 0) {
        wchar_t c = 0;
        const size_t used = std::mbrtowc(&c, next, left, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            c = static_cast<unsigned char>(*next);
            state = std::mbstate_t{};
            wide.push_back(c);
            ++next;
            --left;
            continue;
        }
        const size_t step = used == 0 ? 1 : used;
        wide.push_back(c);
        next += step;
        left -= step;
    }
    return wide;
}

bool equalIgnoringCase(const std::string& a, const std::string& b)
{
    const std::wstring wa = widen(a);
    const std::wstring wb = widen(b);
    if (wa.size() != wb.size())
        return false;
    for (size_t i = 0; i < wa.size(); ++i) {
        if (std::towupper(static_cast<wint_t>(wa[i])) != std::towupper(static_cast<wint_t>(wb[i])))
            return false;
    }
    return true;
}

} // namespace

bool ProcessMatcher::operator()(const ProcessRecord& process) const
{
    if (process.command == "<unknown>")
        return false;
    const std::string text =
        fileNameOnly == 1 ? std::filesystem::path(process.command).filename().string() : process.command;

    if (matchMethod & Equal) {
        if (ignoreCase)
            return equalIgnoringCase(text, expression);
        return std::filesystem::path(text) == std::filesystem::path(expression);
    }
    if (matchMethod & Wildcard) {
        const int result = ::fnmatch(expression.c_str(), text.c_str(), wildcardFlags);
        if (result == 0)
            return true;
        if (result == FNM_NOMATCH)
            return false;
        throw std::runtime_error("bad expression: " + expression);
    }
    throw std::runtime_error("bad match method");
}

} // namespace system
} // namespace tessal
