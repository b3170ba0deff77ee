// Text-to-value conversions: fallbacks, ok flags and bounded scans.

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>
#include <unistd.h>

#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/m_strings.h"
#include "foundation/m_type_conversion.h"

namespace {

std::string s(const CString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
}

} // namespace

TEST(ConversionsNumber, IsNumberTable)
{
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        {" 42 ", true},
        {"4 2", false},
        {"", false},
        {nullptr, false},
        {"abc", false},
        {"-", true},
        {"1-2", true},
        {"--5", true},
        {"\t7\n", true},
        {"12345678901234567890123456789012345678901234567890123456789012345", false}, // 65 digits
        {"1234567890123456789012345678901234567890123456789012345678901234", true}, // 64 digits
    };
    for (const Case& c : cases)
        EXPECT_EQ(isNumber(c.text), c.expected) << (c.text ? c.text : "(null)");
}

TEST(ConversionsNumber, SignedTable)
{
    struct Case {
        const char* text;
        int64_t value;
        bool ok;
    };
    const Case cases[] = {
        {"12", 12, true},
        {" -7 ", -7, true},
        {"1-2", 1, true},
        {"12abc", -99, false},
        {"-", -99, false},
        {"--5", -99, false},
        {"", -99, false},
        {nullptr, -99, false},
        {"9223372036854775807", 9223372036854775807LL, true},
        {"9223372036854775808", -99, false},
        {"-9223372036854775809", -99, false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(toINT64(c.text, -99, &ok), c.value) << (c.text ? c.text : "(null)");
        EXPECT_EQ(ok, c.ok) << (c.text ? c.text : "(null)");
    }
    struct IntCase {
        const char* text;
        int value;
        bool ok;
    };
    const IntCase intCases[] = {
        {"2147483647", 2147483647, true},
        {"2147483648", -1, false},
        {"-2147483648", -2147483647 - 1, true},
        {"-2147483649", -1, false},
        {"12abc", -1, false},
        {"--5", -1, false},
        {"1-2", 1, true},
    };
    for (const IntCase& c : intCases) {
        bool ok = !c.ok;
        EXPECT_EQ(toInt(c.text, -1, &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    EXPECT_EQ(toInt("5", 0, nullptr), 5);
}

TEST(ConversionsNumber, UnsignedTable)
{
    struct Case {
        const char* text;
        uint64_t value;
        bool ok;
    };
    const Case cases[] = {
        {"18446744073709551615", 18446744073709551615ull, true},
        {"18446744073709551616", 7, false},
        {"-1", 7, false},
        {"-", 7, false},
        {"--5", 7, false},
        {"-0", 7, false},
        {" 42 ", 42, true},
        {"1-2", 1, true},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(toUINT64(c.text, 7, &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    struct Case16 {
        const char* text;
        uint16_t value;
        bool ok;
    };
    const Case16 cases16[] = {
        {"65535", 65535, true}, {"65536", 9, false}, {"0", 0, true}, {"-1", 9, false}, {"x", 9, false},
    };
    for (const Case16& c : cases16) {
        bool ok = !c.ok;
        EXPECT_EQ(toUINT16(c.text, 9, &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

TEST(ConversionsNumber, DwordTable)
{
    struct Case {
        const char* text;
        uint32_t value;
        bool ok;
    };
    const Case cases[] = {
        {"4294967295", 4294967295u, true},
        {"-1", 4294967295u, true},
        {"-2147483648", 2147483648u, true},
        {"-2147483649", 5, false},
        {"4294967296", 5, false},
        {"0x1A", 26, true},
        {"0X1a", 26, true},
        {" 0xffffffff ", 0xffffffffu, true},
        {"1A", 5, false},
        {"0x", 5, false},
        {"0x123456789", 5, false},
        {"123456789012", 5, false},
        {"", 5, false},
        {"  ", 5, false},
        {nullptr, 5, false},
        {"-", 5, false},
        {"--5", 5, false},
        {"1-2", 1, true},
        {"0xg", 5, false},
        {"x10", 5, false},
        {"1234567890123456789012345678901234567890", 5, false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(toDWORD(c.text, 5, &ok), c.value) << (c.text ? c.text : "(null)");
        EXPECT_EQ(ok, c.ok) << (c.text ? c.text : "(null)");
    }
}

TEST(ConversionsBool, Table)
{
    EXPECT_TRUE(toBool("TRUE", false));
    EXPECT_FALSE(toBool(" false ", true));
    EXPECT_TRUE(toBool("yes", true));
    EXPECT_FALSE(toBool("yes", false));
    EXPECT_TRUE(toBool("", true));
    EXPECT_FALSE(toBool(nullptr, false));
}

TEST(ConversionsIp, Table)
{
    struct Case {
        const char* text;
        uint32_t value;
        bool ok;
    };
    const Case cases[] = {
        {"10.0.0.1", 167772161u, true},
        {"10.0.0.1 ", 167772161u, true},
        {"10.0.0.1x", 1, false},
        {"256.0.0.1", 1, false},
        {"1000.1.1.1", 1, false},
        {"10.0.1", 1, false},
        {"", 1, false},
        {nullptr, 1, false},
        {"255.255.255.255", 0xffffffffu, true},
        {"10.0.0.1 trailing-text-long", 1, false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(strIPtoDWORD(c.text, 1, &ok), c.value) << (c.text ? c.text : "(null)");
        EXPECT_EQ(ok, c.ok) << (c.text ? c.text : "(null)");
    }
}

TEST(ConversionsCharacterSet, Table)
{
    EXPECT_TRUE(checkCharacterSet(CString("abc_12"), CString("[A-Za-z0-9_]"), 0));
    EXPECT_FALSE(checkCharacterSet(CString("abc-12"), CString("[A-Za-z0-9_]"), 0));
    EXPECT_TRUE(checkCharacterSet(CString("abc"), CString("[a-z]"), 3));
    EXPECT_FALSE(checkCharacterSet(CString("abcd"), CString("[a-z]"), 3));
    EXPECT_FALSE(checkCharacterSet(CString("a-b"), CString("[^-]"), 0));
    EXPECT_TRUE(checkCharacterSet(CString("ab"), CString("[^-]"), 0));
    EXPECT_FALSE(checkCharacterSet(CString(""), CString("[a-z]"), 0));
    std::string longValue(300, 'a');
    EXPECT_TRUE(checkCharacterSet(CString(longValue.c_str()), CString("[a]"), 0));
}

TEST(ConversionsNarrowing, Throws)
{
    EXPECT_THROW(INT64ToINT32(2147483648LL), UException);
    EXPECT_THROW(INT64ToINT32(-2147483649LL), UException);
    EXPECT_EQ(INT64ToINT32(-2147483648LL), -2147483647 - 1);
    EXPECT_EQ(IntToDWORD(255), 255u);
    EXPECT_THROW(IntToDWORD(256), UException);
    EXPECT_THROW(IntToDWORD(-1), UException);
    EXPECT_THROW(UINT64ToUINT16(65536), UException);
    try {
        INT64ToINT32(2147483648LL);
    } catch (const UException& e) {
        EXPECT_STREQ(e.what(), "EXCEPTION - input value is greater then INT32_MAX, 2147483648");
        EXPECT_STREQ(e.getFunction(), "INT64ToINT32()");
    }
}

TEST(ConversionsWide, CreateString)
{
    CString out("old");
    EXPECT_EQ(s(createString(out, L"hello")), "hello");
    EXPECT_EQ(s(createString(out, L"hello", 2)), "he");
    EXPECT_EQ(s(createString(out, nullptr)), "");
    EXPECT_EQ(s(createString(out, L"", 5, "fb")), "fb");
}

TEST(ConversionsWide, ByteStreams)
{
    AutoMemory out;
    EXPECT_EQ(StringToByteStream(CString(""), out, 0), 0);
    EXPECT_EQ(out.getBuffer(), nullptr);
    EXPECT_EQ(StringToByteStream(CString("abc"), out, 0), 3);
    EXPECT_EQ(std::memcmp(out.getBuffer(), "abc", 4), 0);
    EXPECT_EQ(StringToByteStream(CString("ab"), out, 2), 8);
    ASSERT_GE(out.getSize(), 12u);
    EXPECT_EQ(out.as<uint32_t>()[0], static_cast<uint32_t>('a'));
    EXPECT_EQ(out.as<uint32_t>()[2], 0u);
    EXPECT_EQ(StringToByteStream(CString("ab"), out, 1), 2);
    EXPECT_EQ(std::memcmp(out.getBuffer(), "ab", 3), 0);
    EXPECT_EQ(StringToByteStream(L"xyz", out, 1), 3);
    EXPECT_EQ(std::memcmp(out.getBuffer(), "xyz", 4), 0);
    EXPECT_EQ(StringToByteStream(L"xy", out, 2), 8);
    // Not representable in the "C" locale.
    EXPECT_THROW(StringToByteStream(L"\u00e9", out, 1), UException);
}

TEST(ConversionsPaths, FileNameTempAndErrno)
{
    CString name;
    EXPECT_EQ(s(SGetFileName(name, "/a/b/c.txt", "x")), "c.txt");
    EXPECT_EQ(s(SGetFileName(name, CString("plain"), CString("x"))), "plain");
    CString temp;
    SGetTempPath(temp);
    EXPECT_EQ(s(temp).rfind("/tmp/", 0), 0u);
    EXPECT_EQ(access(temp, F_OK), 0);
    unlink(temp);
    errno = ENOENT;
    CString text;
    EXPECT_EQ(s(getErrnoText(text)), std::strerror(ENOENT));
}

// What a rejected conversion leaves in the log.
#include "RecordingLog.h"

using tessal::test::RecordingLog;

TEST(ConversionsRecords, RejectionsAreLogged)
{
    RecordingLog log(63);
    bool ok = true;
    EXPECT_EQ(toUINT16("65536", 3, &ok), 3);
    EXPECT_TRUE(log.contains("1, /m_type_conversion, ")) << log.count();
    EXPECT_TRUE(log.contains("UINT64ToUINT16(), EXCEPTION - input value is greater then UINT16_MAX, 65536\n"));
    EXPECT_TRUE(log.contains("EXCEPTION caught: toUINT16() - EXCEPTION"));

    log.clear();
    EXPECT_EQ(toUINT64("--5", 1, &ok), 1u);
    EXPECT_TRUE(log.contains("toUINT64(), EXCEPTION - invalid a_str, --5\n"));

    log.clear();
    toBool("yes", false);
    EXPECT_TRUE(log.contains("EXCEPTION - unknow value, expected 'true' or 'false', yes"));
    EXPECT_TRUE(log.contains("EXCEPTION caught: toBool() - EXCEPTION"));
}

TEST(ConversionsRecords, SilentAndVerboseRejections)
{
    RecordingLog log(63);
    EXPECT_EQ(toInt("12abc", 4), 4); // not a number: silent
    EXPECT_EQ(strIPtoDWORD("x", 4), 4u); // silent
    EXPECT_EQ(log.count(), 0u);

    EXPECT_EQ(toDWORD("  ", 4), 4u);
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.last().substr(0, 4), "48, ");
    EXPECT_NE(log.last().find(", toDWORD(), a_str is empty string\n"), std::string::npos);

    log.clear();
    RecordingLog quiet(31);
    EXPECT_EQ(toBool("", true), true);
    EXPECT_EQ(quiet.count(), 0u); // level 31 filters the verbose record
}

TEST(ConversionsRecords, CharacterSetTag)
{
    RecordingLog log(63);
    EXPECT_FALSE(checkCharacterSet(CString("abcd"), CString("[a-z]"), 3));
    EXPECT_TRUE(log.contains("EXCEPTION - input variable length exceeds the maximum length"));
    EXPECT_TRUE(log.contains("EXCEPTION caught:  - EXCEPTION"));
}
