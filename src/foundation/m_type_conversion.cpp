#include "foundation/m_type_conversion.h"

#include <cstdio>

#include "foundation/UException.h"

namespace {
const char kSourceFile[] = "/m_type_conversion";
}

uint16_t UINT64ToUINT16(uint64_t value)
{
    if (value > 0xFFFF) {
        char text[32];
        std::snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(value));
        throw UException(-1, kSourceFile, "UINT64ToUINT16()", __LINE__, "EXCEPTION - %s, %s",
                         "input value is greater then UINT16_MAX", text);
    }
    return static_cast<uint16_t>(value);
}

int32_t INT64ToINT32(int64_t value)
{
    char text[32];
    if (value > 2147483647LL) {
        std::snprintf(text, sizeof(text), "%ld", static_cast<long>(value));
        throw UException(-1, kSourceFile, "INT64ToINT32()", __LINE__, "EXCEPTION - %s, %s",
                         "input value is greater then INT32_MAX", text);
    }
    if (value < -2147483648LL) {
        std::snprintf(text, sizeof(text), "%ld", static_cast<long>(value));
        throw UException(-1, kSourceFile, "INT64ToINT32()", __LINE__, "EXCEPTION - %s, %s",
                         "input value is less then INT32_MIN", text);
    }
    return static_cast<int32_t>(value);
}

uint32_t IntToDWORD(int value)
{
    char text[16];
    if (value < 0) {
        std::snprintf(text, sizeof(text), "%d", value);
        throw UException(-1, kSourceFile, "IntToDWORD()", __LINE__, "EXCEPTION - %s, %s", "input value is negative",
                         text);
    }
    if (value > 255) {
        std::snprintf(text, sizeof(text), "%d", value);
        throw UException(-1, kSourceFile, "IntToDWORD()", __LINE__, "EXCEPTION - %s, %s",
                         "input value is greater then BYTE_MAX", text);
    }
    return static_cast<uint32_t>(value);
}

uint32_t IntToUINT32(int value)
{
    if (value < 0) {
        char text[16];
        std::snprintf(text, sizeof(text), "%d", value);
        throw UException(-1, kSourceFile, "IntToUINT32()", __LINE__, "EXCEPTION - %s, %s", "input value is negative",
                         text);
    }
    return static_cast<uint32_t>(value);
}
