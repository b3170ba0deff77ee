// The hand-over to the browser controller: which exceptions end the session
// with an error and which end it quietly; and the tag-text utility.
#include "RecordingLog.h"

#include "foundation/UException.h"
#include "session/Session.h"

#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

using tessal::qt::ControllerStart;
using tessal::qt::extractTagText;
using tessal::qt::startBrowserControllerGuarded;
using tessal::test::RecordingLog;

namespace {

TEST(SessionStart, OnlyABreakOrCodeZeroEndsWithoutAnError)
{
    const struct {
        const char* name;
        std::function<void()> start;
        ControllerStart outcome;
        bool recorded;
    } rows[] = {
        {"started", [] {}, ControllerStart::Started, false},
        {"break", [] { throw UBreakException(); }, ControllerStart::EndedSilently, false},
        {"code 0", [] { throw UException(0, "EXCEPTION - %s", "zero"); }, ControllerStart::EndedSilently, true},
        {"code -1", [] { throw UException(-1, "EXCEPTION - %s", "minus one"); }, ControllerStart::Failed, true},
        {"code 7", [] { throw UException(7, "EXCEPTION - %s", "seven"); }, ControllerStart::Failed, true},
        {"standard", [] { throw std::runtime_error("no window"); }, ControllerStart::Failed, true},
        {"other", [] { throw 42; }, ControllerStart::Failed, true},
    };
    for (const auto& row : rows) {
        RecordingLog log;
        EXPECT_EQ(startBrowserControllerGuarded("op", row.start), row.outcome) << row.name;
        EXPECT_EQ(log.contains("Exception for NA manager"), row.recorded) << row.name << "\n" << log.text();
    }
}

TEST(SessionStart, ExtractTagText)
{
    const struct {
        const char* text;
        const char* tag;
        const char* result; // null: throws
    } rows[] = {
        {"<a><b>inner</b></a>", "b", "inner"}, {"x<b></b>", "b", ""},    {"<b>one</b><b>two</b>", "b", "one"},
        {"</b><b>late</b>", "b", "late"},      {"no tag here", "b", ""}, {"<b>open only", "b", nullptr},
    };
    for (const auto& row : rows) {
        if (row.result != nullptr) {
            EXPECT_EQ(extractTagText(row.text, row.tag), row.result) << row.text;
            continue;
        }
        try {
            extractTagText(row.text, row.tag);
            ADD_FAILURE() << "no error for " << row.text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Failed to find closing tag for b");
        }
    }
}

} // namespace
