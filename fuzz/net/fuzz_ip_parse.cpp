#include "foundation/IUErrorLog.h"
#include "foundation/UIPAddress.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Records of refused texts are not what is under test.
    g_pErrorLog = nullptr;

    const CString host(reinterpret_cast<const char*>(data), int(size));
    const int kind = UIPAddress::Parse(host);
    if (kind < 0 || kind > 3)
        __builtin_trap();

    // Whatever is classified as an address must also read as one.
    if (kind == 3 && std::memchr(data, '\0', size) == nullptr) {
        CString bare(host);
        if (bare.GetLength() > 0 && bare[0] == '[')
            bare = bare.Mid(1);
        if (bare.GetLength() > 0 && bare[bare.GetLength() - 1] == ']')
            bare = bare.Left(bare.GetLength() - 1);
        if (bare.Find('[') >= 0 || bare.Find(']') >= 0)
            __builtin_trap();
    }
    return 0;
}
