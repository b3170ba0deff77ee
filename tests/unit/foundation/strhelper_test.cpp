// Text helpers: number texts, Base64, hex, percent-coding, splitting, paths.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "foundation/UClasses.h"
#include "foundation/str_helper.h"

namespace {

std::string s(const CString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
}

} // namespace

TEST(StrHelperNumbers, ToStringForms)
{
    EXPECT_EQ(s(toString(true)), "true");
    EXPECT_EQ(s(toString(false)), "false");
    EXPECT_EQ(s(toString('x')), "x");
    EXPECT_EQ(s(toString(static_cast<short>(-12))), "-12");
    EXPECT_EQ(s(toString(-7)), "-7");
    EXPECT_EQ(s(toString(static_cast<unsigned char>(200))), "200");
    EXPECT_EQ(s(toString(4294967295u)), "4294967295");
    // The whole 64-bit value, not its low 32 bits.
    EXPECT_EQ(s(toString(4294967296ul)), "4294967296");
    EXPECT_EQ(s(toString(-4294967296l)), "-4294967296");
    EXPECT_EQ(s(toString(18446744073709551615ull)), "18446744073709551615");
    EXPECT_EQ(s(toString(1.5)), "1.500000");
    EXPECT_EQ(s(toString(static_cast<const void*>(nullptr))), "0x0000000000000000");
    EXPECT_EQ(s(toHexText(255ul)), "0xff");
    EXPECT_EQ(s(formatString("%s-%d", "a", 3)), "a-3");
}

TEST(StrHelperNumbers, Ipv4TakesLowestByteFirst)
{
    unsigned char bytes[4] = {10, 0, 0, 1};
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    EXPECT_EQ(s(ipv4ToString(value)), "10.0.0.1");
}

TEST(StrHelperFixed, Texts)
{
    EXPECT_EQ(s(tempFolder()), "/tmp");
    EXPECT_EQ(s(platformName()), "Linux");
    EXPECT_EQ(s(processorName()), "x64");
    EXPECT_EQ(s(getUserAgent()),
              "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; Trident/6.0; Tessal Networks Client)");
    EXPECT_FALSE(hostNameBase64().IsEmpty());
}

TEST(StrHelperBase64, EncodeTable)
{
    struct Case {
        const char* in;
        const char* out;
        int added;
    };
    const Case cases[] = {
        {"abc", "YWJj", 4}, {"ab", "YWI=", 4}, {"a", "YQ==", 4}, {"", "", 0}, {"hello world", "aGVsbG8gd29ybGQ=", 16}};
    for (const Case& c : cases) {
        CString out("pre:");
        EXPECT_EQ(base64Encode(c.in, static_cast<int>(std::strlen(c.in)), out), c.added) << c.in;
        EXPECT_EQ(s(out), std::string("pre:") + c.out) << c.in;
    }
    EXPECT_EQ(s(base64EncodeText(nullptr)), "");
    EXPECT_EQ(s(base64EncodeText("abc")), "YWJj");
}

TEST(StrHelperBase64, DecodeTable)
{
    struct Case {
        const char* in;
        std::string out;
    };
    const Case cases[] = {{"YW Jj\n", "abc"},
                          {"YQ", "a"},
                          {"Y", ""},
                          {"YWI=", "ab"},
                          {"Y\xC3QQ", "Y"}, // stops at the first byte with the high bit set
                          {"", ""}};
    for (const Case& c : cases) {
        CByteArray out;
        int n = base64Decode(c.in, out);
        std::string got(reinterpret_cast<const char*>(out.GetData()), static_cast<size_t>(out.GetSize()));
        if (std::string(c.in) == "Y\xC3QQ") {
            EXPECT_EQ(n, 0);
            continue;
        }
        EXPECT_EQ(n, static_cast<int>(c.out.size())) << c.in;
        EXPECT_EQ(got, c.out) << c.in;
    }
    CByteArray none;
    EXPECT_EQ(base64Decode(nullptr, none), 0);
}

TEST(StrHelperBase64, DecodeForms)
{
    // "a\0b" encoded
    const char* encoded = "YQBi";
    CString binary = base64DecodeBinary(encoded);
    EXPECT_EQ(binary.GetLength(), 3);
    EXPECT_EQ(std::memcmp(static_cast<const char*>(binary), "a\0b", 3), 0);
    EXPECT_EQ(s(base64DecodeText(encoded)), "a");
    CString text;
    EXPECT_EQ(base64DecodeToString(encoded, text), 3);
    EXPECT_EQ(s(text), "a");
    EXPECT_EQ(s(base64DecodeText("")), "");
}

TEST(StrHelperHex, Forms)
{
    EXPECT_EQ(s(toHexString("\x01\xff"
                            "A")),
              "01FF41");
    EXPECT_EQ(s(toHexString("")), "");
    EXPECT_EQ(s(percentEscapeAll("a/")), "%61%2F");
    EXPECT_EQ(s(hexDump("\x01\xab", 2, 0)), "01ab");
    EXPECT_EQ(s(hexDump("\x01\xab", 2, 1)), "01 ab ");
    EXPECT_EQ(s(hexDump("", 0, 2)), "");
    EXPECT_EQ(s(hexTextToString("414200")), "AB");
    EXPECT_EQ(s(hexTextToString("4142zz4")), "AB\x04");

    unsigned char value = 99;
    EXPECT_EQ(hexDigitValue('b', value), 1);
    EXPECT_EQ(value, 11);
    EXPECT_EQ(hexDigitValue('g', value), 0);
    EXPECT_EQ(value, 11);

    unsigned char bytes[4] = {};
    EXPECT_EQ(hexToBytes("0102ff", bytes, 4), 0);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[2], 0xff);
    EXPECT_EQ(hexToBytesReversed("0102ff", bytes, 4), 0);
    EXPECT_EQ(bytes[0], 0xff);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(hexToBytes("0102ff", bytes, 2), -1);
    EXPECT_EQ(hexToBytes("01x2", bytes, 4), -2);
    EXPECT_EQ(hexToBytes("010", bytes, 1), 0); // odd last character ignored
}

TEST(StrHelperHex, DumpLayoutColumnsLineUp)
{
    unsigned char data[20];
    for (int i = 0; i < 20; ++i)
        data[i] = static_cast<unsigned char>('A' + i);
    data[3] = 0x01;
    std::string dump = s(hexDump(data, 20, 2));
    size_t firstEnd = dump.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    std::string first = dump.substr(0, firstEnd);
    std::string second = dump.substr(firstEnd + 1, dump.size() - firstEnd - 2);
    EXPECT_EQ(dump.back(), '\n');
    // Both character columns start at 52 + 2.
    EXPECT_EQ(first.substr(0, 6), "41 42 ");
    EXPECT_EQ(first.substr(54, 4), "ABC.");
    EXPECT_EQ(second.substr(54), "QRST");
    EXPECT_EQ(second.substr(0, 12), "51 52 53 54 ");
    EXPECT_EQ(first.substr(24, 2), "  ");
}

TEST(StrHelperUrl, DecodeTable)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {{"a%2Fb%zz%4", "a/b%zz%4"}, {"a+b", "a+b"}, {"%41%6a", "Aj"}, {"%", "%"}, {"", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(s(URLDecode(CString(c.in))), c.out) << c.in;
        EXPECT_EQ(URLDecodeStd(c.in, std::strlen(c.in)), c.out) << c.in;
    }
    CString withNul = URLDecode(CString("a%00b"));
    EXPECT_EQ(withNul.GetLength(), 3);
}

TEST(StrHelperUrl, EncodeForms)
{
    EXPECT_EQ(s(percentEncodeAlnum(CString("a b/Z9"))), "a%20b%2FZ9");
    CURLEncode coder;
    EXPECT_EQ(s(coder.encode(CString("a b"))), "a%20b");
    EXPECT_EQ(s(coder.encode(CString("\xE9"))), "%e9");
    EXPECT_EQ(s(coder.encode(CString("x=1&y"))), "x%3d1%26y");
    EXPECT_EQ(s(coder.encode(CString("az.-_~{"))), "az.-_%7e%7b");
    EXPECT_EQ(s(coder.decode(CString("a%20b%E9"))), "a b\xE9");
    // A "%" without two characters after it stays as it is.
    EXPECT_EQ(s(coder.decode(CString("ab%4"))), "ab%4");
    EXPECT_EQ(s(coder.decode(CString("%"))), "%");
    char* encoded = urlEncodeAlloc("a b");
    ASSERT_NE(encoded, nullptr);
    EXPECT_STREQ(encoded, "a%20b");
    char* decoded = urlDecodeAlloc(encoded);
    EXPECT_STREQ(decoded, "a b");
    std::free(encoded);
    std::free(decoded);
}

TEST(StrHelperSplit, SplitString)
{
    CString left, right;
    EXPECT_EQ(splitString(CString("a:b:c"), left, right, ':', false, false), 1);
    EXPECT_EQ(s(left), "a");
    EXPECT_EQ(s(right), "b:c");
    EXPECT_EQ(splitString(CString("a:b:c"), left, right, ':', false, true), 3);
    EXPECT_EQ(s(left), "a:b");
    EXPECT_EQ(s(right), "c");
    EXPECT_EQ(splitString(CString(" a = b "), left, right, '=', false, false), 3);
    EXPECT_EQ(s(left), "a");
    EXPECT_EQ(s(right), "b");
    EXPECT_EQ(splitString(CString(" a = b "), left, right, '=', true, false), 3);
    EXPECT_EQ(s(left), " a ");
    EXPECT_EQ(s(right), " b ");
    EXPECT_EQ(splitString(CString(" none "), left, right, '=', false, false), -1);
    EXPECT_EQ(s(left), "none");
    EXPECT_EQ(s(right), "");
    EXPECT_EQ(splitString(CString(""), left, right, '=', false, false), -1);
    EXPECT_EQ(s(left), "");
}

TEST(StrHelperSplit, SplitKeyValue)
{
    CString key("k0"), value("v0");
    EXPECT_EQ(splitKeyValue(CString(" key = value "), key, value), 1);
    EXPECT_EQ(s(key), "key");
    EXPECT_EQ(s(value), "value");
    EXPECT_EQ(splitKeyValue(CString("=x"), key, value), 0);
    EXPECT_EQ(s(key), "key");
    EXPECT_EQ(splitKeyValue(CString("nothing"), key, value), 0);
    EXPECT_EQ(splitKeyValue(CString("a=b=c"), key, value), 1);
    EXPECT_EQ(s(value), "b=c");
}

TEST(StrHelperSplit, JoinStrings)
{
    UStrings list("a;b;c", ';', 0);
    EXPECT_EQ(s(joinStrings(list)), "a;b;c");
    list.setSeparator('\0');
    EXPECT_EQ(s(joinStrings(list)), "abc");
    UStrings empty;
    EXPECT_EQ(s(joinStrings(empty)), "");
}

TEST(StrHelperPaths, SplitPathTable)
{
    struct Case {
        const char* path;
        const char* dir;
        const char* name;
    };
    const Case cases[] = {{"/usr/lib/x.so", "/usr/lib/", "x.so"},
                          {"a\\b", "a/", "b"},
                          {"..", "..", ""},
                          {"a/.", "a/.", ""},
                          {"name", "", "name"},
                          {"/", "/", ""},
                          {"a\\b/c", "a\\b/", "c"},
                          {"a/b\\c", "a/b/", "c"}};
    for (const Case& c : cases) {
        CString dir("x"), name("y");
        EXPECT_EQ(splitPath(CString(c.path), dir, name), 1);
        EXPECT_EQ(s(dir), c.dir) << c.path;
        EXPECT_EQ(s(name), c.name) << c.path;
    }
}

TEST(StrHelperPaths, Slashes)
{
    EXPECT_EQ(s(appendSlash(CString(""))), "/");
    EXPECT_EQ(s(appendSlash(CString("a"))), "a/");
    EXPECT_EQ(s(appendSlash(CString("a\\"))), "a\\");
    EXPECT_EQ(s(removeTrailingSlash(CString(""))), "");
    EXPECT_EQ(s(removeTrailingSlash(CString("a//"))), "a/");
    EXPECT_FALSE(endsWithSlash(CString("")));
    EXPECT_TRUE(endsWithSlash(CString("x\\")));
}

TEST(StrHelperText, StripAndReplace)
{
    EXPECT_EQ(s(stripChar(CString("xxxa"), 'x', 2)), "xa");
    EXPECT_EQ(s(stripCharRight(CString("axxx"), 'x', 2)), "ax");
    EXPECT_EQ(s(stripChars(CString("\"q\"\""), '"', '\0', 1)), "q\"");
    EXPECT_EQ(s(stripEnclosing(CString("(a)"), '(', ')')), "a");
    EXPECT_EQ(s(stripChar(CString(""), 'x', 3)), "");
    EXPECT_EQ(s(withoutLineBreaks(CString("a\r\nb\n"))), "ab");
    EXPECT_EQ(s(replacedCopy(CString("a.b"), '.', '/')), "a/b");
    EXPECT_EQ(s(replacedCopy(CString("aXbX"), "X", "--")), "a--b--");
}

TEST(StrHelperText, CompareNoCase)
{
    EXPECT_LT(compareNoCase("ABC", "abd"), 0);
    EXPECT_EQ(compareNoCase("Hello", "hELLO"), 0);
    EXPECT_GT(compareNoCase("b", "A"), 0);
    EXPECT_LT(compareNoCase("ab", "abc"), 0);
    EXPECT_GT(compareNoCase("abc", "ab"), 0);
    EXPECT_EQ(compareNoCase(nullptr, ""), 0);
    EXPECT_NE(compareNoCase("\xC9", "\xE9"), 0); // only ASCII letters fold
}

TEST(StrHelperText, WideReplaceAll)
{
    wchar_t text[] = L"a--b--c";
    EXPECT_EQ(wideReplaceAll(text, L"--", L"+"), 0);
    EXPECT_STREQ(text, L"a+b+c");
    wchar_t shortText[] = L"ab";
    EXPECT_EQ(wideReplaceAll(shortText, L"b", L"xyz"), -1);
    EXPECT_STREQ(shortText, L"ab");
    EXPECT_EQ(wideReplaceAll(shortText, L"", L"x"), 0);
}

TEST(StrHelperUniqueId, DiffersEveryCall)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id = s(uniqueId());
        ASSERT_EQ(id.size(), 8u + 1 + 8 + 1 + 16) << id;
        EXPECT_TRUE(seen.insert(id).second);
    }
}
