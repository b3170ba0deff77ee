#pragma once
// Per-user lock files: the single-instance guard when there is no session
// bus, and the guard around the svpn daemon's start. They live in a folder
// of the user's own: the runtime folder ($XDG_RUNTIME_DIR) when it is set,
// else, or when the file cannot be made there (a read-only file system, no
// free inode, no write permission), "/.TessalNetworks" in the home folder.
// A folder qualifies only when
// it belongs to the effective user and nobody else may write to it, so a run
// with root's credentials never creates anything in another user's folder.

#include <string>

// An open descriptor (close-on-exec) of this user's lock folder, or -1 with
// the reason in why.
int openUserLockFolder(std::string* why = nullptr);

// An exclusive lock on one file of the lock folder, held while the object
// lives. The descriptors are never passed to a child process.
class UUserLockFile
{
public:
    explicit UUserLockFile(const char* name);
    ~UUserLockFile();
    UUserLockFile(const UUserLockFile&) = delete;
    UUserLockFile& operator=(const UUserLockFile&) = delete;

    // False when the folder or the file cannot be used (see error()).
    bool isUsable() const { return m_file >= 0; }
    bool tryLock();
    // Waits up to ms for the lock.
    bool lockWithin(int ms);
    void unlock();

    // The lock folder, for files that go beside the lock.
    int folder() const { return m_folder; }
    const std::string& error() const { return m_error; }

private:
    int m_folder = -1;
    int m_file = -1;
    bool m_locked = false;
    std::string m_error;
};
