#include "foundation/UArgFormat.h"

#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <cstring>
#include <string>
#include <vector>

TEST(UArgFormatPlaceholders, LowestPlaceholderFirst)
{
    EXPECT_STREQ(UArgFormat("%1, %2").arg("100%").arg("x").str(), "100%, x");
    EXPECT_STREQ(UArgFormat("%1%1").arg("ab").str(), "abab");
    EXPECT_STREQ(UArgFormat("%2-%1").arg(1).arg(2).str(), "2-1");
    EXPECT_STREQ(UArgFormat("%2 then %1").arg("x").arg("y").str(), "y then x");
    EXPECT_STREQ(UArgFormat("%%1 %1").arg("z").str(), "%1 z");
    EXPECT_STREQ(UArgFormat("%10").arg("a").str(), "a0");
    EXPECT_STREQ(UArgFormat("%0 %9").arg("a").arg("b").str(), "a b");
    EXPECT_STREQ(UArgFormat("50%").str(), "50%");
    EXPECT_STREQ(UArgFormat("a %x %1").arg("b").str(), "a %x b");
    EXPECT_STREQ(UArgFormat("%1").str(), "%1");
}

TEST(UArgFormatPlaceholders, ArgumentTextsAreNeverPlaceholders)
{
    UArgFormat f("%1 and %2");
    f.arg("has %1 inside").arg("second");
    EXPECT_STREQ(f.str(), "has %1 inside and second");
    EXPECT_STREQ(UArgFormat("%1").arg("%%").str(), "%%");
}

TEST(UArgFormatPlaceholders, UnmatchedArguments)
{
    UArgFormat on("done");
    on.setAppendUnmatched(true);
    EXPECT_STREQ(on.arg(5).str(), "done, 5");
    EXPECT_STREQ(UArgFormat("done").arg(5).str(), "done");
    EXPECT_STREQ(makeArgFormat("Invalid CIDR range", "10.0.0.0/33").str(), "Invalid CIDR range, 10.0.0.0/33");
    EXPECT_STREQ(makeArgFormat("%1", "a", "b%", 3).str(), "a, b%, 3");
}

TEST(UArgFormatTypes, FormatterArguments)
{
    EXPECT_STREQ(UArgFormat("%1").arg(-42).str(), "-42");
    EXPECT_STREQ(UArgFormat("%1").arg(255UL).str(), "0xff");
    EXPECT_STREQ(UArgFormat("%1").arg(static_cast<const char*>(nullptr)).str(), "");
    EXPECT_STREQ(UArgFormat("%1").arg(CString("c")).str(), "c");
    EXPECT_STREQ(UArgFormat("<%1>").arg(QUrl("https://host:8443/a b")).str(), "<https://host:8443/a b>");
}

TEST(UArgFormatTypes, BuilderArguments)
{
    const char* nullText = nullptr;
    EXPECT_STREQ(makeArgFormat("%1|%2|%3|%4", static_cast<unsigned short>(65535), 4000000000u, -5L, true).str(),
                 "65535|4000000000|-5|true");
    EXPECT_STREQ(makeArgFormat("%1|%2", false, nullText).str(), "false|");
    EXPECT_STREQ(makeArgFormat("%1|%2", std::string("a\0b", 3), CString("c\0d", 3)).str(), "a|c");
    EXPECT_STREQ(makeArgFormat("%1|%2", QString(), QString::fromUtf8("\xc3\xa9t\xc3\xa9")).str(), "|\xc3\xa9t\xc3\xa9");
    EXPECT_STREQ(makeArgFormat("%1 %2", QUrl("http://a/"), QUrl("http://b/")).str(), "http://a/ http://b/");
    EXPECT_STREQ(makeArgFormat("%1, %2", makeArgFormat("x %1", "50%"), "tail").str(), "x 50%, tail");
    EXPECT_STREQ(makeArgFormat("%1", 'c').str(), "c");
}

TEST(UArgFormatCopy, CopiesCarryTheFormatOnly)
{
    UArgFormat built = makeArgFormat("x");
    built.arg("dropped");
    EXPECT_STREQ(built.str(), "x");

    UArgFormat a("%1");
    a.arg("one");
    UArgFormat b("other");
    b = a;
    EXPECT_STREQ(b.str(), "one");
    b = b;
    EXPECT_STREQ(b.str(), "one");
}

TEST(UArgFormatRecord, FiveFieldRecordBytes)
{
    UArgFormat record = makeLogRecord(1, "/m_sync", 121, "UList::addObject", makeArgFormat("%1, %2", "text", 7));
    EXPECT_STREQ(record.str(), "1, /m_sync, 121, UList::addObject, text, 7\n");
    EXPECT_STREQ(makeLogRecord(48, "SessionManager", 5, "", "100% done").str(), "48, SessionManager, 5, , 100% done\n");
}

TEST(UArgFormatRecord, DescribeErrno)
{
    const std::string expected = std::string("0x2, ") + std::strerror(2);
    EXPECT_STREQ(describeErrno(2), expected.c_str());
}

TEST(UArgFormatPlaceholders, ManyPlaceholdersFollowTheSameRules)
{
    // More placeholders than the position table holds: the scanning path.
    std::string format;
    for (int i = 0; i < 20; ++i)
        format += "%" + std::to_string(i % 10) + (i % 3 == 0 ? "%%" : "-");
    UArgFormat f(format.c_str());
    std::string expected = format;
    for (int d = 0; d < 10; ++d) {
        const std::string value = "v" + std::to_string(d) + "%";
        f.arg(value.c_str());
        const std::string placeholder = "%" + std::to_string(d);
        for (size_t at = expected.find(placeholder); at != std::string::npos; at = expected.find(placeholder, at)) {
            // skip "%%" pairs that only look like a placeholder
            size_t run = 0;
            while (at > run && expected[at - run - 1] == '%')
                ++run;
            if (run % 2 == 1) {
                at += 2;
                continue;
            }
            expected.replace(at, 2, value + "%");
            at += value.size() + 1;
        }
    }
    std::string result;
    for (size_t i = 0; i < expected.size(); ++i) {
        result += expected[i];
        if (expected[i] == '%' && i + 1 < expected.size() && expected[i + 1] == '%')
            ++i;
    }
    EXPECT_EQ(std::string(f.str()), result);
    EXPECT_EQ(std::string(f.str()).find("%0"), std::string::npos);
}

TEST(UArgFormatPlaceholders, ArgumentFromTheFormattersOwnText)
{
    UArgFormat f("%1 %2");
    f.arg("a");
    f.arg(f.str());
    EXPECT_STREQ(f.str(), "a a %2");
    UArgFormat g("<%1>");
    g.setAppendUnmatched(true);
    g.arg("x");
    g.arg(g.str());
    EXPECT_STREQ(g.str(), "<x>, <x>");
}

TEST(UArgFormatPlaceholders, LongArgumentsGrowTheFormat)
{
    const std::string big(5000, 'b');
    UArgFormat f("[%1|%1]");
    f.arg(big.c_str());
    EXPECT_EQ(std::string(f.str()), "[" + big + "|" + big + "]");
}

namespace {

// The placeholder rules written out plainly: scan, find the lowest digit,
// rebuild; surplus arguments appended after ", " when asked.
std::string referenceFormat(std::string format, const std::vector<std::string>& args, bool append)
{
    for (std::string a : args) {
        std::string doubled;
        for (char c : a) {
            doubled += c;
            if (c == '%')
                doubled += '%';
        }
        int lowest = -1;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] != '%')
                continue;
            if (i + 1 >= format.size())
                break;
            if (format[i + 1] == '%') {
                ++i;
            } else if (format[i + 1] >= '0' && format[i + 1] <= '9') {
                const int d = format[i + 1] - '0';
                if (lowest < 0 || d < lowest)
                    lowest = d;
                ++i;
            }
        }
        if (lowest >= 0) {
            std::string rebuilt;
            for (size_t i = 0; i < format.size(); ++i) {
                if (format[i] == '%' && i + 1 < format.size()) {
                    if (format[i + 1] == '%') {
                        rebuilt += "%%";
                        ++i;
                        continue;
                    }
                    if (format[i + 1] == '0' + lowest) {
                        rebuilt += doubled;
                        ++i;
                        continue;
                    }
                    if (format[i + 1] >= '0' && format[i + 1] <= '9') {
                        rebuilt += format.substr(i, 2);
                        ++i;
                        continue;
                    }
                }
                rebuilt += format[i];
            }
            format = rebuilt;
        } else if (append) {
            format += ", " + doubled;
        }
    }
    std::string result;
    for (size_t i = 0; i < format.size(); ++i) {
        result += format[i];
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%')
            ++i;
    }
    return result;
}

} // namespace

TEST(UArgFormatPlaceholders, AgreesWithThePlainRulesOnRandomTexts)
{
    const char alphabet[] = "%%%%0123a9 ,";
    unsigned int seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    auto randomText = [&](size_t maxLength) {
        std::string s;
        const size_t n = next() % (maxLength + 1);
        for (size_t i = 0; i < n; ++i)
            s += alphabet[next() % (sizeof(alphabet) - 1)];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string format = randomText(round % 11 == 0 ? 200 : round % 7 == 0 ? 60 : 14);
        std::vector<std::string> args;
        const size_t count = next() % 6;
        for (size_t i = 0; i < count; ++i)
            args.push_back(randomText(6));
        if (round % 11 == 0) { // many placeholders: also the scanning path
            for (int extra = 0; extra < 12; ++extra)
                args.push_back(randomText(4));
        }
        const bool append = (round % 2) == 0;
        UArgFormat f(format.c_str());
        f.setAppendUnmatched(append);
        for (const std::string& a : args)
            f.arg(a.c_str());
        ASSERT_EQ(std::string(f.str()), referenceFormat(format, args, append))
            << "format '" << format << "' round " << round;
    }
}
