// Every conversion and decoder must take any text without crashing, reading
// out of bounds or throwing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Array.h"
#include "foundation/IUErrorLog.h"
#include "foundation/m_strings.h"
#include "foundation/str_helper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool quiet = [] {
        g_pErrorLog.store(nullptr); // no file log while fuzzing
        return true;
    }();
    (void)quiet;

    std::string text(reinterpret_cast<const char*>(data), size);
    const char* c = text.c_str();
    bool ok = false;

    isNumber(c);
    toInt(c, 0, &ok);
    toINT64(c, 0, &ok);
    toUINT64(c, 0, &ok);
    toUINT16(c, 0, &ok);
    toDWORD(c, 0, &ok);
    toBool(c, false);
    strIPtoDWORD(c, 0, &ok);
    checkCharacterSet(CString(c), CString("[A-Za-z0-9_.-]"), 64);

    CString cs(c);
    URLDecode(CString(text.data(), static_cast<int>(text.size())));
    CURLEncode coder;
    coder.decode(cs);
    coder.encode(cs);
    CByteArray bytes;
    base64Decode(c, bytes);
    base64DecodeBinary(c);
    hexTextToString(c);
    CString left, right, key, value, dir, name;
    splitString(cs, left, right, '=', false, true);
    splitKeyValue(cs, key, value);
    splitPath(cs, dir, name);
    return 0;
}
