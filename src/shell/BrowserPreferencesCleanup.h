#pragma once
// "--cleanup": removes what the user's browsers remember about the launch
// scheme, once no Chrome or Firefox runs.

#include <sys/types.h>

#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "shell/ProcessMatcher.h"

namespace tessal {
namespace system {

// The home folder of user in the password database; for an empty user the
// foundation's getHomeFolder. Throws std::runtime_error
// "failed to get home folder for user: <user>" when there is none.
std::string getHomeFolder(const std::string& user);

// The user's id in the password database; throws as getHomeFolder does.
uid_t userId(const std::string& user);

// A password-database entry as far as the cleanup needs it.
struct UserEntry {
    std::string home;
    uid_t uid = 0;
};

// Every process under procRoot ("/proc"), in listing order. Throws
// std::filesystem::filesystem_error when procRoot cannot be listed.
std::vector<ProcessRecord> listProcesses(const std::string& procRoot);

} // namespace system

namespace qt {

class CustomQApplication;

// True when the command line asks for the cleanup ("--cleanup" in any case).
bool isCleanupCommandLine(const QStringList& arguments);

// True when every browser step succeeded; false when the user declined, the
// process list was unreadable or a step failed.
bool cleanupBrowserPreferences(CustomQApplication& app, const QString& user);

// The same for the given schemes, scanning processes under procRoot.
bool cleanupBrowserPreferences(const std::vector<std::string>& schemes, const std::string& user,
                               const std::string& procRoot);

} // namespace qt
} // namespace tessal
