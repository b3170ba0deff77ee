#pragma once
// What tests may change in the shell's process-wide state, in one place.
// Nothing in the program calls these; each setter returns what it replaces
// (an empty launcher restores the shell).

#include <sys/types.h>

#include <functional>
#include <string>

#include <QString>

namespace tessal {
namespace system {
struct UserEntry;
}

namespace qt {

struct ShellTestSeam final {
    // How the cleanup finds a user (the real user when empty) in the
    // password database; false when there is none.
    using UserLookup = bool (*)(const std::string& user, system::UserEntry& entry);
    static UserLookup setUserLookup(UserLookup lookup);

    // How a replaced preference file is handed to its owner (fchown).
    using ChangeOwner = int (*)(int fd, uid_t uid, gid_t gid);
    static ChangeOwner setChangeOwner(ChangeOwner change);

    // How launchApplications starts one command line; returns the child's pid.
    using AppLauncher = std::function<pid_t(const std::string& command)>;
    static AppLauncher replaceAppLauncher(AppLauncher launcher);

    // The oldest toolkit accepted at run time, for test programs built from
    // main.cpp to set before start-up.
    static void setMinimumToolkitVersion(const QString& version);
};

} // namespace qt
} // namespace tessal
