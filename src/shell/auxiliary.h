#pragma once
// Diagnostics pages (the routing and address tables, the tail of a log file)
// and starting a program as the login user of a session.

#include <cstdint>

#include "foundation/Array.h"
#include "foundation/String.h"

class CRouteTable;

// The IPv4 and then the IPv6 routes as an HTML table; empty on failure.
CString GetIpForwardTableAsHTML();
// The IPv4 and then the IPv6 interface addresses as an HTML table; empty on failure.
CString GetIpAddrTableAsHTML();
// The last 10240 bytes of the file as HTML paragraphs; never empty.
CString GetLogFileAsHTML(const CString& path);

// The same pages read through a reader that is already initialised.
CString routeTableAsHTML(CRouteTable& reader);
CString addressTableAsHTML(CRouteTable& reader);

// Starts the program of commandLine as the login user of process pid, when
// that is the user the process runs as, in a session of its own with that
// user's environment, home folder, session keyring, and /dev/null on 0-2.
// Everything read of the process comes from the one that had the id when
// the call began.
// Returns the child's process id, -1 when no child could be started, and 0
// when the command line is bad, the program is missing, the user unknown or
// not the process's own, or the process ended or was replaced meanwhile.
int RunHV_LaunchApp(const CString& commandLine, int pid);
// The same with another folder in place of "/proc".
int RunHV_LaunchApp(const CString& commandLine, int pid, const char* procRoot);

// Splits params at blanks, keeping quoted texts whole, and appends the
// arguments to args. Returns their number, -1 for an unclosed quote.
int ParseParams(CString params, CArray<CString>& args);

// The login user of process pid; 4294967295 when there is none, the file
// cannot be read or does not hold a number.
uint32_t getProcessLoginUid(int pid);
uint32_t getProcessLoginUid(int pid, const char* procRoot);
