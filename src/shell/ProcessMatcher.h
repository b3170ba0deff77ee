#pragma once
// Tells whether a running process is one of the browsers the cleanup waits
// for.

#include <string>

namespace tessal {
namespace system {

// One entry of the process list: its id and the first word of its command
// line ("<unknown>" when that could not be read).
struct ProcessRecord {
    int pid = 0;
    std::string command = "<unknown>";
};

struct ProcessMatcher {
    enum Method { Equal = 1, Wildcard = 2 };

    std::string expression;
    int matchMethod = Equal;
    int fileNameOnly = 1; // 1: compare only the command's last path component
    bool ignoreCase = true;
    int wildcardFlags = 0; // handed to fnmatch unchanged

    // Throws std::runtime_error "bad match method" or "bad expression: <expression>".
    bool operator()(const ProcessRecord& process) const;
};

} // namespace system
} // namespace tessal
