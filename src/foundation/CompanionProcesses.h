#pragma once
// Companion processes that must not outlive this program: the svpn daemon
// and tunnelserver. When the program has to end before it could close its
// tunnels in order (a termination signal whose close does not finish in
// time), stopCompanionProcesses sends each of them SIGTERM from inside a
// signal handler. The table is therefore fixed in size, read without locks,
// and the stop uses async-signal-safe calls only.
//
// A process is signalled only while its first argument's file name is still
// the one registered, so a process id the system has given to another
// program meanwhile is left alone.

#include <sys/types.h>

// A pid file's text: one decimal number above 1 (blanks around it allowed),
// else 0. Async-signal-safe, as is readPidFile.
int parsePidText(const char* text);
// The process a pid file names, 0 when it names none, -1 when it cannot be
// opened.
pid_t readPidFile(const char* path);

// Registers a running process; `program` is its path or file name. Returns a
// handle for forgetCompanion, or -1 when the table is full.
int watchCompanionProcess(pid_t pid, const char* program);
// Registers the process a pid file will name (read when stopping): a daemon
// that may still be starting. Registering the same file again does nothing.
int watchCompanionPidFile(const char* pidFile, const char* program);
void forgetCompanion(int handle);
void forgetCompanionProcess(pid_t pid);
void forgetCompanionPidFile(const char* pidFile);

// Async-signal-safe. Returns how many processes were signalled.
int stopCompanionProcesses();

// Watches a process or pid file for one scope; keep() leaves it watched.
class CompanionWatch
{
public:
    CompanionWatch(pid_t pid, const char* program) : m_handle(watchCompanionProcess(pid, program)) {}
    CompanionWatch(const char* pidFile, const char* program) : m_handle(watchCompanionPidFile(pidFile, program)) {}
    ~CompanionWatch()
    {
        if (m_handle >= 0)
            forgetCompanion(m_handle);
    }
    CompanionWatch(const CompanionWatch&) = delete;
    CompanionWatch& operator=(const CompanionWatch&) = delete;

    void keep() { m_handle = -1; }

private:
    int m_handle;
};
