// "--cleanup": the browser matcher, the close-your-browsers loop, the JSON and
// RDF edits, and the file handling that must never lose a profile file.
// Processes come from a folder laid out like "/proc", files from a
// temporary home folder.

#include <linux/capability.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pwd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/ChromePreferencesCleanup.h"
#include "shell/FirefoxPreferencesCleanup.h"
#include "shell/PreferenceFiles.h"
#include "shell/PreferenceTextEdits.h"
#include "shell/ShellTestSeam.h"

namespace {

using namespace tessal::qt;
using tessal::system::ProcessMatcher;
using tessal::system::ProcessRecord;
using tessal::test::ModalDialogAnswerer;
using tessal::test::RecordingLog;

const std::vector<std::string> kSchemes{"tessal-vpn"};

void writeFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A temporary home folder in "HOME" for the test's lifetime.
class CleanupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
    }
    void TearDown() override { qputenv("HOME", saved); }
    std::string home(const std::string& rest = "") const { return dir.path().toStdString() + rest; }

    QTemporaryDir dir;
    QByteArray saved;
};

TEST(ProcessMatcher, MatchesTheBrowsersByFileNameIgnoringCase)
{
    const ProcessMatcher chrome{"chrome", 5, 1, true, 18};
    const struct {
        std::string command;
        bool matches;
    } rows[] = {
        {"/opt/google/chrome/chrome", true}, {"CHROME", true},     {"chromium", false},
        {"/usr/bin/chrome-x", false},        {"<unknown>", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(chrome(ProcessRecord{1, row.command}), row.matches) << row.command;
    EXPECT_FALSE((ProcessMatcher{"firefox", 5, 1, true, 18}(ProcessRecord{1, "/usr/lib/firefox/firefox-bin"})));
    EXPECT_TRUE((ProcessMatcher{"fire*", 2, 0, false, 0}(ProcessRecord{1, "firefox"})));
    EXPECT_THROW((ProcessMatcher{"x", 4, 1, true, 0}(ProcessRecord{1, "x"})), std::runtime_error);
}

TEST_F(CleanupTest, AsksUntilNoBrowserRunsAndNoGivesFalse)
{
    const std::string proc = home("/proc");
    writeFile(proc + "/17/cmdline", std::string("/opt/google/chrome/chrome\0--flag", 32));
    writeFile(proc + "/18/cmdline", "/tmp/<b>x</b>/FIREFOX");
    writeFile(proc + "/19/cmdline", ""); // a kernel thread
    writeFile(proc + "/20/cmdline", std::string("/usr/lib/firefox-esr/firefox-esr\0-contentproc", 46));
    writeFile(proc + "/self/cmdline", "chrome");
    RecordingLog log;
    {
        ModalDialogAnswerer answerer(QStringList{"Retry", "No"});
        EXPECT_FALSE(cleanupBrowserPreferences(kSchemes, "", proc));
        ASSERT_EQ(answerer.count(), 2); // Retry listed the processes again
        const QString text = answerer.last().text;
        EXPECT_TRUE(text.startsWith("Do you want to perform browser preferences cleanup? Please close all running "
                                    "instances of Firefox and Chrome browsers to continue:<ul><li>"))
            << text.toStdString();
        EXPECT_TRUE(text.contains("<li>/tmp/&lt;b&gt;x&lt;/b&gt;/FIREFOX</li>"));
        EXPECT_TRUE(text.contains("<li>/opt/google/chrome/chrome</li>"));
        EXPECT_TRUE(text.contains("<li>/usr/lib/firefox-esr/firefox-esr</li>"));
        EXPECT_EQ(text.count("<li>"), 3);
        QStringList buttons = answerer.last().buttons;
        buttons.sort();
        EXPECT_EQ(buttons, (QStringList{"No", "Retry"}));
    }
    EXPECT_FALSE(log.contains("Performing"));

    std::filesystem::remove_all(proc);
    EXPECT_FALSE(cleanupBrowserPreferences(kSchemes, "", proc));
    EXPECT_TRUE(log.contains("Failed to list running processes, ")) << log.text();

    log.clear();
    std::filesystem::create_directories(proc);
    EXPECT_TRUE(cleanupBrowserPreferences(kSchemes, "", proc));
    QStringList steps;
    for (const QString& line : log.qLines())
        steps << line.section(", ", -1).trimmed();
    EXPECT_EQ(steps, (QStringList{"Performing Chrome preferences cleanup", "Done!",
                                  "Performing Firefox preferences cleanup", "Done!"}));
}

TEST(JsonSchemeEntry, RemovesExactlyTheSchemeMember)
{
    const struct {
        std::string before, after;
    } rows[] = {
        {R"({"excluded_schemes":{"tessal-vpn":false,"afp":true}})", R"({"excluded_schemes":{"afp":true}})"},
        {R"({"excluded_schemes":{"afp":true, "tessal-vpn":false }})", R"({"excluded_schemes":{"afp":true}})"},
        {R"({"a":[1,{"b":2}],"excluded_schemes":{ "tessal-vpn":false}})",
         R"({"a":[1,{"b":2}],"excluded_schemes":{ }})"},
        {R"({"excluded_schemes":{"x":"{,}\"","tessal-vpn":{"action":4,"ask":true},"y":[1,2]}})",
         R"({"excluded_schemes":{"x":"{,}\"","y":[1,2]}})"},
        {R"({"excluded_schemes":{"tessal-vpn2":1,"z":{"tessal-vpn":1}},"tessal-vpn":1})",
         R"({"excluded_schemes":{"tessal-vpn2":1,"z":{"tessal-vpn":1}},"tessal-vpn":1})"},
        {R"({"other":{"tessal-vpn":false}})", R"({"other":{"tessal-vpn":false}})"},
        {R"({"s":"excluded_schemes","excluded_schemes":{"tessal-vpn":1}})",
         R"({"s":"excluded_schemes","excluded_schemes":{}})"},
    };
    for (const auto& row : rows) {
        std::string text = row.before;
        EXPECT_EQ(eraseJsonSchemeEntry(text, "tessal-vpn", "excluded_schemes"), row.before != row.after) << row.before;
        EXPECT_EQ(text, row.after);
    }
    std::string broken = R"({"excluded_schemes":{"tessal-vpn":1,"a":2}, oops})";
    EXPECT_THROW(eraseJsonSchemeEntry(broken, "tessal-vpn", "excluded_schemes"), std::runtime_error);
    EXPECT_EQ(broken, R"({"excluded_schemes":{"tessal-vpn":1,"a":2}, oops})");
}

TEST(JsonSchemeEntry, RemovesTheSchemeFromEveryOriginAndEmptiedOrigins)
{
    const std::string key = "allowed_origin_protocol_pairs";
    const struct {
        std::string before, after;
    } rows[] = {
        {R"({"p":{"https://a":{"tessal-vpn":true},"https://b":{"mailto":true,"tessal-vpn":true}}})",
         R"({"p":{"https://b":{"mailto":true}}})"},
        {R"({"p":{"https://a":{"mailto":true},"https://b":{ "tessal-vpn":true }}})",
         R"({"p":{"https://a":{"mailto":true}}})"},
        {R"({"p":{"https://a":{"tessal-vpn":true},"https://b":{"tessal-vpn":true}}})", R"({"p":{}})"},
        {R"({"p":{"https://a":{},"https://b":{"tessal-vpn2":true},"c":1}})",
         R"({"p":{"https://a":{},"https://b":{"tessal-vpn2":true},"c":1}})"},
    };
    for (const auto& row : rows) {
        std::string before = row.before, text;
        before.replace(before.find("\"p\""), 3, "\"" + key + "\"");
        std::string after = row.after;
        after.replace(after.find("\"p\""), 3, "\"" + key + "\"");
        text = before;
        EXPECT_EQ(eraseJsonSchemeFromEveryEntry(text, "tessal-vpn", key), before != after) << before;
        EXPECT_EQ(text, after);
    }
}

TEST(MimeTypesRdf, RemovesTheSchemeElementsWhole)
{
    const std::string head = "<?xml version=\"1.0\"?>\n<RDF:RDF xmlns:NC=\"http://home.netscape.com/NC-rdf#\">\n";
    const std::string other =
        "  <RDF:Description RDF:about=\"urn:scheme:tessal-vpn2\" NC:value=\"tessal-vpn2\"/>\n"
        "  <RDF:Seq RDF:about=\"urn:schemes\">\n    <RDF:li RDF:resource=\"urn:scheme:tessal-vpn2\"/>\n";
    std::string text =
        head + other +
        "    <RDF:li RDF:resource=\"urn:scheme:tessal-vpn\"/>\n  </RDF:Seq>\n"
        "  <RDF:Description RDF:about=\"urn:scheme:handler:tessal-vpn\"\n                   NC:alwaysAsk=\"false\">\n"
        "    <NC:externalApplication RDF:resource=\"urn:scheme:externalApplication:tessal-vpn\"/>\n"
        "  </RDF:Description>\n"
        "  <RDF:Description RDF:about=\"urn:scheme:tessal-vpn\" NC:value=\"a>b\"/>\n"
        "  <RDF:Description RDF:about=\"urn:mimetype:text/plain\"><NC:x/></RDF:Description>\n</RDF:RDF>\n";
    EXPECT_TRUE(removeSchemeFromMimeTypesRdf(text, "tessal-vpn"));
    // Two characters of the deeper indentation go with the list item.
    EXPECT_EQ(text,
              head + other +
                  "    </RDF:Seq>\n"
                  "  <RDF:Description RDF:about=\"urn:mimetype:text/plain\"><NC:x/></RDF:Description>\n</RDF:RDF>\n");
    EXPECT_FALSE(removeSchemeFromMimeTypesRdf(text, "tessal-vpn"));

    std::string nested = "<RDF:Description RDF:about=\"urn:scheme:tessal-vpn\"><RDF:Description a=\"1\">"
                         "</RDF:Description></RDF:Description>after";
    EXPECT_TRUE(removeSchemeFromMimeTypesRdf(nested, "tessal-vpn"));
    EXPECT_EQ(nested, "after");
}

TEST_F(CleanupTest, ChromeStepEditsOnlyWhatNeedsItAndReportsEveryFile)
{
    const std::string state = home("/.config/google-chrome/Local State");
    const std::string prefs = home("/.config/google-chrome/Default/Preferences");
    writeFile(state, R"({"protocol_handler":{"excluded_schemes":{"afp":true}}})");
    writeFile(prefs, R"({"protocol_handler":{"excluded_schemes":{"tessal-vpn":false,"afp":true}}})");
    ::chmod(prefs.c_str(), 0640);
    struct stat before {};
    ::stat(state.c_str(), &before);
    ::usleep(20000);
    cleanupChromeProfile(kSchemes, "");
    struct stat after {};
    ::stat(state.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino); // nothing to remove: not rewritten
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(readFile(prefs), R"({"protocol_handler":{"excluded_schemes":{"afp":true}}})");
    ::stat(prefs.c_str(), &after);
    EXPECT_EQ(after.st_mode & 07777, 0640u);

    // One byte over the limit: reported, and the other file is still handled.
    writeFile(prefs, R"({"excluded_schemes":{"tessal-vpn":1}})");
    ASSERT_EQ(::truncate(state.c_str(), kPreferenceFileLimit + 1), 0);
    try {
        cleanupChromeProfile(kSchemes, "");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Multiple issues occured during operation: #1:File \"" + state +
                                             "\" is too big (more than 52428800 bytes); ");
    }
    EXPECT_EQ(readFile(prefs), R"({"excluded_schemes":{}})");
    ASSERT_EQ(::truncate(state.c_str(), kPreferenceFileLimit), 0);
    EXPECT_EQ(readFileLimited(state, kPreferenceFileLimit).size(), kPreferenceFileLimit);
}

// "Default/Preferences" as the browser writes it, with "always allow" for
// two sites; "Local State" has no such setting and keeps one like it.
TEST_F(CleanupTest, ChromeForgetsAlwaysAllowOnlyInThePreferences)
{
    const std::string state = home("/.config/google-chrome/Local State");
    const std::string prefs = home("/.config/google-chrome/Default/Preferences");
    const std::string around = R"({"accessibility":{"captions":{"live_caption_language":"en-US"}},"browser":)"
                               R"({"has_seen_welcome_page":true,"window_placement":{"bottom":1048,"left":10}},)";
    const std::string pairs = R"("protocol_handler":{"allowed_origin_protocol_pairs":{"https://vpn.example.com":)"
                              R"({"tessal-vpn":true},"https://portal.example.org":{"mailto":true,"tessal-vpn":true}},)"
                              R"("excluded_schemes":{"tessal-vpn":false,"afp":true}},)";
    const std::string after = R"("protocol_handler":{"allowed_origin_protocol_pairs":{"https://portal.example.org":)"
                              R"({"mailto":true}},"excluded_schemes":{"afp":true}},)";
    const std::string tail = R"("profile":{"name":"Person 1","content_settings":{"exceptions":{}}}})";
    writeFile(state, around + pairs + tail);
    writeFile(prefs, around + pairs + tail);
    cleanupChromeProfile(kSchemes, "");
    EXPECT_EQ(readFile(prefs), around + after + tail);
    EXPECT_NE(readFile(state).find("\"https://vpn.example.com\":{\"tessal-vpn\":true}"), std::string::npos);
}

// Profiles in the older and in the newer Firefox folder, as the browser
// writes their "handlers.json".
TEST_F(CleanupTest, FirefoxProfilesOfBothFoldersAreCleaned)
{
    const std::string handlers = R"({"defaultHandlersVersion":{},"mimeTypes":{},"schemes":{"tessal-vpn":)"
                                 R"({"action":2,"handlers":[{"name":"tessalvpn","path":"/opt/tessal/vpn/tessalvpn"}]},)"
                                 R"("mailto":{"stubEntry":true}},"isDownloadsImprovementsAlreadyMigrated":true})";
    const std::string cleaned =
        R"({"defaultHandlersVersion":{},"mimeTypes":{},"schemes":{"mailto":{"stubEntry":true}},)"
        R"("isDownloadsImprovementsAlreadyMigrated":true})";
    for (const char* folder : {"/.mozilla/firefox/", "/.config/mozilla/firefox/"}) {
        std::filesystem::remove_all(home("/.mozilla"));
        std::filesystem::remove_all(home("/.config/mozilla"));
        writeFile(home(folder) + "x1y2z3.default-esr/handlers.json", handlers);
        writeFile(home(folder) + "profiles.ini", "[Profile0]\nName=default-esr\n");
        cleanupFirefoxProfile(kSchemes, "");
        EXPECT_EQ(readFile(home(folder) + "x1y2z3.default-esr/handlers.json"), cleaned) << folder;
    }
}

TEST_F(CleanupTest, FailedOrRefusedWritesKeepTheOriginal)
{
    const std::string prefs = home("/.config/google-chrome/Default/Preferences");
    const std::string original = R"({"excluded_schemes":{"tessal-vpn":false,"afp":true}})";
    writeFile(prefs, original);

    // A file-size limit makes the write fail half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 10;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(writeFileContents(prefs, original + original), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(readFile(prefs), original);
    EXPECT_EQ(
        QDir(QString::fromStdString(home("/.config/google-chrome/Default"))).entryList(QDir::Files | QDir::Hidden),
        QStringList{"Preferences"});

    // Outside the home folder through a link, or another user's file: left alone, and reported.
    QTemporaryDir outside;
    const std::string foreign = outside.path().toStdString() + "/Preferences";
    writeFile(foreign, original);
    std::filesystem::remove(prefs);
    std::filesystem::create_symlink(foreign, prefs);
    EXPECT_THROW(cleanupChromeProfile(kSchemes, ""), std::runtime_error);
    EXPECT_EQ(readFile(foreign), original);
    if (::geteuid() == 0) {
        std::filesystem::remove(prefs);
        writeFile(prefs, original);
        ASSERT_EQ(::chown(prefs.c_str(), 65534, 65534), 0);
        EXPECT_THROW(cleanupChromeProfile(kSchemes, ""), std::runtime_error);
        EXPECT_EQ(readFile(prefs), original);
    }
}

TEST_F(CleanupTest, FirefoxStepCleansEveryProfileAndSkipsTheRest)
{
    const std::string firefox = home("/.mozilla/firefox/");
    const std::string handlers =
        R"({"defaultHandlersVersion":{},"mimeTypes":{"application/pdf":{"action":3,"extensions":["pdf"]}},)"
        R"("schemes":{"mailto":{"stubEntry":true,"handlers":[null,{"name":"Gmail","uriTemplate":"https://x/?a=%s"}]},)"
        R"("tessal-vpn":{"action":2,"handlers":[{"name":"tessalvpn","path":"/opt/tessal/vpn/tessalvpn"}]}}})";
    writeFile(firefox + "a.default-release/handlers.json", handlers);
    writeFile(firefox + "b.old/mimeTypes.rdf",
              "<RDF:RDF>\n  <RDF:li RDF:resource=\"urn:scheme:tessal-vpn\"/>\n</RDF:RDF>\n");
    writeFile(firefox + "Crash Reports/handlers.json", handlers);
    writeFile(firefox + "Pending Pings/x", "");
    writeFile(firefox + "profiles.ini", "[General]\n");
    cleanupFirefoxProfile(kSchemes, "");
    EXPECT_EQ(
        readFile(firefox + "a.default-release/handlers.json"),
        R"({"defaultHandlersVersion":{},"mimeTypes":{"application/pdf":{"action":3,"extensions":["pdf"]}},)"
        R"("schemes":{"mailto":{"stubEntry":true,"handlers":[null,{"name":"Gmail","uriTemplate":"https://x/?a=%s"}]}}})");
    EXPECT_EQ(readFile(firefox + "b.old/mimeTypes.rdf"), "<RDF:RDF>\n</RDF:RDF>\n");
    EXPECT_EQ(readFile(firefox + "Crash Reports/handlers.json"), handlers);

    // Every failing file is named.
    writeFile(firefox + "c/handlers.json", R"({"schemes":{"tessal-vpn":1}} trailing)");
    ASSERT_EQ(::truncate((firefox + "b.old/mimeTypes.rdf").c_str(), kPreferenceFileLimit + 1), 0);
    try {
        cleanupFirefoxProfile(kSchemes, "");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("One or multiple errors occured during cleanup: ", 0), 0u) << text;
        EXPECT_NE(text.find("b.old/mimeTypes.rdf\" is too big"), std::string::npos) << text;
        EXPECT_NE(text.find("c/handlers.json\": removing \"tessal-vpn\""), std::string::npos) << text;
    }
}

TEST_F(CleanupTest, HomeFolderComesFromHomeOrThePasswordDatabase)
{
    EXPECT_EQ(tessal::system::getHomeFolder(""), home());
    const struct passwd* me = ::getpwuid(::getuid());
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(tessal::system::getHomeFolder(me->pw_name), me->pw_dir);
    qunsetenv("HOME");
    EXPECT_EQ(tessal::system::getHomeFolder(""), me->pw_dir);
    try {
        tessal::system::getHomeFolder("no-such-user-tessal");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "failed to get home folder for user: no-such-user-tessal");
    }
}

// Root without its right to pass over file permissions, on this thread,
// while the object lives.
struct WithoutFileOverride {
    WithoutFileOverride() { set(false); }
    ~WithoutFileOverride() { set(true); }
    static void set(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ::syscall(SYS_capget, &header, data);
        const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective = on ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
        ::syscall(SYS_capset, &header, data);
    }
};

TEST_F(CleanupTest, OnlyAMissingFirefoxFolderIsNoFirefox)
{
    const std::string proc = home("/proc"), firefox = home("/.mozilla/firefox");
    std::filesystem::create_directories(proc);
    const struct {
        std::function<void()> make;
        const char* error;
    } rows[] = {
        {[] {}, nullptr},
        {[&] { writeFile(firefox, ""); }, nullptr},
        {[&] { std::filesystem::create_symlink("firefox", firefox); }, "Too many levels of symbolic links"},
        {[&] {
             std::filesystem::create_directories(firefox);
             ::chmod(firefox.c_str(), 0);
         },
         "Permission denied"},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(home("/.mozilla"));
        std::filesystem::create_directories(home("/.mozilla"));
        row.make();
        RecordingLog log;
        WithoutFileOverride asOwner;
        EXPECT_EQ(cleanupBrowserPreferences(kSchemes, "", proc), row.error == nullptr) << log.text();
        const std::string error =
            std::string("Failed to cleanup firefox profile, One or multiple errors occured during "
                        "cleanup: Cannot list folder \"") +
            firefox + "/\": " + (row.error ? row.error : "");
        EXPECT_EQ(log.contains(error), row.error != nullptr) << log.text();
        ::chmod(firefox.c_str(), 0700);
    }
}

std::string aliceHome;
std::vector<struct stat> chownCalls;

bool lookUpAlice(const std::string& user, tessal::system::UserEntry& entry)
{
    entry = {aliceHome, 65534};
    return user == "alice";
}

int recordingChown(int fd, uid_t uid, gid_t gid)
{
    chownCalls.emplace_back();
    ::fstat(fd, &chownCalls.back());
    return ::fchown(fd, uid, gid);
}

// "--cleanup alice" as root: the work in alice's folder is done as alice,
// so her files stay hers, with her mode less the setuid, setgid and sticky
// bits, and root hands nothing over; the home in HOME is not hers.
TEST_F(CleanupTest, RootCleansAnotherUsersProfileAsThatUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ASSERT_EQ(::chmod(dir.path().toUtf8().constData(), 0711), 0); // alice reaches her folder inside
    const std::string proc = home("/proc"), decoy = home("/.config/google-chrome/Local State");
    const std::string json = R"({"excluded_schemes":{"tessal-vpn":false,"afp":true}})";
    const std::string handlers = R"({"schemes":{"mailto":{},"tessal-vpn":{"action":2}}})";
    std::filesystem::create_directories(proc);
    writeFile(decoy, json);
    const auto lookup = ShellTestSeam::setUserLookup(lookUpAlice);
    const auto change = ShellTestSeam::setChangeOwner(recordingChown);
    const char* const files[] = {"/.config/google-chrome/Local State", "/.config/google-chrome/Default/Preferences",
                                 "/.mozilla/firefox/p.default/handlers.json"};
    for (const mode_t mode : {04755, 02640, 0600}) {
        aliceHome = home("/alice" + std::to_string(mode));
        for (const char* file : files)
            writeFile(aliceHome + file, file == files[2] ? handlers : json);
        // Left by killed runs, and one that a running write holds.
        const std::string left = aliceHome + "/.config/google-chrome/Default/.Preferences.tessal-";
        for (const char* n : {"1", "2", "3"})
            writeFile(left + n, "");
        const int busy = ::open((left + "3").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(busy, LOCK_EX), 0);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(aliceHome)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
            if (entry.path().filename().string()[0] != '.' && entry.is_regular_file())
                ::chmod(entry.path().c_str(), mode);
        }
        ASSERT_EQ(::chown(aliceHome.c_str(), 65534, 65534), 0);
        chownCalls.clear();
        RecordingLog log;

        EXPECT_TRUE(cleanupBrowserPreferences(kSchemes, "alice", proc)) << log.text();
        EXPECT_TRUE(std::filesystem::exists(left + "3"));
        ::close(busy);
        std::filesystem::remove(left + "3");
        EXPECT_TRUE(chownCalls.empty()) << chownCalls.size();
        for (const char* file : files) {
            struct stat status {};
            ASSERT_EQ(::stat((aliceHome + file).c_str(), &status), 0);
            EXPECT_EQ(status.st_gid, 65534u) << file;
            EXPECT_EQ(status.st_mode & 07777, mode & 0777) << file;
            EXPECT_EQ(readFile(aliceHome + file).find("tessal-vpn"), std::string::npos) << file;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(aliceHome)) {
            struct stat status {};
            ::lstat(entry.path().c_str(), &status);
            EXPECT_EQ(status.st_uid, 65534u) << entry.path(); // nothing of root's, no temporary of ours
            EXPECT_EQ(entry.path().string().find(".tessal-"), std::string::npos) << entry.path();
        }
    }
    ShellTestSeam::setChangeOwner(change);
    ShellTestSeam::setUserLookup(lookup);
    EXPECT_EQ(readFile(decoy), json);
}

// What the cleanup logs for alice (her own log, when HOME is hers) never
// tells her which of root's paths exist: a link to a file of root's reads
// as one to a file that is not there.
TEST_F(CleanupTest, RootCleanupTellsTheUserNothingOfRootsFiles)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ASSERT_EQ(::chmod(dir.path().toUtf8().constData(), 0711), 0);
    QTemporaryDir rootOnly;
    const std::string secret = rootOnly.path().toStdString() + "/secret";
    writeFile(secret, "{}");
    const std::string proc = home("/proc");
    std::filesystem::create_directories(proc);
    aliceHome = home("/alice");
    const auto lookup = ShellTestSeam::setUserLookup(lookUpAlice);
    std::string texts[2];
    for (int present = 0; present < 2; ++present) {
        std::filesystem::remove_all(aliceHome);
        std::filesystem::create_directories(aliceHome + "/.config/google-chrome");
        std::filesystem::create_directories(aliceHome + "/.mozilla/firefox/p");
        const std::string target = present ? secret : secret + ".absent";
        std::filesystem::create_symlink(target, aliceHome + "/.config/google-chrome/Local State");
        std::filesystem::create_symlink(target, aliceHome + "/.mozilla/firefox/p/handlers.json");
        ASSERT_EQ(std::system(("chown -hR 65534:65534 '" + aliceHome + "'").c_str()), 0);
        RecordingLog log;
        EXPECT_FALSE(cleanupBrowserPreferences(kSchemes, "alice", proc));
        texts[present] = log.text();
    }
    ShellTestSeam::setUserLookup(lookup);
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_EQ(readFile(secret), "{}");
}

} // namespace
