#include "foundation/LogSettings.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

const char kFolderName[] = "/.TessalNetworks";
const char kFolderBase[] = ".TessalNetworks";
const char kFileName[] = "/tessalnetworks.conf";
const char kDefaultKey[] = "default_log_level=";
const char kModuleKeySuffix[] = "_log_level=";
const char kSizeKey[] = "log_file_size";
const size_t kSizeValueOffset = 14; // the key, one separator character, then the number
const int kLineBuffer = 256;
// The default file is under 2 KiB; anything near this is not ours to parse.
const size_t kSettingsLimit = 1 << 20;

bool startsWith(const char* line, const char* key)
{
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

// The value after a key: "%d" with leading blanks allowed.
bool readNumber(const char* text, int& value)
{
    return std::sscanf(text, "%d", &value) == 1;
}

// The settings file's text, read without following a link, blocking on a
// FIFO or reading past the limit; false when there is none to read.
bool readSettingsText(std::string& text)
{
    const CString path = getConfigFilePath();
    return !path.IsEmpty() && readRegularFile(static_cast<const char*>(path), kSettingsLimit, text);
}

// The next line as fgets with a buffer of kLineBuffer bytes gives it: up to
// and including the line feed, a longer line in pieces.
bool nextLine(const std::string& text, size_t& at, std::string& line)
{
    if (at >= text.size())
        return false;
    const size_t feed = text.find('\n', at);
    size_t end = feed == std::string::npos ? text.size() : feed + 1;
    if (end - at > static_cast<size_t>(kLineBuffer - 1))
        end = at + kLineBuffer - 1;
    line.assign(text, at, end - at);
    at = end;
    return true;
}

// Makes "<home>/.TessalNetworks" through descriptors: a link or anything
// else put in its place between the steps is never followed, and only the
// folder made here, still ours, is handed to the home folder's owner.
void makeConfigFolder(const CString& home)
{
    const UniqueFd homeFolder(::open(home, O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (homeFolder.get() < 0 || ::fstatat(homeFolder.get(), kFolderBase, &info, AT_SYMLINK_NOFOLLOW) == 0)
        return;
    if (::mkdirat(homeFolder.get(), kFolderBase, 0700) != 0)
        return;
    const UniqueFd made(::openat(homeFolder.get(), kFolderBase, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (made.get() < 0 || ::fstat(made.get(), &info) != 0 || info.st_uid != ::geteuid())
        return;
    struct stat homeInfo {};
    uid_t owner = ::geteuid();
    gid_t group = ::getegid();
    if (::fstat(homeFolder.get(), &homeInfo) == 0) {
        owner = homeInfo.st_uid;
        group = homeInfo.st_gid;
    }
    if (::fchown(made.get(), owner, group) != 0) {
        // Not fatal: the folder stays the creator's.
    }
    ::fchmod(made.get(), 0750);
}

std::string defaultConfigText(int level)
{
    char line[512];
    std::string text;
    text += "##########################################################################\n";
    text += "# This file contain TessalNetworks client components settings\n";
    text += "# \n";
    text += "# \n";
    text += "# BASIC     31   Value use to provide basic logs which include user friendly messages, warnings, and "
            "errors.\n";
    text += "#                Valid values are in the range 0 to 31, the highest setting is 31.\n";
    text += "# EXTENDED  63   Set to provide extended log level.\n";
    text += "#                Valid values are in the range of 32 to 63, the highest setting is 63.\n";
    text += "##########################################################################\n\n";
    text += "\n\n";
    text += "# default log level for all tessal components\n";
    std::snprintf(line, sizeof(line), "default_log_level=%d\n\n", level);
    text += line;
    text += "\n\n";
    text += "# svpn core log level. This setting is used to override the default log level set by "
            "default_log_level setting for svpn component\n";
    std::snprintf(line, sizeof(line), "#svpn_log_level=%d\n\n", 63);
    text += line;
    text += "\n\n";
    text += "# svpn NPAPI plugin log level. This setting is used to override the default log level set by "
            "default_log_level setting for svpn NPAPI plugin\n";
    std::snprintf(line, sizeof(line), "#svpn_plugin_log_level=%d\n\n", 63);
    text += line;
    text += "\n\n";
    text += "# endpoint secutity NPAPI plugin. This setting is used to override the default log level set by "
            "default_log_level setting for endpoint secutity NPAPI plugin\n";
    std::snprintf(line, sizeof(line), "#eps_plugin_log_level=%d\n\n", 63);
    text += line;
    text += "\n\n";
    text += "# LumaroClient. This setting is used to override the default log level set by "
            "default_log_level setting for LumaorClient application\n";
    std::snprintf(line, sizeof(line), "#lumaro_client_log_level=%d\n\n", 63);
    text += line;
    return text;
}

} // namespace

CString getHomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return CString(home);
    PasswordEntry entry;
    return passwordEntry(::getuid(), entry) ? CString(entry.home.c_str()) : CString();
}

CString getConfigFolder(CString& folder, bool create)
{
    CString home = getHomeFolder();
    if (home.IsEmpty()) {
        // No home folder: nothing may be created at the root of the file system.
        folder.Empty();
        return folder;
    }
    folder = home + kFolderName;
    if (!create)
        return folder;

    makeConfigFolder(home);
    return folder;
}

CString getConfigFilePath()
{
    CString folder;
    getConfigFolder(folder, false);
    if (folder.IsEmpty())
        return folder;
    return folder + kFileName;
}

int readLogLevel(const char* moduleName)
{
    int defaultLevel = kDefaultLogLevel;
    int moduleLevel = -1;
    std::string moduleKey;
    if (moduleName != nullptr)
        moduleKey = std::string(moduleName) + kModuleKeySuffix;

    std::string text;
    if (!readSettingsText(text)) {
        writeDefaultConfig(kDefaultLogLevel);
        return kDefaultLogLevel;
    }

    std::string line;
    for (size_t at = 0; nextLine(text, at, line);) {
        if (startsWith(line.c_str(), kDefaultKey)) {
            if (!readNumber(line.c_str() + std::strlen(kDefaultKey), defaultLevel))
                defaultLevel = kDefaultLogLevel;
        } else if (!moduleKey.empty() && startsWith(line.c_str(), moduleKey.c_str())) {
            if (!readNumber(line.c_str() + moduleKey.size(), moduleLevel))
                moduleLevel = -1;
        }
    }
    return moduleLevel != -1 ? moduleLevel : defaultLevel;
}

int readDefaultLogLevel()
{
    std::string text;
    if (!readSettingsText(text)) {
        writeDefaultConfig(kDefaultLogLevel);
        return kDefaultLogLevel;
    }
    int level = kDefaultLogLevel;
    std::string line;
    for (size_t at = 0; nextLine(text, at, line);) {
        if (startsWith(line.c_str(), kDefaultKey)) {
            if (!readNumber(line.c_str() + std::strlen(kDefaultKey), level))
                level = kDefaultLogLevel;
            break;
        }
    }
    return level;
}

int readLogFileSize()
{
    std::string text;
    if (!readSettingsText(text))
        return kDefaultLogFileSize;
    int size = kDefaultLogFileSize;
    std::string line;
    for (size_t at = 0; nextLine(text, at, line);) {
        if (startsWith(line.c_str(), kSizeKey)) {
            // The number starts after the key and one separator; a shorter line has none.
            if (std::strlen(line.c_str()) <= kSizeValueOffset || !readNumber(line.c_str() + kSizeValueOffset, size))
                size = kDefaultLogFileSize;
            break;
        }
    }
    return size;
}

void writeDefaultConfig(int level)
{
    if (geteuid() == 0)
        return;
    CString folder;
    getConfigFolder(folder, true);
    if (folder.IsEmpty())
        return;
    CString path = folder + kFileName;

    // Exclusive create: a file that exists (the user's or the daemon's) is never touched.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    writeAll(fd, defaultConfigText(level));
    ::fchmod(fd, 0600);
    ::close(fd);
}
