#pragma once

#include <functional>
#include <string>
#include <vector>

// Drives the svpn stand-in installed under the build's system root: writes
// its script, reads what it recorded, and makes sure no daemon outlives a test.
// The daemon's port is fixed: a test that finds it taken fails at once.
// The protocol the tests hold the client to: docs/svpn-poll-protocol.md.
class SvpnStandIn
{
public:
    explicit SvpnStandIn(const std::string& script);
    ~SvpnStandIn();
    SvpnStandIn(const SvpnStandIn&) = delete;
    SvpnStandIn& operator=(const SvpnStandIn&) = delete;

    static std::string executable();
    static std::string pidFile();
    static void writePidFile(const std::string& text);
    // Stops a daemon named by the pid file (if it is the stand-in) and removes the file.
    static void stopDaemon();

    std::vector<std::string> record() const;
    // Record lines beginning with prefix, with the prefix removed.
    std::vector<std::string> lines(const std::string& prefix) const;
    // The daemon's pid from its pid file, or 0.
    int daemonPid() const;
    // Hides the executable until the object goes.
    void hideExecutable();

private:
    bool m_hidden = false;
};

bool waitUntil(const std::function<bool()>& condition, int ms);
