#include "SvpnStandIn.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "PrivateNetwork.h"
#include "tessal_config.h"

namespace {

std::string dir()
{
    return TESSAL_SYSTEM_PATH("/opt/tessal/vpn");
}

// A /proc file of a process reaped while it is read fails the read (ESRCH),
// which the stream reports by throwing: that process is gone.
std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return std::string();
    }
}

// A zombie counts as gone: nobody may reap the daemon, whose parent has exited.
bool alive(int pid)
{
    if (kill(pid, 0) != 0)
        return false;
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

bool isStandIn(int pid)
{
    const std::string cmdline = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    return cmdline.find("/opt/tessal/vpn/svpn") != std::string::npos;
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string SvpnStandIn::executable()
{
    return dir() + "/svpn";
}
std::string SvpnStandIn::pidFile()
{
    return TESSAL_SYSTEM_PATH("/usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid");
}

void SvpnStandIn::writePidFile(const std::string& text)
{
    std::ofstream(pidFile(), std::ios::trunc) << text;
}

void SvpnStandIn::stopDaemon()
{
    const int pid = std::atoi(readFile(pidFile()).c_str());
    if (pid > 1 && isStandIn(pid)) {
        kill(pid, SIGTERM);
        if (!waitUntil([pid] { return !alive(pid); }, 3000))
            kill(pid, SIGKILL);
        waitUntil([pid] { return !alive(pid); }, 3000);
    }
    std::remove(pidFile().c_str());
}

SvpnStandIn::SvpnStandIn(const std::string& script)
{
    // CTest runs these tests in a network of their own (tessal_private_network);
    // run by hand, another program on the port fails the test at once.
    stopDaemon();
    const std::string holder = tessal::test::portHolder(44444);
    if (!holder.empty())
        throw std::runtime_error("127.0.0.1:44444 is held by " + holder);
    // The pid file's folder must exist for tests that write the file themselves.
    const std::string pid = pidFile();
    for (size_t at = pid.find('/', 1); at != std::string::npos; at = pid.find('/', at + 1))
        ::mkdir(pid.substr(0, at).c_str(), 0755);
    std::remove((dir() + "/svpn.record").c_str());
    std::ofstream(dir() + "/svpn.script", std::ios::trunc) << script;
}

SvpnStandIn::~SvpnStandIn()
{
    if (m_hidden)
        std::rename((executable() + ".hidden").c_str(), executable().c_str());
    stopDaemon();
}

void SvpnStandIn::hideExecutable()
{
    m_hidden = std::rename(executable().c_str(), (executable() + ".hidden").c_str()) == 0;
}

std::vector<std::string> SvpnStandIn::record() const
{
    std::vector<std::string> out;
    std::ifstream in(dir() + "/svpn.record");
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

std::vector<std::string> SvpnStandIn::lines(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& line : record())
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line.substr(prefix.size()));
    return out;
}

int SvpnStandIn::daemonPid() const
{
    return std::atoi(readFile(pidFile()).c_str());
}
