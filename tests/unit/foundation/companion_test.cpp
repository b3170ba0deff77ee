// The companions a forced end stops: registered processes and the process a
// pid file names, each only while it still runs the registered program.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "foundation/CompanionProcesses.h"

namespace {

pid_t startSleep()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sleep", "/bin/sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits until the child has exec'd: before that its command line is the
// test's, and a loaded machine can take far longer than any fixed pause.
bool runsSleep(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/cmdline";
    for (int i = 0; i < 1000; ++i) {
        if (FILE* file = std::fopen(path.c_str(), "r")) {
            char first[32] = {};
            const size_t got = std::fread(first, 1, sizeof first - 1, file);
            std::fclose(file);
            if (got > 0 && std::string(first) == "/bin/sleep")
                return true;
        }
        ::usleep(10000);
    }
    return false;
}

// True when the child was ended by SIGTERM within `ms`; a child still
// running then is killed.
bool endedByTerm(pid_t pid, int ms)
{
    int status = 0;
    for (int i = 0; i < ms / 10; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return false;
}

} // namespace

TEST(CompanionProcesses, PidFileHoldsOnlyOneNumberAboveOne)
{
    EXPECT_EQ(parsePidText("1234"), 1234);
    EXPECT_EQ(parsePidText(" 1234\n"), 1234);
    EXPECT_EQ(parsePidText("1"), 0);
    EXPECT_EQ(parsePidText("0"), 0);
    EXPECT_EQ(parsePidText("-1234"), 0);
    EXPECT_EQ(parsePidText(""), 0);
    EXPECT_EQ(parsePidText("12 34"), 0);
    EXPECT_EQ(parsePidText("12abc"), 0);
    EXPECT_EQ(parsePidText("99999999999999"), 0);
    EXPECT_EQ(parsePidText(nullptr), 0);
}

TEST(CompanionProcesses, StopsWhatIsRegisteredAndStillRunsItsProgram)
{
    char folder[] = "/tmp/companion-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string pidFile = std::string(folder) + "/daemon.pid";

    enum class Watch { Process, PidFile, OtherProgram, Forgotten, MissingPidFile };
    const struct {
        Watch watch;
        bool stopped;
    } rows[] = {
        {Watch::Process, true},    {Watch::PidFile, true},         {Watch::OtherProgram, false},
        {Watch::Forgotten, false}, {Watch::MissingPidFile, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.watch));
        const pid_t child = startSleep();
        ASSERT_GT(child, 0);
        ASSERT_TRUE(runsSleep(child));
        std::remove(pidFile.c_str());
        int handle = -1;
        switch (row.watch) {
        case Watch::Process: handle = watchCompanionProcess(child, "/usr/bin/sleep"); break;
        case Watch::PidFile:
            if (FILE* file = std::fopen(pidFile.c_str(), "w")) {
                std::fprintf(file, "%d\n", static_cast<int>(child));
                std::fclose(file);
            }
            handle = watchCompanionPidFile(pidFile.c_str(), "sleep");
            break;
        case Watch::OtherProgram: handle = watchCompanionProcess(child, "/opt/tessal/vpn/svpn"); break;
        case Watch::Forgotten: forgetCompanion(watchCompanionProcess(child, "sleep")); break;
        case Watch::MissingPidFile: handle = watchCompanionPidFile(pidFile.c_str(), "sleep"); break;
        }
        EXPECT_EQ(stopCompanionProcesses(), row.stopped ? 1 : 0);
        EXPECT_EQ(endedByTerm(child, row.stopped ? 5000 : 200), row.stopped);
        forgetCompanion(handle);
    }
    EXPECT_EQ(stopCompanionProcesses(), 0);
    ::rmdir(folder);
}
