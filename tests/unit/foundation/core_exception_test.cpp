#include "foundation/UException.h"

#include "RecordingLog.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <stdexcept>
#include <string>

using tessal::test::RecordingLog;

TEST(UExceptionFields, DefaultHasNothing)
{
    RecordingLog log;
    UException e;
    EXPECT_EQ(e.getCode(), -1);
    EXPECT_EQ(e.getLine(), 0);
    EXPECT_EQ(e.getMessage(), nullptr);
    EXPECT_EQ(e.getFile(), nullptr);
    EXPECT_EQ(e.getFunction(), nullptr);
    EXPECT_FALSE(e.hasMessage());
    EXPECT_STREQ(e.what(), "");
    EXPECT_EQ(log.count(), 0u);

    UBreakException b;
    EXPECT_EQ(b.getCode(), -1);
    EXPECT_EQ(log.count(), 0u);
}

TEST(UExceptionFields, LocationTextLimits)
{
    RecordingLog log;
    const std::string f1000(1000, 'f');
    const std::string f1001(1001, 'f');
    UException stored(-1, "/file", f1000.c_str(), 3, "EXCEPTION - %s", "m");
    EXPECT_STREQ(stored.getFunction(), f1000.c_str());
    UException dropped(-1, f1001.c_str(), f1001.c_str(), 3, "EXCEPTION - %s", "m");
    EXPECT_EQ(dropped.getFunction(), nullptr);
    EXPECT_EQ(dropped.getFile(), nullptr);
    EXPECT_STREQ(dropped.getMessage(), "EXCEPTION - m");
    EXPECT_EQ(dropped.getLine(), 3);
}

TEST(UExceptionFields, MessageCutAndNullFormat)
{
    RecordingLog log;
    const std::string big(6000, 'm');
    UException e("%s", big.c_str());
    EXPECT_EQ(std::string(e.getMessage()).size(), 5119u);

    UException n(static_cast<const char*>(nullptr));
    EXPECT_STREQ(n.getMessage(), "UException::UException(LPCTSTR lpszMsg, ...) - template parameter is NULL");
    EXPECT_EQ(log.last(), "1, , 0, , UException::UException(LPCTSTR lpszMsg, ...) - template parameter is NULL\n");
}

TEST(UExceptionRecords, RecordShapes)
{
    RecordingLog log(1);
    UException coded(255, "/m_strings", "toDWORD()", 77, "EXCEPTION - %s, %s", "invalid a_str", "x");
    EXPECT_EQ(log.last(), "1, /m_strings, 77, toDWORD(), (0xff) EXCEPTION - invalid a_str, x\n");
    UException plain(-1, "/m_strings", "toDWORD()", 78, "EXCEPTION - %s", "100% bad");
    EXPECT_EQ(log.last(), "1, /m_strings, 78, toDWORD(), EXCEPTION - 100% bad\n");
    UException bare("no location %d", 5);
    EXPECT_EQ(log.last(), "1, , 0, , no location 5\n");
    UException negative(-5, "/f", "g", 1, "neg");
    EXPECT_EQ(log.last(), "1, /f, 1, g, (0xfffffffb) neg\n");
    EXPECT_EQ(log.count(), 4u);

    UException copy(coded);
    UException assigned;
    assigned = plain;
    EXPECT_EQ(log.count(), 4u);
    EXPECT_EQ(copy.getCode(), 255);
    EXPECT_STREQ(copy.getFile(), "/m_strings");
    EXPECT_NE(copy.getMessage(), coded.getMessage());
    EXPECT_STREQ(assigned.getMessage(), plain.getMessage());
    assigned = assigned;
    EXPECT_STREQ(assigned.getFunction(), "toDWORD()");
}

TEST(UExceptionRecords, NoLogStillBuilds)
{
    IUErrorLog* saved = g_pErrorLog.exchange(nullptr);
    UException e(-1, "/f", "g", 1, "EXCEPTION - %s", "quiet");
    EXPECT_STREQ(e.what(), "EXCEPTION - quiet");
    g_pErrorLog.store(saved);
}

TEST(UExceptionMutators, ClearSetMessageSetUnknown)
{
    RecordingLog log;
    UException e(7, "/f", "g", 9, "text");
    e.clear();
    EXPECT_EQ(e.getCode(), 7);
    EXPECT_EQ(e.getLine(), 0);
    EXPECT_FALSE(e.hasMessage());
    const char* tag = "tag";
    EXPECT_EQ(e.setMessage(tag), tag);
    EXPECT_EQ(e.getCode(), -1);
    EXPECT_STREQ(e.getMessage(), "tag");
    EXPECT_EQ(e.setUnknown(12), 12);
    EXPECT_STREQ(e.getMessage(), "unknown exception");
    e.setFile(std::string(1001, 'x').c_str());
    EXPECT_EQ(e.getFile(), nullptr);
    // The exception keeps a copy: the thrower's text may be gone when it is caught.
    char function[] = "fn";
    e.setFunction(function);
    function[0] = 'x';
    EXPECT_STREQ(e.getFunction(), "fn");
}

TEST(GuardOperation, HandlerOrderAndResults)
{
    RecordingLog log(1);

    int rc = -1;
    EXPECT_EQ(guardOperation(UCATCH_SITE("/m", "op() - EXCEPTION", "op"), rc,
                             [&] {
                                 rc = 0;
                                 throw UBreakException();
                             }),
              0);
    EXPECT_EQ(log.count(), 0u);

    rc = -1;
    UException record;
    guardOperation(
        UCATCH_SITE("/m", "op() - EXCEPTION", "op"), rc,
        [] { throw UException(-7, "/m", "op()", 10, "EXCEPTION - %s", "bad"); }, -1, &record);
    EXPECT_EQ(rc, -7);
    EXPECT_STREQ(record.getMessage(), "EXCEPTION - bad");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "1, /m, 10, op(), (0xfffffff9) EXCEPTION - bad\n");
    EXPECT_EQ(lines[1].substr(0, 6), "1, /m,");
    EXPECT_NE(lines[1].find(", , EXCEPTION caught: op() - EXCEPTION\n"), std::string::npos);

    log.clear();
    rc = 0;
    guardOperation(UCATCH_SITE("/m", "op() - EXCEPTION", "op"), rc, [] { throw std::runtime_error("boom"); });
    EXPECT_EQ(rc, -1);
    ASSERT_EQ(log.count(), 1u);
    EXPECT_NE(log.last().find(", , op() - EXCEPTION, boom\n"), std::string::npos);

    log.clear();
    rc = 0;
    UException unknown;
    guardOperation(
        UCATCH_SITE("/m", "op() - EXCEPTION", "op"), rc, [] { throw 42; }, -3, &unknown);
    EXPECT_EQ(rc, -3);
    EXPECT_STREQ(unknown.getMessage(), "op() - EXCEPTION");
    EXPECT_EQ(unknown.getCode(), -1);
    EXPECT_NE(log.last().find(", , EXCEPTION caught: op() - EXCEPTION\n"), std::string::npos);

    rc = -1;
    EXPECT_EQ(guardOperation(UCATCH_SITE("/m", "t", "o"), rc, [&] { rc = 5; }), 5);
}

TEST(GuardOperation, NoRecordsBelowLevelOne)
{
    RecordingLog log(0);
    log.setLogLevel(-1);
    log.clear();
    int rc = 0;
    guardOperation(UCATCH_SITE("/m", "t", "o"), rc, [] { throw std::runtime_error("x"); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(log.count(), 0u);
}

namespace {

struct UnwindProbe {
    bool afterGuard = false;
    bool cleanupRan = false;
};

void* cancelledWorker(void* arg)
{
    auto* probe = static_cast<UnwindProbe*>(arg);
    struct Cleanup {
        UnwindProbe* p;
        ~Cleanup() { p->cleanupRan = true; }
    } cleanup{probe};
    int rc = -1;
    guardOperation(UCATCH_SITE("/m", "worker() - EXCEPTION", "worker"), rc, [] { pthread_exit(nullptr); });
    probe->afterGuard = true;
    return nullptr;
}

} // namespace

TEST(GuardOperation, ForcedUnwindIsRecordedAndPassedOn)
{
    RecordingLog log(1);
    UnwindProbe probe;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, cancelledWorker, &probe), 0);
    pthread_join(thread, nullptr);
    EXPECT_FALSE(probe.afterGuard);
    EXPECT_TRUE(probe.cleanupRan);
    ASSERT_EQ(log.count(), 1u);
    const std::string line = log.last();
    EXPECT_EQ(line.substr(0, 6), "1, /m,");
    EXPECT_NE(line.find(", worker, EXCEPTION caught (forced stack unwind), worker() - EXCEPTION\n"), std::string::npos);
}
