#pragma once

#include "foundation/String.h"

#include <cstdint>

// Turns a secret text into a printable form for another process and back:
// the text and its NUL, zero-padded to whole 16-byte blocks, in Base64.
// No block cipher is installed in this system, so results are 1 on success.
class UCryptedString
{
public:
    // Replaces text by its obscured form; an empty text stays empty.
    static int EncryptString(CString& text);
    static void EncryptString(const CString& in, CString& out);
    // Copies in to out, clears in's characters, then obscures out.
    static int EncryptString(char* in, CString& out);

    // Replaces text by the text it obscures (up to the first NUL).
    static int DecryptString(CString& text);
    static int DecryptString(const char* in, CString& out);
};

// Stores value as the parameter handed to a block cipher, and returns where it lives.
int* setHookParameter(int value);
int getHookParameter();

// Clears length bytes; returns 1.
int wipeBytes(void* data, uint32_t length);
// Clears the characters of a NUL-terminated text; returns 1.
int wipeBytes(char* text);
