// Feeds arbitrary text to the mimeTypes.rdf scheme remover: it ends, and
// what it removes is a part of the input, never more than was there.

#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/PreferenceTextEdits.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void remove(const std::string& input, const std::string& scheme)
{
    std::string text = input;
    if (tessal::qt::removeSchemeFromMimeTypesRdf(text, scheme))
        require(text.size() < input.size());
    else
        require(text == input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    remove(input, "tessal-vpn");
    remove(input, "s");
    return 0;
}
