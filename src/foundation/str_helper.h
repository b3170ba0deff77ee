#pragma once
// Free text helpers of the utility library: numbers to text, Base64, hex,
// URL percent-coding, splitting and joining, paths, case-insensitive compare.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Array.h"
#include "foundation/String.h"

class UList;
class UStrings;

// Number and value to text.
CString formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
CString toString(bool value);
CString toString(char value);
CString toString(short value);
CString toString(int value);
CString toString(long value);
CString toString(long long value);
CString toString(unsigned char value);
CString toString(unsigned short value);
CString toString(unsigned int value);
CString toString(unsigned long value);
CString toString(unsigned long long value);
CString toString(float value);
CString toString(double value);
CString toString(const void* pointer);
CString toHexText(unsigned long value); // "0x%lx"
CString ipv4ToString(uint32_t address); // lowest byte first
CString errnoToString(int error); // strerror
CString errnoToString(); // strerror(errno)

// Fixed texts.
CString tempFolder();
CString platformName();
CString processorName();
CString getUserAgent();
CString hostNameBase64();

// Hexadecimal.
CString toHexString(const char* text);
CString percentEscapeAll(const char* text);
CString hexDump(const void* data, int length, int flags);
CString hexTextToString(const char* text);
int hexDigitValue(char ch, unsigned char& out);
int hexToBytes(const char* text, unsigned char* out, int capacity);
int hexToBytesReversed(const char* text, unsigned char* out, int capacity);

// Base64.
int base64Encode(const void* data, int length, CString& out);
CString base64EncodeText(const char* text);
int base64Decode(const char* text, CByteArray& out);
int base64DecodeToString(const char* text, CString& out);
CString base64DecodeBinary(const char* text);
CString base64DecodeText(const char* text);

// URL percent-coding.
std::vector<unsigned char> URLDecodeBuffer(const void* data, size_t length);
std::string URLDecodeStd(const void* data, size_t length);
CString URLDecode(const CString& text);
CString percentEncodeAlnum(const CString& text);

class CURLEncode
{
public:
    CURLEncode() = default;
    virtual ~CURLEncode() = default;

    CString encode(const CString& text) const;
    CString decode(const CString& text) const;

    static bool isUnsafe(unsigned char ch);
};

// Newly allocated copies; the caller releases them with free().
char* urlEncodeAlloc(const char* text);
char* urlDecodeAlloc(const char* text);

// Splitting, joining and paths.
int splitString(const CString& text, CString& left, CString& right, char separator, bool noTrim, bool fromRight);
int splitKeyValue(const CString& text, CString& key, CString& value);
CString joinStrings(const UStrings& strings);
// Every match object's pattern followed by "\n"; other objects are skipped.
CString joinObjectTexts(const UList& list);
int printStrings(const UStrings& strings);
int splitPath(const CString& path, CString& dir, CString& name);
CString removeTrailingSlash(const CString& text);
CString appendSlash(const CString& text);
bool endsWithSlash(const CString& text);
CString stripChar(const CString& text, char ch, int maxCount);
CString stripCharRight(const CString& text, char ch, int maxCount);
CString stripChars(const CString& text, char first, char last, int maxCount);
CString stripEnclosing(const CString& text, char first, char last = '\0');
CString withoutLineBreaks(const CString& text);
CString replacedCopy(const CString& text, char chOld, char chNew);
CString replacedCopy(const CString& text, const char* oldText, const char* newText);
int compareNoCase(const char* a, const char* b);
int wideReplaceAll(wchar_t* text, const wchar_t* oldText, const wchar_t* newText);

// A text that differs for every call in the process: "%1-%2-%3".
CString uniqueId();
