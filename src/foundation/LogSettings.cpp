#include "foundation/LogSettings.h"
#include "foundation/m_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

const char kFolderName[] = "/.TessalNetworks";
const char kFileName[] = "/tessalnetworks.conf";
const char kDefaultKey[] = "default_log_level=";
const char kModuleKeySuffix[] = "_log_level=";
const char kSizeKey[] = "log_file_size";
const size_t kSizeValueOffset = 14;   // the key, one separator character, then the number
const int kLineBuffer = 256;

bool startsWith(const char* line, const char* key)
{
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

// The value after a key: "%d" with leading blanks allowed.
bool readNumber(const char* text, int& value)
{
    return std::sscanf(text, "%d", &value) == 1;
}

std::string defaultConfigText(int level)
{
    char line[512];
    std::string text;
    text += "##########################################################################\n";
    text += "# This file contain TessalNetworks client components settings\n";
    text += "# \n";
    text += "# \n";
    text += "# BASIC     31   Value use to provide basic logs which include user friendly messages, warnings, and errors.\n";
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
    if (home != nullptr)
        return CString(home);

    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
        && found->pw_dir != nullptr)
        return CString(found->pw_dir);
    return CString();
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

    struct stat info {};
    if (::stat(folder, &info) == 0 && (info.st_mode & 0xe000) != 0)
        return folder;

    if (::mkdir(folder, 0700) == 0) {
        // Only a folder made here gets the home folder's owner and the shared mode.
        struct stat homeInfo {};
        uid_t owner = geteuid();
        gid_t group = getegid();
        if (::stat(home, &homeInfo) == 0) {
            owner = homeInfo.st_uid;
            group = homeInfo.st_gid;
        }
        if (::chown(folder, owner, group) != 0) {
            // Not fatal: the folder stays the creator's.
        }
        ::chmod(folder, 0750);
    }
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

    CString path = getConfigFilePath();
    FILE* file = path.IsEmpty() ? nullptr : std::fopen(path, "rte");
    if (file == nullptr) {
        writeDefaultConfig(kDefaultLogLevel);
        return kDefaultLogLevel;
    }

    char line[kLineBuffer];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        if (startsWith(line, kDefaultKey)) {
            if (!readNumber(line + std::strlen(kDefaultKey), defaultLevel))
                defaultLevel = kDefaultLogLevel;
        } else if (!moduleKey.empty() && startsWith(line, moduleKey.c_str())) {
            if (!readNumber(line + moduleKey.size(), moduleLevel))
                moduleLevel = -1;
        }
    }
    std::fclose(file);
    return moduleLevel != -1 ? moduleLevel : defaultLevel;
}

int readDefaultLogLevel()
{
    CString path = getConfigFilePath();
    FILE* file = path.IsEmpty() ? nullptr : std::fopen(path, "rte");
    if (file == nullptr) {
        writeDefaultConfig(kDefaultLogLevel);
        return kDefaultLogLevel;
    }
    int level = kDefaultLogLevel;
    char line[kLineBuffer];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        if (startsWith(line, kDefaultKey)) {
            if (!readNumber(line + std::strlen(kDefaultKey), level))
                level = kDefaultLogLevel;
            break;
        }
    }
    std::fclose(file);
    return level;
}

int readLogFileSize()
{
    CString path = getConfigFilePath();
    FILE* file = path.IsEmpty() ? nullptr : std::fopen(path, "rte");
    if (file == nullptr)
        return kDefaultLogFileSize;
    int size = kDefaultLogFileSize;
    char line[kLineBuffer];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        if (startsWith(line, kSizeKey)) {
            // The number starts after the key and one separator; a shorter line has none.
            if (std::strlen(line) <= kSizeValueOffset || !readNumber(line + kSizeValueOffset, size))
                size = kDefaultLogFileSize;
            break;
        }
    }
    std::fclose(file);
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
