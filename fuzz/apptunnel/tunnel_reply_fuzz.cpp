// Feeds arbitrary bytes to the reply parser of the tunnel-server client, the
// result check and the conversions the commands apply to reply values; every
// name, looked up in capitals, must find its own item.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "foundation/UClasses.h"
#include "tunnel/UTunnelManagerHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    UPropertyList reply;
    parseKeyValueList(reply, text, '&', '=');
    try {
        checkReplyResult(reply, text, "cmd=fuzz");
    } catch (const std::runtime_error&) {
    }
    for (int i = 0; i < reply.getCount(); ++i) {
        std::string name = reply.getAt(i, 0);
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (findProperty(reply, name.c_str()) != reply.getItem(i))
            __builtin_trap();
        const char* value = reply.getAt(i, 1);
        const std::string v = value ? value : "";
        scanLeadingInteger(value, 0);
        try {
            toPortStrict(v);
        } catch (const std::invalid_argument&) {
        }
        try {
            toInt64Strict(v);
        } catch (const std::invalid_argument&) {
        }
        if (parseRange(v)) {
            uint16_t first = 0;
            uint16_t last = 0;
            readRange(v, first, last);
        }
    }
    return 0;
}
