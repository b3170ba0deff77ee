// Start and stop of the svpn stand-in (docs/svpn-poll-protocol.md).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildState.h"
#include "HexText.h"
#include "RecordingHandler.h"
#include "SvpnStandIn.h"
#include "foundation/UClasses.h"
#include "foundation/UserLockFile.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

using tessal::test::hex;

UPropertyList* listOf(const std::vector<std::pair<const char*, const char*>>& pairs)
{
    auto* list = new UPropertyList();
    for (const auto& [name, value] : pairs)
        list->setProperty(name, value);
    return list;
}

// Empty for a process that is gone, also one reaped while it is read (ESRCH).
std::string cmdline(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return std::string();
    }
}

class SvpnLaunch : public ::testing::Test
{
protected:
    void SetUp() override { tessal::qt::TunnelTestSeam::resetLastSessionId(); }
};

TEST_F(SvpnLaunch, DaemonReceivesTheExactHexStartText)
{
    SvpnStandIn standIn("reply &setloaded\n");
    RecordingHandler handler;
    ASSERT_EQ(handler.Open(listOf({{"SESSION_ID", "0123456789abcdef"}, {"CLSID", "x"}, {"Name", "v=1"}})), 0);
    const std::string pid = std::to_string(getpid());
    const std::string expected = "q4=" + hex("version=2.9") + "&q3=" + hex("browser_pid=" + pid) +
                                 "&q2=" + hex("Name=v=1") + "&q0=" + hex("SESSION_ID=0123456789abcdef") + "&";
    EXPECT_EQ(standIn.lines("stdin "), std::vector<std::string>{expected});
    EXPECT_EQ(standIn.lines("argv "), std::vector<std::string>{"1 " + SvpnStandIn::executable()});
    EXPECT_GT(standIn.daemonPid(), 1);
    EXPECT_EQ(handler.CloseTunnel(), 0);
    ASSERT_TRUE(handler.waitForEnd(5000));
    EXPECT_EQ(handler.events().back(), "closed 0");
    EXPECT_TRUE(waitUntil([&] { return !standIn.lines("term").empty(); }, 3000));
}

TEST_F(SvpnLaunch, PlainFormKeepsEveryEntry)
{
    SvpnStandIn standIn("listen off\n");
    RecordingHandler handler;
    ASSERT_EQ(handler.Open(listOf({{"IsHalvane", "YES"}, {"CLSID", "{1}"}, {"TUNNEL_DISCONNECTED_BY_USER", "true"}})),
              0);
    const std::string expected = "version=2.9&browser_pid=" + std::to_string(getpid()) +
                                 "&TUNNEL_DISCONNECTED_BY_USER=true&CLSID={1}&IsHalvane=YES&";
    EXPECT_EQ(standIn.lines("stdin "), std::vector<std::string>{expected});
}

TEST_F(SvpnLaunch, FirstProcessExitStatusDecides)
{
    {
        SvpnStandIn standIn("exit 2\n");
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), -3);
        EXPECT_EQ(standIn.lines("stdin ").size(), 1u);
    }
    {
        SvpnStandIn standIn("crash\n");
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), -6);
    }
    {
        // A failed start of the daemon itself counts as launched; the worker then
        // finds nobody listening.
        SvpnStandIn standIn("exit 255\n");
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), 0);
        ASSERT_TRUE(handler.waitForEnd(8000));
        EXPECT_EQ(handler.events(), (std::vector<std::string>{"connecting", "closed -102"}));
    }
}

TEST_F(SvpnLaunch, MissingExecutable)
{
    SvpnStandIn standIn("");
    standIn.hideExecutable();
    RecordingHandler handler;
    EXPECT_EQ(handler.Open(listOf({})), -3);
    EXPECT_EQ(handler.Open(nullptr), -101);
    EXPECT_TRUE(standIn.record().empty());
}

TEST_F(SvpnLaunch, StalePidFilesDoNotBlockTheLaunch)
{
    for (const std::string& stale : {std::string("999999999\n"), std::to_string(getpid()), std::string("1"),
                                     std::string("12abc"), std::string("")}) {
        SvpnStandIn standIn("listen off\n");
        SvpnStandIn::writePidFile(stale);
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), 0) << "pid file: " << stale;
        EXPECT_EQ(standIn.lines("stdin ").size(), 1u);
    }
}

TEST_F(SvpnLaunch, RunningDaemonRefusesASecondStart)
{
    SvpnStandIn standIn("reply &setloaded\n");
    RecordingHandler first;
    ASSERT_EQ(first.Open(listOf({})), 0);
    ASSERT_GT(standIn.daemonPid(), 1);
    RecordingHandler second;
    EXPECT_EQ(second.Open(listOf({})), -2);
    EXPECT_EQ(standIn.lines("stdin ").size(), 1u); // no second process was started
}

// Two starts of one user at once (two handlers, as two clients would have),
// with a daemon that names itself late: only one daemon is started.
TEST_F(SvpnLaunch, TwoStartsAtOnceStartOneDaemon)
{
    SvpnStandIn standIn("pidfile-delay 400\nreply &setloaded\n");
    RecordingHandler first;
    RecordingHandler second;
    int results[2] = {1, 1};
    std::thread a([&] { results[0] = first.Open(listOf({})); });
    usleep(50000);
    std::thread b([&] { results[1] = second.Open(listOf({})); });
    a.join();
    b.join();
    EXPECT_EQ(standIn.lines("argv ").size(), 1u);
    std::sort(std::begin(results), std::end(results));
    EXPECT_EQ(results[0], -2);
    EXPECT_EQ(results[1], 0);
}

TEST_F(SvpnLaunch, FirstProcessKilledAfterTheBoundLeavesNoOrphanDaemon)
{
    SvpnStandIn standIn("linger 3000\nreply &setloaded\n");
    int daemon = 0;
    {
        RecordingHandler first;
        first.setLaunchWait(1000);
        EXPECT_EQ(first.Open(listOf({})), 0); // the daemon is up: started
        daemon = standIn.daemonPid();
        ASSERT_GT(daemon, 1);
    } // going without an explicit close, as a dropped resource does
    EXPECT_TRUE(waitUntil([&] { return kill(daemon, 0) != 0 || cmdline(daemon).empty(); }, 3000));
    RecordingHandler second;
    second.setLaunchWait(1000);
    EXPECT_EQ(second.Open(listOf({})), 0); // not refused with -2
    // The first process records its lingering only after the daemon is up.
    EXPECT_TRUE(waitUntil([&] { return standIn.lines("linger").size() == 2u; }, 10000))
        << standIn.lines("linger").size();
}

// The waits for a slow first process and for another start's launch lock
// serve the event loop: a close asked for meanwhile stops the daemon at once,
// or starts none, and the tunnel ends closed with 0.
TEST_F(SvpnLaunch, CloseDuringASlowStartStopsTheDaemonAtOnce)
{
    for (const bool otherStartHoldsTheLock : {false, true}) {
        SCOPED_TRACE(otherStartHoldsTheLock ? "launch lock held" : "slow first process");
        SvpnStandIn standIn("linger 1500\nlisten off\n");
        UUserLockFile otherStart("tessalvpn-svpn.lock", UUserLockFile::Fallback::UserSocket);
        ASSERT_TRUE(!otherStartHoldsTheLock || otherStart.tryLock());
        RecordingHandler handler;
        bool opening = true;
        bool closedWhileOpening = false;
        QTimer::singleShot(300, [&] {
            closedWhileOpening = opening;
            EXPECT_EQ(handler.CloseTunnel(), 0);
        });
        EXPECT_EQ(handler.Open(listOf({})), 0);
        opening = false;
        EXPECT_TRUE(closedWhileOpening);
        EXPECT_EQ(standIn.lines("argv ").empty(), otherStartHoldsTheLock);
        EXPECT_EQ(standIn.lines("term").empty(), otherStartHoldsTheLock); // before the first process left
        ASSERT_TRUE(handler.waitForEnd(3000));
        EXPECT_EQ(handler.events(), (std::vector<std::string>{"closed 0"}));
    }
}

volatile sig_atomic_t g_childSignals = 0;

TEST_F(SvpnLaunch, ChildSignalStaysWithItsHandlerDuringTheLaunch)
{
    SvpnStandIn standIn("linger 600\nlisten off\n");
    struct sigaction counting {
    }, old{};
    counting.sa_handler = [](int) { g_childSignals = g_childSignals + 1; };
    counting.sa_flags = SA_RESTART;
    sigemptyset(&counting.sa_mask);
    ASSERT_EQ(sigaction(SIGCHLD, &counting, &old), 0);
    g_childSignals = 0;
    const pid_t other = fork(); // another part's child, ending while the first process lingers
    if (other == 0) {
        usleep(200000);
        _exit(0);
    }
    RecordingHandler handler;
    EXPECT_EQ(handler.Open(listOf({})), 0);
    EXPECT_GE(g_childSignals, 1);
    int status = 0;
    EXPECT_EQ(waitpid(other, &status, 0), other);
    struct sigaction now {};
    sigaction(SIGCHLD, &old, &now);
    EXPECT_EQ(now.sa_handler, counting.sa_handler);

    // An ignored disposition is ignored again once the first process is reaped.
    signal(SIGCHLD, SIG_IGN);
    SvpnStandIn::stopDaemon();
    RecordingHandler second;
    EXPECT_EQ(second.Open(listOf({})), 0);
    sigaction(SIGCHLD, &old, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}

// Children of other parts that end while the launch waits for its own child
// are reaped afterwards when the process does not keep zombies.
TEST_F(SvpnLaunch, OtherChildrenEndingDuringTheLaunchAreNotLeftAsZombies)
{
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGCHLD, nullptr, &old), 0);
    for (const bool noWaitHandler : {false, true}) {
        SvpnStandIn standIn("linger 600\nlisten off\n");
        struct sigaction keepsNone {};
        sigemptyset(&keepsNone.sa_mask);
        keepsNone.sa_handler = noWaitHandler ? +[](int) {} : SIG_IGN;
        keepsNone.sa_flags = noWaitHandler ? SA_NOCLDWAIT | SA_RESTART : 0;
        ASSERT_EQ(sigaction(SIGCHLD, &keepsNone, nullptr), 0);
        const pid_t other = fork();
        if (other == 0) {
            usleep(200000);
            _exit(0);
        }
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), 0);
        // A zombie stays for good; a child that ended late is reaped by the system.
        EXPECT_TRUE(waitUntil([other] { return kill(other, 0) != 0; }, 10000))
            << (noWaitHandler ? "SA_NOCLDWAIT" : "SIG_IGN") << ": zombie left";
        sigaction(SIGCHLD, &old, nullptr);
        waitpid(other, nullptr, WNOHANG);
        EXPECT_EQ(handler.CloseTunnel(), 0);
    }
}

// A handler of another part that reaps every child takes our first process's
// status: the start counts only when a live daemon is named by the pid file.
TEST_F(SvpnLaunch, LostFirstProcessStatusNeedsALiveDaemon)
{
    struct sigaction reapsAll {
    }, old{};
    reapsAll.sa_handler = [](int) {
        const int saved = errno;
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        errno = saved;
    };
    reapsAll.sa_flags = SA_RESTART;
    sigemptyset(&reapsAll.sa_mask);
    ASSERT_EQ(sigaction(SIGCHLD, &reapsAll, &old), 0);
    {
        SvpnStandIn standIn("exit 2\n");
        RecordingHandler handler;
        EXPECT_NE(handler.Open(listOf({})), 0);
    }
    {
        SvpnStandIn standIn("reply &setloaded\n");
        RecordingHandler handler;
        EXPECT_EQ(handler.Open(listOf({})), 0);
        EXPECT_GT(standIn.daemonPid(), 1);
    }
    sigaction(SIGCHLD, &old, nullptr);
}

TEST_F(SvpnLaunch, CloseWithoutDaemon)
{
    SvpnStandIn standIn("");
    RecordingHandler handler;
    EXPECT_EQ(handler.CloseTunnel(), 0);
    EXPECT_FALSE(handler.isRunning());
}

TEST_F(SvpnLaunch, CloseSignalsOnlyOurDaemon)
{
    SvpnStandIn standIn("");
    // A live process whose first argument is "svpn" without any folder.
    const pid_t other = fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        execl("/bin/sleep", "svpn", "20", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_TRUE(waitUntil([other] { return cmdline(other) == std::string("svpn") + '\0' + "20" + '\0'; }, 2000));
    EXPECT_FALSE(SvpnHandler::isSvpnProcess(other));
    SvpnStandIn::writePidFile(std::to_string(other) + "\n");
    RecordingHandler handler;
    EXPECT_EQ(handler.CloseTunnel(), 0);
    usleep(100000);
    int status = 0;
    EXPECT_EQ(waitpid(other, &status, WNOHANG), 0); // still alive
    kill(other, SIGKILL);
    waitpid(other, &status, 0);
}

// The daemon gets its start text on standard input, the standard output and
// error, and nothing else of this process, with every signal at its default.
TEST_F(SvpnLaunch, DaemonGetsOnlyItsStandardDescriptorsAndDefaultSignals)
{
    SvpnStandIn standIn("listen off\n");
    {
        tessal::test::StrayParentState stray;
        RecordingHandler handler;
        ASSERT_EQ(handler.Open(listOf({})), 0);
    }
    const tessal::test::ChildState state = tessal::test::parseChildState(standIn.lines("inherited "));
    EXPECT_TRUE(state.clean()) << state.fds << " ignored " << std::hex << state.ignored;
}

} // namespace
