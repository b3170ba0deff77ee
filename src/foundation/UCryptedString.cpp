#include "foundation/UCryptedString.h"

#include "foundation/Array.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

#include <cstring>
#include <string.h>

namespace {

const char kFile[] = "/UCryptedString";

int g_hookParameter = 0;

// Length of the protected block: the text, its NUL, zeros up to a multiple of 16.
int blockLength(int textLength)
{
    return (textLength + 1 + 15) / 16 * 16;
}

void wipeArray(CByteArray& bytes)
{
    if (bytes.GetSize() > 0)
        ::explicit_bzero(bytes.GetData(), size_t(bytes.GetSize()));
}

} // namespace

int* setHookParameter(int value)
{
    g_hookParameter = value;
    return &g_hookParameter;
}

int getHookParameter()
{
    return g_hookParameter;
}

int wipeBytes(void* data, uint32_t length)
{
    if (data != nullptr && length > 0)
        ::explicit_bzero(data, length);
    return 1;
}

int wipeBytes(char* text)
{
    if (text != nullptr)
        ::explicit_bzero(text, std::strlen(text));
    return 1;
}

int UCryptedString::EncryptString(CString& text)
{
    if (text.IsEmpty())
        return 1;

    int result = 0;
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UCryptedString::EncryptString(CString):Exception!", "EncryptString"), code, [&] {
        const int length = text.GetLength();
        // The block is exactly as large as what is written into it.
        CByteArray block;
        block.SetSize(blockLength(length));
        std::memcpy(block.GetData(), static_cast<const char*>(text), size_t(length));
        wipeString(text);
        base64Encode(block.GetData(), block.GetSize(), text);
        wipeArray(block);
        result = 1;
        code = 0;
    });
    return code == 0 ? result : 0;
}

void UCryptedString::EncryptString(const CString& in, CString& out)
{
    out = in;
    EncryptString(out);
}

int UCryptedString::EncryptString(char* in, CString& out)
{
    out = in;
    wipeBytes(in);
    return EncryptString(out);
}

int UCryptedString::DecryptString(CString& text)
{
    if (text.IsEmpty())
        return 1;

    CByteArray block;
    block.SetSize(0, 16);
    base64Decode(text, block);
    const int decoded = block.GetSize();
    const int rounded = (decoded + 15) / 16 * 16;
    block.SetSize(rounded);
    for (int i = decoded; i < rounded; ++i)
        block.GetData()[i] = 0;

    wipeString(text);
    if (rounded > 0) {
        CString whole(reinterpret_cast<const char*>(block.GetData()), rounded);
        text = static_cast<const char*>(whole); // cut at the first NUL
        wipeString(whole);
    }
    wipeArray(block);
    return 1;
}

int UCryptedString::DecryptString(const char* in, CString& out)
{
    out = in;
    return DecryptString(out);
}
