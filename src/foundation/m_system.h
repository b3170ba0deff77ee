#pragma once
// Thin wrappers over POSIX calls with the library's conventions: texts come
// back as CString, failures as the call's own result or an empty text.

#include <cstddef>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "foundation/String.h"

bool isSymbolicLink(const char* path);
bool isDirectory(const char* path);
bool existsNotFifo(const char* path);
time_t modificationTime(const char* path);
bool isAccessible(const char* path, int mode);
unsigned int fileMode(const char* path);
int makeDirectory(const char* path, mode_t mode);
int removeDirectory(const char* path);
int removeFile(const char* path);
int renameFile(const char* oldPath, const char* newPath);
int changeMode(const char* path, mode_t mode);
// Writes the whole text, going on after interruptions and short writes.
bool writeAll(int fd, const std::string& text);

// Whether the effective user may execute the file: the owner's bit for the
// owner, the group's bit for a member of the file's group, the others' bit
// otherwise; the superuser when any execute bit is set.
bool isExecutableFile(const struct stat& info);
// Whether the client came from an rpm package, whose install leaves the
// "/opt/tessal/vpn/.rpm" marker.
bool installedFromRpm();

CString kernelRelease();
void systemBanner(CString& out);
CString systemBanner();
int hostName(char* buffer, size_t& size);
CString hostAddress(const char* name);
time_t currentTime();
long parseLong(const char* text);
CString intText(int n);
CString reapChild();

// The one set-up of every child process: standard input, output and error
// plus what the child is handed, nothing else (whoever opened the rest: the
// toolkit, the web engine, a library), default signal dispositions and an
// empty mask.
//
// For a child between fork and exec (async-signal-safe only).
// The soft limit on descriptors, read before the fork.
long descriptorLimit();
// Every signal back at its default and nothing blocked: an ignored
// disposition and the mask would survive exec. False when a call failed.
bool restoreChildSignals();
// Closes every descriptor from low to high (below limit where close_range
// is not there).
void closeDescriptors(unsigned low, unsigned high, long limit);
// Marks every descriptor from low up close-on-exec (below limit where
// close_range is not there), for a child whose starter still reports through
// one of its own until exec succeeds.
void closeDescriptorsOnExec(unsigned low, long limit);

struct UserIdentity;

// The environment this process was started with, remembered before the
// toolkit and the web engine add to it; until then the current one.
void rememberStartEnvironment();
std::vector<std::string> startEnvironment();

// How a child process starts. Whatever is not named keeps its default:
// the standard descriptors on /dev/null, our identity, the environment the
// client was started with, our working folder, waited for by the caller.
struct ChildStart {
    std::vector<std::string> args; // args[0] is the program's path, unless program is set
    std::string program; // the program's path, when args[0] is its name only
    std::vector<std::pair<int, int>> handed; // {our descriptor, its number in the child}
    const UserIdentity* identity = nullptr; // the user it runs as (groups, gid, uid)
    std::vector<std::string> environment = startEnvironment();
    int folder = -1; // its working folder, entered before the identity changes
    std::string directory; // or by path, as that user; "/" when it cannot enter it
    bool ownSession = false; // away from our terminal and process group
    bool detached = false; // in a session of its own and nobody's child here
    long long waitMs = -1; // waited for this long, then killed; -1: not waited for
    long long startMs = -1; // not waited for: its start up to exec bounded by this long; -1: none
};

// What became of it. error is the one report of a start that failed, as an
// error number: no process, a set-up that failed, or an exec that failed
// (the child is reaped then).
struct ChildRun {
    pid_t pid = -1;
    int error = 0;
    bool forkFailed = false; // there was no process: fork itself failed
    bool ended = false; // waited for: it ended, status tells how
    bool timedOut = false; // waited for: still running at the bound, killed and reaped
    int status = 0;
    bool started() const { return error == 0 && pid > 0; }
};

// The one way a child process starts: through the child set-up (standard
// descriptors plus what it is handed, default signals, an empty mask), then
// the identity, then exec.
ChildRun startProcess(const ChildStart& start);
// For a child started without a wait: one look, never blocking, whether it
// has ended. True once it has (run.ended and run.status tell how), or once
// another part has reaped it (run.error).
bool childHasEnded(pid_t pid, ChildRun& run);
// Kills a child that overran its bound and reaps it (run.timedOut).
void killChild(pid_t pid, ChildRun& run);

// Starts "/bin/sh" with the arguments "sh", "-c" and command in a child process and returns its process id
// without waiting for it; -1 with errno set when it could not be started (a
// failed exec included). The child keeps descriptors 0-2 only, with every
// signal at its default and nothing blocked.
pid_t runShellCommand(const char* command);

// Starts the program args[0] with args, in a session of its own and not as a
// child of this process (there is nothing to wait for), through the child
// set-up. Returns its process id, or -1 with errno set when it could not be
// started (a failed exec included).
pid_t startDetached(const std::vector<std::string>& args);

// Milliseconds of the monotonic clock, for deadlines that the wall clock's
// jumps must not move.
long long monotonicMs();

// "Thu, 01 Jan 1970 00:00:00 GMT"; the text lives in one process-wide buffer.
const char* formatHttpDate(time_t time);

// The running executable's path from "/proc/self/exe"; throws UException when
// it cannot be read.
CString SGetModuleFileName();
// The same with the link read by readLink (readlink's contract: bytes placed,
// no NUL, -1 with errno); for tests of the buffer rules.
CString SGetModuleFileName(ssize_t (*readLink)(char* buffer, size_t size));
// The executable's folder (the path without its last component).
CString SGetModuleFolder();
