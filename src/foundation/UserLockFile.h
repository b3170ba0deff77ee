#pragma once
// Per-user lock files: the single-instance guard when there is no session
// bus, and the guard around the svpn daemon's start. They live in a folder
// of the user's own: the runtime folder ($XDG_RUNTIME_DIR) when it is set,
// else, or when the file cannot be made there (a read-only file system, no
// free inode, no write permission), "/.TessalNetworks" in the home folder.
// A folder qualifies only when
// it belongs to the effective user and nobody else may write to it, so a run
// with root's credentials never creates anything in another user's folder.
//
// A lock that must be had wherever the user runs (the svpn start) may fall
// back to an abstract socket named after the user when no folder takes the
// file: bound while held, it needs no file system at all. Another user may
// hold that name first; the holder's credentials tell, and such a name is
// never waited for.

#include <string>

// An open descriptor (close-on-exec) of this user's lock folder, or -1 with
// the reason in why.
int openUserLockFolder(std::string* why = nullptr);

// An exclusive lock on one file of the lock folder, held while the object
// lives. The descriptors are never passed to a child process.
class UUserLockFile
{
public:
    enum class Fallback { None, UserSocket };
    explicit UUserLockFile(const char* name, Fallback fallback = Fallback::None);
    ~UUserLockFile();
    UUserLockFile(const UUserLockFile&) = delete;
    UUserLockFile& operator=(const UUserLockFile&) = delete;

    // False when neither a file nor the socket can be used (see error()).
    bool isUsable() const { return m_file >= 0 || !m_socketName.empty(); }
    // Never blocks: a caller that waits does so in its own way.
    bool tryLock();
    bool isLocked() const { return m_locked; }
    void unlock();
    // The socket's name is held by another user's process: this lock cannot
    // be had, and waiting would not change that.
    bool takenByAnotherUser() const { return m_foreignHolder; }

    // The lock folder, for files that go beside the lock (-1 for the socket).
    int folder() const { return m_folder; }
    const std::string& error() const { return m_error; }

private:
    bool trySocketLock();

    int m_folder = -1;
    int m_file = -1;
    int m_socket = -1;
    std::string m_socketName; // abstract, without its leading NUL
    bool m_locked = false;
    bool m_foreignHolder = false;
    std::string m_error;
};
