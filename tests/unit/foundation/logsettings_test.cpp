// The per-user settings file: levels, size limit, default text and modes.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/LogSettings.h"
#include "support/LogTestHome.h"

namespace {

const char kExpectedDefaultFile[] =
    "##########################################################################\n"
    "# This file contain TessalNetworks client components settings\n"
    "# \n"
    "# \n"
    "# BASIC     31   Value use to provide basic logs which include user friendly messages, warnings, and errors.\n"
    "#                Valid values are in the range 0 to 31, the highest setting is 31.\n"
    "# EXTENDED  63   Set to provide extended log level.\n"
    "#                Valid values are in the range of 32 to 63, the highest setting is 63.\n"
    "##########################################################################\n\n"
    "\n\n"
    "# default log level for all tessal components\n"
    "default_log_level=63\n\n"
    "\n\n"
    "# svpn core log level. This setting is used to override the default log level set by default_log_level setting "
    "for svpn component\n"
    "#svpn_log_level=63\n\n"
    "\n\n"
    "# svpn NPAPI plugin log level. This setting is used to override the default log level set by default_log_level "
    "setting for svpn NPAPI plugin\n"
    "#svpn_plugin_log_level=63\n\n"
    "\n\n"
    "# endpoint secutity NPAPI plugin. This setting is used to override the default log level set by default_log_level "
    "setting for endpoint secutity NPAPI plugin\n"
    "#eps_plugin_log_level=63\n\n"
    "\n\n"
    "# LumaroClient. This setting is used to override the default log level set by default_log_level setting for "
    "LumaorClient application\n"
    "#lumaro_client_log_level=63\n\n";

using tessal::test::afterFolderMade;
using tessal::test::readFile;
using tessal::test::runAsOtherUser;
using tessal::test::runWithoutPasswordEntry;
using tessal::test::TempHome;

void folderMade(int result)
{
    if (result == 0 && afterFolderMade) {
        const std::function<void()> act = std::move(afterFolderMade);
        afterFolderMade = nullptr;
        act();
    }
}

} // namespace

extern "C" int __real_mkdir(const char* path, mode_t mode);
extern "C" int __real_mkdirat(int folder, const char* path, mode_t mode);
extern "C" int __wrap_mkdir(const char* path, mode_t mode)
{
    const int result = __real_mkdir(path, mode);
    folderMade(result);
    return result;
}
extern "C" int __wrap_mkdirat(int folder, const char* path, mode_t mode)
{
    const int result = __real_mkdirat(folder, path, mode);
    folderMade(result);
    return result;
}

TEST(LogSettingsRead, LevelTable)
{
    struct Case {
        const char* text;
        int vpn;
        int other;
    };
    const Case cases[] = {
        {"default_log_level=31\nvpn_log_level=48\n", 48, 31},
        {"vpn_log_level=48\ndefault_log_level=31\n", 48, 31},
        {"default_log_level=31\n#vpn_log_level=48\n", 31, 31},
        {"default_log_level=31\n vpn_log_level=48\n", 31, 31},
        {"vpn_log_level=48\nvpn_log_level=abc\n", 63, 63},
        {"default_log_level=x\n", 63, 63},
        {"default_log_level=  7 trailing\n", 7, 7},
        {"default_log_level=31\ndefault_log_level=2\n", 2, 2},
        {"vpn_log_level=-5\n", -5, 63},
        {"", 63, 63},
    };
    for (const Case& c : cases) {
        TempHome home;
        home.writeSettings(c.text);
        EXPECT_EQ(readLogLevel("vpn"), c.vpn) << c.text;
        EXPECT_EQ(readLogLevel("svpn"), c.other) << c.text;
        EXPECT_EQ(readLogLevel(nullptr), c.other) << c.text;
    }
}

TEST(LogSettingsRead, DefaultLevelTakesTheFirstLine)
{
    TempHome home;
    home.writeSettings("default_log_level=31\ndefault_log_level=2\n");
    EXPECT_EQ(readDefaultLogLevel(), 31);
}

TEST(LogSettingsRead, SizeTable)
{
    struct Case {
        const char* text;
        int size;
    };
    const Case cases[] = {
        {"log_file_size=1000\n", 1000},    {"log_file_size 1000\n", 1000},
        {"log_file_size= 1000\n", 1000},   {"log_file_size = 1000\n", 0x500000},
        {"log_file_size=abc\n", 0x500000}, {"log_file_size\n", 0x500000},
        {"log_file_size", 0x500000}, // too short to hold a number: never read past it
        {"log_file_size=", 0x500000},      {"log_file_size=10\nlog_file_size=20\n", 10},
        {"#log_file_size=10\n", 0x500000},
    };
    for (const Case& c : cases) {
        TempHome home;
        home.writeSettings(c.text);
        EXPECT_EQ(readLogFileSize(), c.size) << c.text;
    }
    TempHome none;
    EXPECT_EQ(readLogFileSize(), 0x500000);
}

TEST(LogSettingsRead, LongLinesAreReadInPieces)
{
    TempHome home;
    home.writeSettings("#" + std::string(254, 'x') + "default_log_level=5\n");
    EXPECT_EQ(readLogLevel("vpn"), 5);
}

TEST(LogSettingsFolder, PathsAndEmptyHome)
{
    TempHome home;
    CString folder;
    EXPECT_EQ(std::string(getConfigFolder(folder, false)), home.path() + "/.TessalNetworks");
    EXPECT_EQ(std::string(folder), home.path() + "/.TessalNetworks");
    EXPECT_EQ(std::string(getConfigFilePath()), home.path() + "/.TessalNetworks/tessalnetworks.conf");

    struct stat before {};
    bool existedBefore = stat("/.TessalNetworks", &before) == 0;
    home.setHome("");
    // No home at all: an empty HOME and no password entry to fall back to.
    const int status = runWithoutPasswordEntry([] {
        CString none;
        return getConfigFolder(none, true).IsEmpty() && readLogLevel("vpn") == 63 ? 0 : 1;
    });
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "needs root and an id without a password entry";
    EXPECT_EQ(status, 0);
    struct stat after {};
    EXPECT_EQ(stat("/.TessalNetworks", &after) == 0, existedBefore);
}

// One rule for the home folder wherever it is looked up: HOME when set and
// not empty, else the real user's password entry, else none.
namespace {

struct HomeRuleRow {
    const char* name;
    const char* home; // null: HOME unset
    bool listedUser;
    const char* expected; // null: the real user's password-database home
};

void PrintTo(const HomeRuleRow& row, std::ostream* out)
{
    *out << row.name;
}

class HomeFolderRule : public ::testing::TestWithParam<HomeRuleRow>
{};

} // namespace

TEST_P(HomeFolderRule, HomeThenThePasswordDatabase)
{
    const HomeRuleRow& row = GetParam();
    TempHome home;
    if (row.home != nullptr)
        home.setHome(row.home);
    else
        unsetenv("HOME");
    const auto matches = [&row] {
        const struct passwd* entry = getpwuid(getuid());
        const std::string expected = row.expected != nullptr ? row.expected : entry != nullptr ? entry->pw_dir : "";
        return std::string(getHomeFolder()) == expected ? 0 : 1;
    };
    const int status = row.listedUser ? matches() : runWithoutPasswordEntry(matches);
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "needs root and an id without a password entry";
    EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    LogSettingsFolder, HomeFolderRule,
    ::testing::Values(HomeRuleRow{"set", "/tmp/tessal-some-home", true, "/tmp/tessal-some-home"},
                      HomeRuleRow{"empty", "", true, nullptr}, HomeRuleRow{"unset", nullptr, true, nullptr},
                      HomeRuleRow{"setWithoutEntry", "/tmp/tessal-some-home", false, "/tmp/tessal-some-home"},
                      HomeRuleRow{"emptyWithoutEntry", "", false, ""},
                      HomeRuleRow{"unsetWithoutEntry", nullptr, false, ""}),
    [](const ::testing::TestParamInfo<HomeRuleRow>& info) { return std::string(info.param.name); });

TEST(LogSettingsFolder, ExistingFolderIsLeftAlone)
{
    TempHome home;
    std::string folder = home.path() + "/.TessalNetworks";
    ASSERT_EQ(mkdir(folder.c_str(), 0701), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0701), 0);
    CString out;
    getConfigFolder(out, true);
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0701u);
}

TEST(LogSettingsCreate, RootCreatesNothing)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "runs as root only";
    TempHome home;
    EXPECT_EQ(readLogLevel("vpn"), 63);
    struct stat info {};
    EXPECT_NE(stat((home.path() + "/.TessalNetworks/tessalnetworks.conf").c_str(), &info), 0);
}

TEST(LogSettingsCreate, OtherUserGetsDefaultFileAndModes)
{
    TempHome home;
    int status = runAsOtherUser(home, [] {
        if (readLogLevel("vpn") != 63)
            return 10;
        // A second lookup reads the file now present.
        return readLogLevel("vpn") == 63 ? 0 : 11;
    });
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "cannot switch to another user here";
    ASSERT_EQ(status, 0);

    std::string folder = home.path() + "/.TessalNetworks";
    std::string file = folder + "/tessalnetworks.conf";
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
    EXPECT_EQ(info.st_uid, home.ownerUid());
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(readFile(file), kExpectedDefaultFile);
}

TEST(LogSettingsCreate, ExistingFileIsNeverRewritten)
{
    TempHome home;
    // The user's own file, unreadable for the lookup: it must stay exactly as it is.
    std::string content = "default_log_level=12\n# mine\n";
    home.writeSettings(content);
    std::string file = home.path() + "/.TessalNetworks/tessalnetworks.conf";
    int status = runAsOtherUser(home, [file] {
        if (chmod(file.c_str(), 0200) != 0)
            return 20;
        int level = readLogLevel("vpn");
        if (chmod(file.c_str(), 0600) != 0)
            return 21;
        return level == 63 ? 0 : 22;
    });
    if (status == TempHome::kSkipped)
        GTEST_SKIP() << "cannot switch to another user here";
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(file), content);
}

// Root making the settings folder in a user's home (HOME at theirs): what
// the user puts at its name the moment it is made (a link to a file or a
// folder of root's) is never handed over to them.
TEST(LogSettingsFolder, ASwapRightAfterTheFolderIsMadeHandsNothingOver)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "runs as root only";
    char outside[] = "/tmp/tessal-victim-XXXXXX";
    ASSERT_NE(mkdtemp(outside), nullptr);
    const std::string file = std::string(outside) + "/file", folder = std::string(outside) + "/folder";
    ASSERT_EQ(std::system(
                  ("echo secret >'" + file + "' && chmod 600 '" + file + "' && mkdir -m 700 '" + folder + "'").c_str()),
              0);
    for (const std::string& target : {file, folder}) {
        TempHome home;
        home.giveTo(65534, 65534);
        const std::string made = home.settingsFolder();
        afterFolderMade = [&] {
            ASSERT_EQ(rename(made.c_str(), (made + ".moved").c_str()), 0);
            ASSERT_EQ(symlink(target.c_str(), made.c_str()), 0);
        };
        CString out;
        getConfigFolder(out, true);
        EXPECT_FALSE(afterFolderMade) << "no folder was made";
        struct stat info {};
        ASSERT_EQ(stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 0u) << target;
        EXPECT_EQ(info.st_mode & 07777, target == file ? 0600u : 0700u) << target;
    }
    std::system(("rm -rf '" + std::string(outside) + "'").c_str());
}
