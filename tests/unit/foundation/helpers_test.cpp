// The toolkit's texts as the library's: UTF-8, up to the first zero character.

#include <gtest/gtest.h>

#include <QString>

#include <string>

#include "foundation/Helpers.h"

TEST(HelpersTest, ToCStringUtf8)
{
    struct Case {
        QString text;
        std::string bytes;
    };
    const Case cases[] = {
        {QString(), ""},
        {QStringLiteral("plain"), "plain"},
        {QString::fromUtf8("Grüße, 日本"), "Gr\xc3\xbc\xc3\x9f"
                                           "e, \xe6\x97\xa5\xe6\x9c\xac"},
        {QString::fromUtf8("a\0b", 3), "a"},
    };
    for (const Case& c : cases) {
        const CString converted = tessal::qt::toCStringUtf8(c.text);
        EXPECT_EQ(c.bytes,
                  std::string(static_cast<const char*>(converted), static_cast<size_t>(converted.GetLength())));
    }
}

// Only the ASCII letters fold; every other byte, a NUL too, counts as it is.
TEST(HelpersTest, EqualsNoCaseBytes)
{
    using namespace std::string_literals;
    const struct {
        std::string a, b;
        bool equal;
    } rows[] = {
        {"Site.Example", "site.EXAMPLE", true},
        {"a\0B"s, "A\0b"s, true},
        {"a\0b"s, "a\0c"s, false},
        {"abc", "ab", false},
        {"\xc3\x84", "\xc3\xa4", false}, // Ä and ä
        {"I", "\xc4\xb1", false}, // not the dotless i
    };
    for (const auto& row : rows)
        EXPECT_EQ(equalsNoCase(row.a, row.b), row.equal) << row.a;
}
