#include "foundation/UCryptedString.h"

#include <gtest/gtest.h>

#include <string>

TEST(CryptedString, ObscuresToBase64OfZeroPaddedBlocks)
{
    CString text("abc");
    EXPECT_EQ(UCryptedString::EncryptString(text), 1);
    // "abc" and 13 zero bytes.
    EXPECT_STREQ(static_cast<const char*>(text), "YWJjAAAAAAAAAAAAAAAAAA==");

    struct {
        int length;
        int encoded;
    } const sizes[] = {{1, 24}, {14, 24}, {15, 24}, {16, 44}, {31, 44}, {32, 64}};
    for (const auto& s : sizes) {
        CString t(std::string(size_t(s.length), 'x').c_str());
        UCryptedString::EncryptString(t);
        EXPECT_EQ(t.GetLength(), s.encoded) << s.length;
    }

    CString sid("0123456789abcdef");
    UCryptedString::EncryptString(sid);
    EXPECT_STREQ(static_cast<const char*>(sid), "MDEyMzQ1Njc4OWFiY2RlZgAAAAAAAAAAAAAAAAAAAAA=");
}

TEST(CryptedString, EmptyTextStaysEmpty)
{
    CString text;
    EXPECT_EQ(UCryptedString::EncryptString(text), 1);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(UCryptedString::DecryptString(text), 1);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CryptedString, RoundTrips)
{
    for (const char* s : {"a", "abc", "session-id-0123456789", "exactly 15 char", "exactly 16 chars",
                          "\xc3\xa9t\xc3\xa9 UTF-8 text", "0123456789012345678901234567890123456789"}) {
        CString in(s);
        CString out;
        UCryptedString::EncryptString(in, out);
        EXPECT_STREQ(static_cast<const char*>(in), s) << "input unchanged";
        EXPECT_STRNE(static_cast<const char*>(out), s);
        CString back;
        EXPECT_EQ(UCryptedString::DecryptString(static_cast<const char*>(out), back), 1);
        EXPECT_STREQ(static_cast<const char*>(back), s);
    }
}

TEST(CryptedString, DecodeCutsAtFirstNulAndPadsShortBlocks)
{
    // Not a multiple of 16 bytes: the rest of the block counts as zeros.
    CString text("YWJj");
    EXPECT_EQ(UCryptedString::DecryptString(text), 1);
    EXPECT_STREQ(static_cast<const char*>(text), "abc");

    // 16 bytes without a NUL among them still end properly.
    CString full("eHh4eHh4eHh4eHh4eHh4eA==");
    UCryptedString::DecryptString(full);
    EXPECT_STREQ(static_cast<const char*>(full), "xxxxxxxxxxxxxxxx");

    CString garbage("!!!!");
    EXPECT_EQ(UCryptedString::DecryptString(garbage), 1);
    EXPECT_TRUE(garbage.IsEmpty());
}

TEST(CryptedString, CharInputIsCleared)
{
    char secret[] = "top secret";
    CString out;
    EXPECT_EQ(UCryptedString::EncryptString(secret, out), 1);
    for (char c : secret)
        EXPECT_EQ(c, '\0');
    CString back(out);
    UCryptedString::DecryptString(back);
    EXPECT_STREQ(static_cast<const char*>(back), "top secret");
}

TEST(CryptedString, WipeBytes)
{
    char data[] = "abcdef";
    EXPECT_EQ(wipeBytes(data, 3), 1);
    EXPECT_EQ(std::string(data, 6), std::string("\0\0\0def", 6));
    char text[] = "xyz";
    EXPECT_EQ(wipeBytes(text), 1);
    EXPECT_EQ(std::string(text, 3), std::string(3, '\0'));
    EXPECT_EQ(wipeBytes(nullptr, 0), 1);
    // The pointer is to the one process-wide parameter, not to a copy.
    int* parameter = setHookParameter(7);
    *parameter = 9;
    EXPECT_EQ(getHookParameter(), 9);
    setHookParameter(0);
}
