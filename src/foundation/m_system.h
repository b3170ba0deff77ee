#pragma once
// Thin wrappers over POSIX calls with the library's conventions: texts come
// back as CString, failures as the call's own result or an empty text.

#include <cstddef>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

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

CString kernelRelease();
void systemBanner(CString& out);
CString systemBanner();
int hostName(char* buffer, size_t& size);
CString hostAddress(const char* name);
time_t currentTime();
long parseLong(const char* text);
CString intText(int n);
CString reapChild();

// For a child between fork and exec (async-signal-safe only).
// The soft limit on descriptors, read before the fork.
long descriptorLimit();
// SIGPIPE and SIGCHLD back at their defaults and nothing blocked: an ignored
// disposition and the mask would survive exec. False when a call failed.
bool restoreChildSignals();
// Closes every descriptor from low to high (below limit where close_range
// is not there).
void closeDescriptors(unsigned low, unsigned high, long limit);

// Starts "/bin/sh -c command" in a child process and returns its process id
// (-1 when fork fails) without waiting for it. The child keeps descriptors
// 0-2 only, with SIGPIPE and SIGCHLD at their defaults and nothing blocked.
pid_t runShellCommand(const char* command);

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
