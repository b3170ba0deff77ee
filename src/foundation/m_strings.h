#pragma once
// Text-to-value conversions. The conversions with a fallback never throw:
// a text that does not convert gives the fallback and clears the ok flag.

#include <cstdint>

#include "foundation/String.h"

class AutoMemory;

bool isNumber(const char* text);
int toInt(const char* text, int fallback, bool* ok = nullptr);
int64_t toINT64(const char* text, int64_t fallback, bool* ok = nullptr);
uint64_t toUINT64(const char* text, uint64_t fallback, bool* ok = nullptr);
uint16_t toUINT16(const char* text, uint16_t fallback, bool* ok = nullptr);
uint32_t toDWORD(const char* text, uint32_t fallback, bool* ok = nullptr);
bool toBool(const char* text, bool fallback);
uint32_t strIPtoDWORD(const char* text, uint32_t fallback, bool* ok = nullptr);
bool checkCharacterSet(const CString& value, const CString& scanSet, int maxLength);

// Narrow copies of wide texts; failures give the fallback ("" by default).
CString& createString(CString& out, const wchar_t* text, size_t count, const char* fallback);
CString& createString(CString& out, const wchar_t* text, size_t count);
CString& createString(CString& out, const wchar_t* text);

// Encoding 0: the bytes as they are (narrow form only); 2: 32-bit wide
// characters and a 32-bit zero; anything else: the locale's multibyte form.
// Returns the bytes written without the terminator; failures throw.
int StringToByteStream(const wchar_t* text, AutoMemory& out, int encoding);
int StringToByteStream(const CString& text, AutoMemory& out, int encoding);

CString& SGetFileName(CString& out, const char* path, const char* defaultName);
CString& SGetFileName(CString& out, const CString& path, const CString& defaultName);
CString& SGetTempPath(CString& out);
CString& getErrnoText(CString& out);
