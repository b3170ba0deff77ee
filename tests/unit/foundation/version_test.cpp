#include "RecordingLog.h"
#include "foundation/UException.h"
#include "foundation/UVersion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tessal::test::RecordingLog;

TEST(Version, ParseTable)
{
    RecordingLog log;
    struct {
        const char* text;
        size_t count;
        std::vector<uint16_t> parts; // empty: refused
        const char* reason;
    } const cases[] = {
        {"6.10.2", 3, {6, 10, 2}, ""},
        {"6,10,2", 3, {6, 10, 2}, ""},
        {"6..10.2", 3, {6, 10, 2}, ""},
        {".6.10.2.", 3, {6, 10, 2}, ""},
        {"7270.0.0.1", 4, {7270, 0, 0, 1}, ""},
        {"65535.0.0.0", 4, {65535, 0, 0, 0}, ""},
        {"6.10", 3, {}, "wrong number of elements"},
        {"6.10.2.1", 3, {}, "wrong number of elements"},
        {"...", 3, {}, "wrong number of elements"},
        {"6.70000.2", 3, {}, "element #1 is invalid"},
        {"6.10.2a", 3, {}, "invalid characters"},
        {"6.10 .2", 3, {}, "invalid characters"},
        {"", 3, {}, "invalid characters"},
        {"1.2.3.4.5.6.7.8.9.10.11.", 3, {}, "input value is too long"},
        {"6.10.2", 0, {}, "0 length strings are not allowed"},
    };
    for (const auto& c : cases) {
        std::vector<uint16_t> parts = {42};
        CString reason;
        const bool ok = UVersion::parse(c.text, parts, reason, c.count);
        EXPECT_EQ(ok, !c.parts.empty()) << c.text;
        EXPECT_EQ(UVersion::isValid(c.text, c.count), ok) << c.text;
        if (ok) {
            EXPECT_EQ(parts, c.parts) << c.text;
        } else {
            EXPECT_STREQ(static_cast<const char*>(reason), c.reason) << c.text;
            EXPECT_EQ(parts, std::vector<uint16_t>{42}) << "parts left alone: " << c.text;
        }
    }
}

TEST(Version, ConstructorThrowsWithReason)
{
    RecordingLog log;
    EXPECT_EQ(UVersion("6.10.2", 3).parts(), (std::vector<uint16_t>{6, 10, 2}));
    try {
        UVersion v("6.10", 3);
        FAIL() << "no exception";
    } catch (const UException& e) {
        EXPECT_EQ(e.getCode(), -1);
        EXPECT_STREQ(e.getMessage(), "EXCEPTION - input data is not valid, 6.10, wrong number of elements");
    }
}

TEST(Version, OrdersPartByPart)
{
    EXPECT_LT(UVersion("6.10.2", 3), UVersion("6.10.10", 3));
    EXPECT_LT(UVersion("6.4.2", 3), UVersion("6.10.2", 3));
    EXPECT_GT(UVersion("7.0.0", 3), UVersion("6.65535.65535", 3));
    EXPECT_EQ(UVersion("6.10.2", 3), UVersion("6,10,2", 3));
    EXPECT_LE(UVersion("6.10.2", 3), UVersion("6.10.2", 3));
    EXPECT_GE(UVersion("6.10.2", 3), UVersion("6.10.2", 3));
    EXPECT_NE(UVersion("1.0.0.1", 4), UVersion("1.0.0.2", 4));
}
