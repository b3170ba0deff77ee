#pragma once
// Files in a folder that another user may control (a root run with HOME in
// a user's folder): the folder is never entered through a symbolic link as
// its last component, a file is never opened through one, nothing blocks on
// a FIFO, and only regular files of bounded size are read.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Far above any update package or archive; nothing larger is read whole.
constexpr size_t kPackageFileLimit = size_t(1) << 31;

// A descriptor closed when it goes.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    void reset(int fd = -1);
    int release();

private:
    int m_fd;
};

// The folder that holds path, as a path descriptor (O_PATH), its last
// component not a link; base receives the file's name in it. Invalid, with
// errno set, when it cannot be opened or is no folder.
UniqueFd openParentFolder(const std::string& path, std::string& base);

// Opens name inside folder for reading, never through a link and without
// blocking, and only when it is a regular file (EINVAL otherwise); info
// receives its status. The descriptor is blocking again when returned.
UniqueFd openRegularFileAt(int folder, const std::string& name, struct stat& info);
UniqueFd openRegularFile(const std::string& path, struct stat& info);

// The whole regular file, when it holds at most limit bytes (EFBIG
// otherwise, also when it grows past limit while it is read). False with
// errno set when it cannot be read.
bool readRegularFileAt(int folder, const std::string& name, size_t limit, std::string& text);
bool readRegularFile(const std::string& path, size_t limit, std::string& text);
// Reads fd to its end a piece at a time, for take; false when a read fails,
// more than limit bytes come (EFBIG) or take returns false.
bool readInPieces(int fd, size_t limit, const std::function<bool(const char*, size_t)>& take);

// A user's file for reading as openRegularFileAt opens it, and only one of
// owner's (EPERM otherwise); any owner when owner is -1.
UniqueFd openUserFileAt(int folder, const std::string& name, uid_t owner, struct stat& info);

// How replaceFileAt makes a file's replacement.
struct Replacement {
    mode_t mode = S_IRUSR | S_IWUSR;
    // Whose file is replaced, -1 for anybody's; a file of another is left
    // alone (EPERM), as is anything at name that is no regular file (EINVAL).
    uid_t owner = static_cast<uid_t>(-1);
    // Whom the replacement is handed to before it holds a byte, when this
    // process has root's credentials; -1 keeps it ours.
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    // Whether nothing at name is an error (ENOENT) or a file to create.
    bool mustExist = false;
    int (*changeOwner)(int fd, uid_t uid, gid_t gid) = ::fchown;
};

// The one way a file in a user's folder is replaced: the new text goes to
// a hidden file beside name (created anew, never through a link), which is
// locked while it is written, handed over, given its mode, synced and then
// renamed over name; the folder is synced last. False with errno set; name
// is then as it was and no replacement is left behind.
bool replaceFileAt(int folder, const std::string& name, const std::string& text, const Replacement& how);

// Whether entry is a name replaceFileAt writes a replacement of name under.
bool isReplacementOf(const std::string& entry, const std::string& name);

// Removes the replacements of name that a killed replaceFileAt left in
// folder: regular files of ours or of owner's that no running write holds.
void removeStaleReplacements(int folder, const std::string& name, uid_t owner);

// Whether name names a file in a folder and nothing else: not empty, no
// "/", not "." or "..".
bool isPlainFileName(const std::string& name);

// A new file for name in folder, never over anything there: name itself,
// else "stem (1).ext", "stem (2).ext", ... up to kFreeNameTries names;
// taken receives the name used. EINVAL for a name that is no plain file
// name, EEXIST when every name is taken.
constexpr int kFreeNameTries = 100;
UniqueFd createFreeFileAt(int folder, const std::string& name, mode_t mode, std::string& taken);

// prefix and count letters or digits from the system's random source, for a
// name nobody can guess beforehand; empty when no random bytes could be had.
std::string randomName(const std::string& prefix, size_t count);

// Whether a process with root's credentials must keep off this folder's
// names: another user owns it, or group or others may write it without the
// sticky bit. Always false for a process without root's credentials.
bool controlledByOthers(const struct stat& folder);

// What openFolder met on its way.
struct FolderFacts {
    struct stat info {}; // the folder's own status
    bool othersOnTheWay = false; // it, or a folder passed to reach it, is controlled by others
};

// Opens the folder at path for reading, one component at a time: a symbolic
// link is followed only where it lies in a folder that is not controlled by
// others (ELOOP otherwise), and ".." never leads out of such a folder
// (EACCES). With create, missing folders are made with mode; one made in a
// folder controlled by others is handed to that folder's owner and group at
// once. facts, when given, tells as much as the walk saw, also on failure.
UniqueFd openFolder(const std::string& path, bool create, mode_t mode, FolderFacts* facts = nullptr);

// Whether root reaching path could be led by another user: a folder on the
// way, or the folder itself, is controlled by others.
bool othersControlPath(const std::string& path);

// Whom a process should be to work in a folder: its owner.
struct UserIdentity {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};
// uid's (or the named user's) entry in the password database: false when
// there is none.
struct PasswordEntry {
    std::string name;
    std::string home;
    std::string shell;
    uid_t uid = 0;
    gid_t gid = 0;
};
bool passwordEntry(uid_t uid, PasswordEntry& entry);
bool passwordEntry(const std::string& name, PasswordEntry& entry);

// uid's primary and supplementary groups from the password database; group
// alone when uid has no entry there. Looked up before any fork.
UserIdentity userIdentity(uid_t uid, gid_t group);

// In a child between fork and exec (async-signal-safe): becomes the user,
// groups first (only with root's credentials), then group, then user, all
// three ids checked, with a session keyring of its own so that the
// starter's keys stay behind. False with errno set when a step failed.
bool becomeUser(const UserIdentity& identity, bool superUser);

// The one shape of an environment made for a user, never the starter's:
// PATH, then HOME (the root folder when the entry names none), USER and
// LOGNAME from entry (nothing of them without one), then handedOn as it is.
// A login's has SHELL too ("/bin/sh" when the entry names none) and, for the
// super-user, PATH with the sbin folders, as a fresh login gives them.
std::vector<std::string> buildUserEnvironment(const PasswordEntry* entry, const std::vector<std::string>& handedOn,
                                              bool login);

// A short environment for a child that runs as uid: the locale variables and
// the display variables of the environment the client was started with, and
// uid's runtime folder and session bus when they are there and uid's, built
// for uid's entry in the password database (not as a login).
std::vector<std::string> userEnvironment(uid_t uid);

// The program that does a step as another user: "tessalvpn-as-user"
// beside our own executable; empty when our own path cannot be read.
std::string asUserProgram();

// Runs the program args[0] with args as identity (ourselves when null),
// through the one process start: its standard output comes back as result,
// the descriptors in handed are its 3, 4, ..., and it runs in a session of
// its own with an environment made for the user. A child forked here runs
// nothing but the set-up and exec, so no lock another thread held at the
// fork can hold it up. It and whatever it started are killed once boundMs
// has passed (a program the user stopped holds nobody up). True when it
// exited with status 0; result is then what it printed, else that or why
// it did not run.
bool runAsUser(const UserIdentity* identity, const std::vector<std::string>& args, const std::vector<int>& handed,
               std::string& result, long long boundMs);
