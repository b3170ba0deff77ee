#pragma once

// Drives the tunnelserver stand-in that lies beside the test program (both in
// <build>/test-bin): a script and a record file in a temporary folder, handed
// to the stand-in through its environment (the client starts it with ours).
// The protocol: docs/tunnelserver-protocol.md.

#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QTemporaryDir>

class TunnelServerStandIn
{
public:
    explicit TunnelServerStandIn(const std::string& script)
    {
        m_script = m_dir.filePath("script.txt").toStdString();
        m_record = m_dir.filePath("record.txt").toStdString();
        std::ofstream(m_script) << script;
        ::setenv("TESSAL_TUNNELSERVER_SCRIPT", m_script.c_str(), 1);
        ::setenv("TESSAL_TUNNELSERVER_RECORD", m_record.c_str(), 1);
    }
    ~TunnelServerStandIn()
    {
        ::unsetenv("TESSAL_TUNNELSERVER_SCRIPT");
        ::unsetenv("TESSAL_TUNNELSERVER_RECORD");
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::ifstream f(m_record);
        std::string line;
        while (std::getline(f, line))
            out.push_back(line);
        return out;
    }

    // The commands received, in order, without the "cmd " prefix.
    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        for (const auto& l : lines())
            if (l.rfind("cmd ", 0) == 0)
                out.push_back(l.substr(4));
        return out;
    }

    std::vector<pid_t> starts() const
    {
        std::vector<pid_t> out;
        for (const auto& l : lines())
            if (l.rfind("start ", 0) == 0)
                out.push_back(static_cast<pid_t>(std::stol(l.substr(6))));
        return out;
    }

    // True once the process has gone (it is our child and was reaped, or never ours).
    static bool gone(pid_t pid)
    {
        for (int i = 0; i < 3000; ++i) { // up to 30 s: a loaded machine can be slow to reap
            int status = 0;
            ::waitpid(pid, &status, WNOHANG);
            if (::kill(pid, 0) != 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    QTemporaryDir m_dir;
    std::string m_script;
    std::string m_record;
};
