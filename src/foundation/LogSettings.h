#pragma once
// The per-user settings file "tessalnetworks.conf" in "<home>/.TessalNetworks":
// log levels per component and the size limit of the log file. The svpn
// daemon reads the same file, so its syntax and default text stay fixed.

#include "foundation/String.h"

constexpr int kDefaultLogLevel = 63;
constexpr int kDefaultLogFileSize = 0x500000;

// The user's home folder: HOME when it is set and not empty, else the real
// user's password-database entry, else "". Every lookup of the home goes here.
CString getHomeFolder();

// The settings folder "<home>/.TessalNetworks", also returned through folder.
// With create, a missing folder is made (0700, then the home folder's owner and
// group, then 0750) through descriptors, so that nothing put at its name in
// between is followed or handed over; anything already there is left as it
// is. An empty home folder gives an empty text and creates nothing.
CString getConfigFolder(CString& folder, bool create);

// "<settings folder>/tessalnetworks.conf", or "" when there is no home folder.
CString getConfigFilePath();

// The settings file is read only when it is a regular file of sane size,
// reached without a link as its last component or its folder's, and opened
// without blocking; anything else reads as a missing file.
int readLogLevel(const char* moduleName);
int readDefaultLogLevel();
int readLogFileSize();

// Creates the commented default file when none exists (never as root, never
// over an existing file).
void writeDefaultConfig(int level);
