// Input: one byte for the matcher kind (6: no kind for the expression, the
// IPv6 subnet matcher on its own), one for the separator, then the
// expression or pattern, a NUL, and the text to match.

#include "foundation/IUErrorLog.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"
#include "foundation/str_helper_match.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Only the network-with-port matcher may refuse a text by throwing.
template <class F>
void matchQuietly(uint32_t kind, F f)
{
    try {
        f();
    } catch (const UException&) {
        if (kind != UExpressionMatch::TCP6Kind)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Records of refused patterns are not what is under test.
    g_pErrorLog = nullptr;
    if (size < 2)
        return 0;
    const uint32_t kind = data[0] % 7;
    static const char kSeparators[] = {';', ',', ':', ' '};
    const char separator = kSeparators[data[1] % 4];
    const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string expression = rest.substr(0, rest.find('\0'));
    const std::string text = expression.size() < rest.size() ? rest.substr(expression.size() + 1) : std::string();
    const char* t = text.c_str();
    uint32_t number = 0;
    std::memcpy(&number, text.data(), std::min<size_t>(text.size(), sizeof(number)));

    UExpressionMatch e;
    const int result = e.setExpression(expression.c_str(), kind, separator);
    if (result == 0 ? e.getKind() != static_cast<int>(kind) : (e.getKind() != -1 || e.getMatchers().getCount() != 0))
        __builtin_trap();
    matchQuietly(kind, [&] {
        UStrings hits;
        const bool any = e.match(t, hits);
        if (any != e.match(t) || any != (hits.getCount() > 0))
            __builtin_trap();
        e.match(number);
    });
    joinObjectTexts(e.getMatchers());

    // No expression holds the IPv6 subnet matcher on its own: kind 6 tries it.
    std::unique_ptr<URootMatch> m(kind == 6 ? new UIP6SubnetMatch()
                                            : UExpressionMatch::createMatchObject(kind, nullptr));
    const int accepted = m->setPattern(expression.c_str());
    matchQuietly(kind, [&] {
        const bool hit = m->match(t);
        // A refused pattern leaves the matcher matching nothing.
        if (accepted != 0 && (hit || m->match(number)))
            __builtin_trap();
    });
    CString normalized;
    m->normalize(expression.c_str(), normalized, separator);
    return 0;
}
