// The file error log: golden bytes of a new file, rotation, concurrency,
// file modes, and the process-wide instance.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "foundation/UFileErrorLog.h"
#include "foundation/m_system.h"
#include "support/LogTestHome.h"

using tessal::test::readFile;
using tessal::test::runAsOtherUser;
using tessal::test::runWithoutPasswordEntry;
using tessal::test::TempHome;

namespace {

class FixedHeaderLog : public UFileErrorLog
{
protected:
    CString executablePath() override { return CString("/opt/tessal/vpn/tessalvpn"); }
    CString toolkitVersion() override { return CString("6.4.2-test"); }
};

const char kHeaderPattern[] = R"(\d{4}-\d{2}-\d{2},[ \d]\d:\d{2}:\d{2}:\d{3}, \d+,\d+,[^,\n]*, )";

// Every record header replaced by "<H>" (after checking its shape, pid and module).
std::string maskHeaders(const std::string& content, const std::string& module = "")
{
    std::string pattern = R"((\d{4})-(\d{2})-(\d{2}),([ \d]\d):(\d{2}):(\d{2}):(\d{3}), (\d+),(\d+),)" + module + ", ";
    std::regex header(pattern);
    std::string out = std::regex_replace(content, header, "<H>");
    return out;
}

std::string expectedHeaderBlock(int level)
{
    std::string block = "<H>0,,,,  \n"
                        "<H>0,,,,  =====================================\n"
                        "<H>0,,,,  Location: /opt/tessal/vpn/tessalvpn\n"
                        "<H>0,,,,  Version: 7270.0.0.1\n"
                        "<H>0,,,,  Locale: " +
                        std::string(std::setlocale(LC_ALL, nullptr)) +
                        "\n"
                        "<H>0,,,,  Qt version: 6.4.2-test\n"
                        "<H>0,,,,  =====================================\n"
                        "<H>0,,,,  \n";
    if (level >= 48)
        block += "<H>48,,,, current log level = " + std::to_string(level) + "\n";
    return block;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

} // namespace

TEST(FileLog, GoldenBytesOfANewFile)
{
    TempHome home;
    home.writeSettings("default_log_level=63\n");
    std::string path = home.settingsFolder() + "/vpn.log";
    FixedHeaderLog log;
    ASSERT_EQ(log.open(path.c_str(), "a"), 0);
    EXPECT_EQ(std::string(log.getFileName()), path);
    EXPECT_EQ(log.getLogLevel(), 63);
    const char record[] = "1, /Session, 121, Session::Start(), started\n";
    const char managerRecord[] = "48, SessionManager, 64, bool SessionManager::x(), ----Session 1 starts----\n";
    EXPECT_EQ(log.writeLine(record), static_cast<int>(sizeof(record) - 1));
    EXPECT_EQ(log.writeLine(managerRecord), static_cast<int>(sizeof(managerRecord) - 1));
    log.close();

    std::string content = readFile(path);
    std::string banner(systemBanner());
    ASSERT_EQ(content.compare(0, banner.size(), banner), 0) << content;
    std::string expected = banner + expectedHeaderBlock(63) + "<H>" + record + "<H>" + managerRecord;
    EXPECT_EQ(maskHeaders(content), expected);
    // The header fields themselves: pid and kernel thread id of the writer.
    std::regex exact(std::string(R"(\d{4}-\d{2}-\d{2},[ \d]\d:\d{2}:\d{2}:\d{3}, )") + std::to_string(getpid()) + "," +
                     std::to_string(syscall(SYS_gettid)) + ",, 1, /Session");
    EXPECT_TRUE(std::regex_search(content, exact));
}

TEST(FileLog, ReopeningAFileWritesOnlyTheHeaderBlock)
{
    TempHome home;
    home.writeSettings("default_log_level=31\n");
    std::string path = home.settingsFolder() + "/vpn.log";
    {
        FixedHeaderLog log;
        ASSERT_EQ(log.open(path.c_str(), "a"), 0);
        EXPECT_EQ(log.open(path.c_str(), "a"), 0); // already open: nothing changes
    }
    std::string first = readFile(path);
    {
        FixedHeaderLog log;
        ASSERT_EQ(log.open(path.c_str(), "a"), 0);
        log.writeLine("no newline");
        log.writeLine("next\n");
    }
    std::string content = maskHeaders(readFile(path));
    std::string banner(systemBanner());
    EXPECT_EQ(content, banner + expectedHeaderBlock(31) + expectedHeaderBlock(31) + "<H>no newline<H>next\n");
    EXPECT_EQ(maskHeaders(first), banner + expectedHeaderBlock(31));
}

TEST(FileLog, ClosedLogDropsRecords)
{
    TempHome home;
    FixedHeaderLog log;
    EXPECT_EQ(log.writeLine("dropped\n"), -1);
    EXPECT_EQ(log.writeTextAndBytes("t", "b", 1), -1);
    EXPECT_EQ(log.WriteLogByte("b", 1), -1);
    std::string missingFolder = home.path() + "/missing/vpn.log";
    EXPECT_NE(log.open(missingFolder.c_str(), "a"), 0);
    EXPECT_EQ(log.writeLine("dropped\n"), -1);
}

TEST(FileLog, OtherRecordForms)
{
    TempHome home;
    home.writeSettings("default_log_level=31\n");
    std::string path = home.settingsFolder() + "/vpn.log";
    FixedHeaderLog log;
    log.setProperty("module_name", "mod");
    log.setProperty("other", "ignored");
    ASSERT_EQ(log.open(path.c_str(), "a"), 0);
    EXPECT_EQ(log.writeTextAndBytes("text:", "\x01\x02", 2), 2);
    EXPECT_EQ(log.WriteLogByte("raw", 3), 3);
    // Control characters, the Unicode line breaks and bytes of no UTF-8
    // character inside a record are escaped; the line feeds that end it stay.
    const char* const rows[][2] = {
        {"1, /S, 1, f(), plain ü\xc3\x85\n", "1, /S, 1, f(), plain ü\xc3\x85\n"},
        {u8"1, /U, 1, f, a\u2028b\u2029c\u0085d\n", "1, /U, 1, f, a\\xe2\\x80\\xa8b\\xe2\\x80\\xa9c\\xc2\\x85d\n"},
        {"1, /U, 2, f, \x85 \xc0\xaf \xed\xa0\x80 \xe2\x80\n",
         "1, /U, 2, f, \\x85 \\xc0\\xaf \\xed\\xa0\\x80 \\xe2\\x80\n"},
        {"1, /R, 9, f, a\n2026-12-10,12:00:00:000, 1,1,, 1, /S, 1, f, x\n",
         "1, /R, 9, f, a\\n2026-12-10,12:00:00:000, 1,1,, 1, /S, 1, f, x\n"},
        {"2, /x, 1, f, a\rb\tc\x1b\x7f\n\n", "2, /x, 1, f, a\\x0db\\x09c\\x1b\\x7f\n\n"}};
    for (const auto& row : rows)
        EXPECT_EQ(log.writeLine(row[0]), static_cast<int>(std::strlen(row[0])));
    log.close();
    std::string content = maskHeaders(readFile(path), "mod");
    std::string tail = "<H>4,,,, text:\x01\x02\nraw\n\n";
    for (const auto& row : rows)
        tail += std::string("<H>") + row[1];
    ASSERT_GE(content.size(), tail.size());
    EXPECT_EQ(content.substr(content.size() - tail.size()), tail);
}

TEST(FileLog, RotationAtTheFiftiethWriteKeepsTheLevel)
{
    TempHome home;
    home.writeSettings("default_log_level=63\nlog_file_size=100\n");
    std::string path = home.settingsFolder() + "/vpn.log";
    std::string backup = path + ".bak";
    FixedHeaderLog log;
    ASSERT_EQ(log.open(path.c_str(), "a"), 0); // 9 writes: the header block
    EXPECT_EQ(log.getMaxSize(), 100u);
    log.setLogLevel(31); // as the page would; 10 writes with its notice
    home.writeSettings("default_log_level=63\nlog_file_size=1000000\n");

    for (int i = 11; i < 50; ++i)
        log.writeLine(("record " + std::to_string(i) + "\n").c_str());
    EXPECT_FALSE(exists(backup)) << "rotated before the 50th write";
    log.writeLine("record 50\n");
    ASSERT_TRUE(exists(backup));

    EXPECT_EQ(log.getLogLevel(), 31) << "rotation must keep the level in force";
    EXPECT_EQ(log.getMaxSize(), 1000000u) << "rotation takes the new size limit";
    log.writeLine("after\n");
    log.close();

    std::string banner(systemBanner());
    std::string fresh = maskHeaders(readFile(path));
    EXPECT_EQ(fresh, banner + expectedHeaderBlock(31) + "<H>after\n");
    std::string old = maskHeaders(readFile(backup));
    EXPECT_NE(old.find("<H>record 49\n<H>record 50\n"), std::string::npos);
    EXPECT_EQ(old.rfind("<H>record 50\n"), old.size() - std::string("<H>record 50\n").size());
}

// Runs far shorter than the fifty writes between checks: the size is also
// checked when the log is opened, so the file never holds more than the
// limit and one run.
TEST(FileLog, ShortRunsStayWithinTheLimit)
{
    TempHome home;
    home.writeSettings("default_log_level=63\nlog_file_size=3000\n");
    const std::string path = home.settingsFolder() + "/vpn.log";
    off_t oneRun = 0;
    for (int run = 0; run < 30; ++run) {
        FixedHeaderLog log;
        ASSERT_EQ(log.open(path.c_str(), "a"), 0);
        for (int i = 0; i < 5; ++i)
            log.writeLine(("run " + std::to_string(run) + " record " + std::to_string(i) + "\n").c_str());
        log.close();
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        if (run == 0)
            oneRun = info.st_size;
        EXPECT_LE(info.st_size, 3000 + oneRun) << "run " << run;
    }
    EXPECT_TRUE(exists(path + ".bak"));
    EXPECT_EQ(readFile(path).rfind(systemBanner(), 0), 0u) << "a rotated log starts afresh";
}

TEST(FileLog, EightThreadsWriteWholeRecords)
{
    TempHome home;
    home.writeSettings("default_log_level=31\n");
    std::string path = home.settingsFolder() + "/vpn.log";
    FixedHeaderLog log;
    ASSERT_EQ(log.open(path.c_str(), "a"), 0);
    const int kThreads = 8;
    const int kRecords = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kRecords; ++i) {
                std::string text = "1, /Worker, 7, run(), thread " + std::to_string(t) + " record " +
                                   std::to_string(i) + " " + std::string(40 + (i % 30), 'x') + "\n";
                log.writeLine(text.c_str());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    log.close();

    std::string content = readFile(path);
    std::string records = content.substr(std::string(systemBanner()).size());
    std::regex line(std::string("^") + kHeaderPattern + R"((.*)$)");
    std::regex body(R"(1, /Worker, 7, run\(\), thread (\d) record (\d+) (x+))");
    std::vector<int> next(kThreads, 0);
    size_t start = 0;
    int workerRecords = 0;
    while (start < records.size()) {
        size_t end = records.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        std::string text = records.substr(start, end - start);
        start = end + 1;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        std::string rest = match[1];
        if (rest.rfind("1, /Worker", 0) != 0)
            continue;
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(rest, parts, body)) << rest;
        int t = std::stoi(parts[1]);
        int i = std::stoi(parts[2]);
        EXPECT_EQ(i, next[t]) << "records of one thread out of order";
        EXPECT_EQ(parts[3].length(), static_cast<size_t>(40 + (i % 30)));
        next[t] = i + 1;
        ++workerRecords;
    }
    EXPECT_EQ(workerRecords, kThreads * kRecords);
}

TEST(FileLog, ModesOfAFreshHome)
{
    TempHome home;
    std::string folder = home.settingsFolder();
    std::string path = folder + "/vpn.log";
    if (geteuid() == 0) {
        FixedHeaderLog log;
        ASSERT_EQ(log.open(path.c_str(), "a"), 0);
        log.close();
        struct stat info {};
        ASSERT_EQ(stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0750u);
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u);
        EXPECT_FALSE(exists(folder + "/tessalnetworks.conf")) << "root writes no settings file";
    }

    TempHome userHome;
    std::string userFolder = userHome.settingsFolder();
    std::string userLog = userFolder + "/vpn.log";
    int status = runAsOtherUser(userHome, [userLog] {
        FixedHeaderLog log;
        if (log.open(userLog.c_str(), "a") != 0)
            return 30;
        return log.getLogLevel() == 63 ? 0 : 31;
    });
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "cannot switch to another user here";
    ASSERT_EQ(status, 0);
    struct stat info {};
    ASSERT_EQ(stat(userFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
    ASSERT_EQ(stat(userLog.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(stat((userFolder + "/tessalnetworks.conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(FileLog, TheLogIsNeverInherited)
{
    TempHome home;
    const std::string path = home.settingsFolder() + "/vpn.log";
    FixedHeaderLog log;
    ASSERT_EQ(log.open(path.c_str(), "a"), 0); // makes the settings folder
    int inherited = 0;
    for (int fd = 3; fd < 1024; ++fd) {
        char target[4096] = {};
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof(target) - 1);
        inherited += n > 0 && path == target && (::fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0;
    }
    EXPECT_EQ(inherited, 0);
    log.close();
}

// Opens a log on another thread; a FIFO in the log's place that blocks the
// open is given a reader after a generous while, and the test fails.
static int openWithoutBlocking(UFileErrorLog& log, const std::string& path, const char* mode, bool& blocked)
{
    std::promise<int> done;
    std::future<int> result = done.get_future();
    std::thread opener([&] { done.set_value(log.open(path.c_str(), mode)); });
    blocked = result.wait_for(std::chrono::seconds(30)) != std::future_status::ready;
    if (blocked)
        ::close(::open(path.c_str(), O_RDONLY | O_NONBLOCK));
    opener.join();
    return result.get();
}

// Whatever lies in the log's place in the user's own folder (a link, a
// folder, a FIFO, a second name of another file, another user's file) is
// never written: it is moved aside and a fresh log started.
TEST(FileLog, APlantedLogIsMovedAsideAndAFreshOneStarted)
{
    TempHome home;
    const std::string path = home.settingsFolder() + "/vpn.log";
    const std::string aside = path + ".refused";
    const std::string victim = home.path() + "/victim";
    ASSERT_EQ(::mkdir(home.settingsFolder().c_str(), 0750), 0);
    const struct {
        const char* plant;
        const char* reason;
    } rows[] = {
        {"ln -s '%v' '%p'", "it is a symbolic link"},
        {"mkdir '%p'", "it is not a regular file"},
        {"mkfifo '%p'", "it is not a regular file"},
        {"ln '%v' '%p'", "it has more than one link"},
        {"echo x >'%p' && chown 65534 '%p'", "it belongs to another user"},
    };
    for (const auto& row : rows) {
        if (geteuid() != 0 && std::strstr(row.plant, "chown") != nullptr)
            continue; // giving a file away needs root
        for (const char* mode : {"a", "w"}) {
            std::string command = std::string("rm -rf '%p' '%a' && echo keep >'%v' && ") + row.plant;
            for (size_t at; (at = command.find('%')) != std::string::npos;)
                command.replace(at, 2, command[at + 1] == 'p' ? path : command[at + 1] == 'a' ? aside : victim);
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            FixedHeaderLog planted;
            bool blocked = false;
            EXPECT_EQ(openWithoutBlocking(planted, path, mode, blocked), 0) << row.plant << " " << mode;
            EXPECT_FALSE(blocked) << row.plant << " " << mode;
            planted.writeLine("after\n");
            planted.close();
            EXPECT_EQ(readFile(victim), "keep\n") << row.plant << " " << mode;
            struct stat info {};
            EXPECT_EQ(::lstat(aside.c_str(), &info), 0) << row.plant << " " << mode;
            ASSERT_EQ(::lstat(path.c_str(), &info), 0);
            if (!S_ISREG(info.st_mode) || info.st_nlink != 1 || info.st_uid != geteuid()) {
                ADD_FAILURE() << row.plant << " " << mode << ": no fresh log";
                continue; // never read through what was planted
            }
            const std::string content = readFile(path);
            EXPECT_NE(content.find("Log file moved aside to " + aside + " (" + row.reason + ")\n"), std::string::npos)
                << row.plant << " " << mode << ": " << content;
            EXPECT_NE(content.find("after\n"), std::string::npos);
        }
    }
}

// A settings folder that is a link, or another user's folder, holds no log
// of ours (root writing for a user: see the shell's cleanup test).
TEST(FileLog, ALinkedOrForeignFolderIsRefused)
{
    TempHome home;
    const std::string folder = home.settingsFolder();
    const std::string elsewhere = home.path() + "/elsewhere";
    ASSERT_EQ(std::system(("mkdir '" + elsewhere + "' && ln -s '" + elsewhere + "' '" + folder + "'").c_str()), 0);
    for (const char* mode : {"a", "w"}) {
        FixedHeaderLog log;
        EXPECT_NE(log.open((folder + "/vpn.log").c_str(), mode), 0) << mode;
    }
    EXPECT_FALSE(exists(elsewhere + "/vpn.log"));

    if (geteuid() != 0)
        return; // a folder of another user's needs root to make
    char name[] = "/tmp/tessal-foreign-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string foreign = name;
    ASSERT_EQ(::chmod(foreign.c_str(), 0777), 0); // root's, but anyone may write
    TempHome userHome;
    const int status = runAsOtherUser(userHome, [&foreign] {
        FixedHeaderLog log;
        return log.open((foreign + "/vpn.log").c_str(), "a") != 0 ? 0 : 20;
    });
    EXPECT_FALSE(exists(foreign + "/vpn.log"));
    std::system(("rm -rf '" + foreign + "'").c_str());
    if (status != TempHome::kSkipped) {
        EXPECT_EQ(status, 0);
    }
}

TEST(FileLog, EmptyHomeLeavesTheLogClosed)
{
    TempHome home;
    home.setHome("");
    bool existedBefore = exists("/.TessalNetworks");
    // An empty HOME falls back to the password database: without an entry
    // there is no home at all.
    const int status = runWithoutPasswordEntry([] {
        FixedHeaderLog log;
        if (log.open("/.TessalNetworks/vpn.log", "a") == 0)
            return 1;
        return log.writeLine("x\n") == -1 ? 0 : 2;
    });
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "needs root and an id without a password entry";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(exists("/.TessalNetworks"), existedBefore);
}

TEST(FileLog, ProcessWideInstance)
{
    // Installed before main (the tests that swap in their own log put it back).
    EXPECT_EQ(g_pErrorLog.load(), static_cast<IUErrorLog*>(&g_errorLog));
}

TEST(FileLog, ExitWhileAnotherThreadWrites)
{
    TempHome home;
    std::string path = home.settingsFolder() + "/vpn.log";
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (g_errorLog.open(path.c_str(), "a") != 0)
            _exit(40);
        std::atomic<bool> started{false};
        std::thread writer([&started] {
            for (;;) {
                if (IUErrorLog* log = g_pErrorLog.load())
                    log->writeLine("1, /t, 1, f(), busy\n");
                started = true;
            }
        });
        writer.detach();
        while (!started)
            std::this_thread::yield();
        std::exit(0); // static destruction runs while the writer keeps going
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string content = readFile(path);
    EXPECT_NE(content.find("busy\n"), std::string::npos);
}
