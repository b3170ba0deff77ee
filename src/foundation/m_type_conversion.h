#pragma once
// Range-checked narrowing of integers. Each throws UException when the value
// does not fit; callers handle it.

#include <cstdint>

uint16_t UINT64ToUINT16(uint64_t value);
int32_t INT64ToINT32(int64_t value);
uint32_t IntToDWORD(int value); // 0 to 255
uint32_t IntToUINT32(int value); // not negative
