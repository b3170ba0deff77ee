#include "foundation/IUErrorLog.h"

#include "RecordingLog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using tessal::test::RecordingLog;

namespace {

struct NoTrace {
    unsigned int saved = traceFlags.exchange(0);
    ~NoTrace() { traceFlags.store(saved); }
};

} // namespace

TEST(IUErrorLogLevels, SetLogLevel)
{
    NoTrace quiet;
    RecordingLog log(31);
    EXPECT_EQ(log.setLogLevel(0), 0);
    EXPECT_EQ(log.getLogLevel(), 1);
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.last(), "0,,,, log level has been changed to 1\n");
    log.setLogLevel(1);
    EXPECT_EQ(log.count(), 1u);
    log.setLogLevel(63);
    EXPECT_EQ(log.last(), "0,,,, log level has been changed to 63\n");
}

TEST(IUErrorLogLevels, FilterByLevel)
{
    NoTrace quiet;
    RecordingLog log(31);
    ULOG_VERBOSE("/x", "f", "verbose");
    EXPECT_EQ(log.count(), 0u);
    ULOG_WARNING("/x", "f", "warning");
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.last(), "2, /x, " + std::to_string(__LINE__ - 2) + ", f, warning\n");
    log.WriteLog(0, "always %d\n", 1);
    EXPECT_EQ(log.last(), "0,,,, always 1\n");
    log.WriteLog(48, "filtered\n");
    EXPECT_EQ(log.count(), 2u);
    log.WriteLog(2, "prio %s\n", "two");
    EXPECT_EQ(log.last(), "2,,,, prio two\n");
    log.WriteLog("plain %s\n", "x");
    EXPECT_EQ(log.last(), "0,,,, plain x\n");
}

TEST(IUErrorLogLevels, MessageIsBuiltOnlyWhenWritten)
{
    RecordingLog log(1);
    int built = 0;
    auto message = [&] {
        ++built;
        return CString("m");
    };
    ULOG_VERBOSE("/x", "f", message());
    EXPECT_EQ(built, 0);
    ULOG_ERROR("/x", "f", message());
    EXPECT_EQ(built, 1);
}

TEST(IUErrorLogBodies, WritersAndCuts)
{
    NoTrace quiet;
    RecordingLog log(63);
    log.writeMessage("a\n");
    EXPECT_EQ(log.last(), "0,,,, a\n");
    log.writeLevelMessage(48, "b\n");
    EXPECT_EQ(log.last(), "48,,,, b\n");
    log.writeMessageAlways("c");
    EXPECT_EQ(log.last(), "0,,,, c");

    std::string big(6000, 'w');
    log.WriteLog("%s", big.c_str());
    EXPECT_EQ(log.last(), "0,,,, " + std::string(5119, 'w'));
    log.WriteLog(nullptr);
    EXPECT_EQ(log.last(), "0,,,, IUErrorLog::WriteLog(LPCTSTR lpszMsg, ...) - template is NULL\n");
    log.WriteLog(1, nullptr);
    EXPECT_EQ(log.last(), "1,,,, IUErrorLog::WriteLog(int a_iPriority, LPCTSTR lpszMsg, ...) - template is NULL\n");

    ERRORLOGLEVEL2("%s", big.c_str());
    EXPECT_EQ(log.last(), "2,,,, " + std::string(2047, 'w'));
    ERRORLOGLEVEL1(nullptr);
    EXPECT_EQ(log.last(), "1,,,, ERRORLOGLEVELx() wrong parameter");
    ERRORLOGLEVEL48("v=%d\n", 3);
    EXPECT_EQ(log.last(), "48,,,, v=3\n");

    log.setLogLevel(31);
    const size_t before = log.count();
    ERRORLOGLEVEL48("hidden\n");
    EXPECT_EQ(log.count(), before);
    // Data passed as the text is never taken for a format.
    log.WriteLog(1, "%s", "%s%n%d");
    EXPECT_EQ(log.last(), "1,,,, %s%n%d");
}

TEST(IUErrorLogBodies, HexBytes)
{
    NoTrace quiet;
    RecordingLog log(63);
    unsigned char data[33];
    for (int i = 0; i < 33; ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    log.writeHexBytes(48, data, 33);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 19), "48,,,,   0  7  E 15");
    EXPECT_EQ(lines[0].size(), std::string("48,,,, ").size() + 32 * 3 + 1);
    EXPECT_EQ(lines[1], "48,,,,  E0\n");
    log.writeHexBytes(63 + 1, data, 33);
    log.writeHexBytes(1, data, 0);
    EXPECT_EQ(log.count(), 2u);
}

TEST(IUErrorLogGlobal, NoLogInstalledDropsRecords)
{
    IUErrorLog* saved = g_pErrorLog.exchange(nullptr);
    ULOG_ERROR("/x", "f", "dropped");
    EXPECT_EQ(ERRORLOGLEVEL1("dropped"), 0);
    EXPECT_EQ(ulogFor(1), nullptr);
    g_pErrorLog.store(saved);
}

TEST(IUErrorLogGlobal, ConcurrentLevelChangesAndRecords)
{
    NoTrace quiet;
    RecordingLog log(63);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &log] {
            for (int i = 0; i < 200; ++i) {
                ULOG_ERROR("/t", "worker", makeArgFormat("thread %1 record %2", t, i));
                if (i % 50 == 0)
                    log.setLogLevel(t % 2 == 0 ? 63 : 31);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    size_t records = 0;
    for (const auto& line : log.lines()) {
        if (line.rfind("1, /t, ", 0) == 0) {
            ++records;
            EXPECT_EQ(line.back(), '\n');
        }
    }
    EXPECT_EQ(records, 800u);
}
