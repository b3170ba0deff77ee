#pragma once
// What a test program got from the process that started it, for the tests
// to check: one line per open descriptor ("<fd> -> <target>", the listing's
// own aside) and the kernel's "SigBlk:" and "SigIgn:" lines. Read it first
// thing in main, before the program opens anything itself.

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> inheritedState()
{
    std::vector<std::string> lines;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || name == std::to_string(::dirfd(dir)))
                continue;
            char target[4096];
            const ssize_t n = ::readlink(("/proc/self/fd/" + name).c_str(), target, sizeof target - 1);
            lines.push_back(name + " -> " + (n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string("?")));
        }
        ::closedir(dir);
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
            lines.push_back(line);
    return lines;
}
