#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/system/system_error.hpp>

#include "tunnel/TunnelTypes.h"

class UPropertyList;

namespace tessal {

// An operating-system failure (system category) with a text.
class SystemError : public boost::system::system_error
{
public:
    SystemError(int error, const std::string& text);
};

// One remote port of a configured tunnel and the tunnel that serves it.
struct PortMapping {
    int remote_port = 0;
    TunnelEndpoint endpoint;
};

// One tunnel of a resource's configuration.
struct AppTunnelConfig {
    std::string app_path;
    std::string app_params;
    std::string remote_host;
    std::string remote_host_ip;
    std::string protocol;
    std::string compression;
    std::string local_host;
    std::string local_port;
    std::vector<PortMapping> mappings;
};

// A resource's tunnel configuration.
struct AppTunnelResourceDetails {
    std::vector<AppTunnelConfig> tunnels;
    bool show_warning = false;
};

} // namespace tessal

// The tunnel server refused the session id.
class InvalidSidException : public std::runtime_error
{
public:
    explicit InvalidSidException(const std::string& text) : std::runtime_error(text) {}
};

// The client side of the tunnelserver companion program: starts it beside
// our own executable, connects to the endpoint it reports, opens the session
// and exchanges the command protocol, one request at a time, on the calling
// (GUI) thread.
//
// A transport failure (time-out, end of file, reset, write error, a reply
// beyond its command's limit), bytes the server sends unasked (before a
// request or behind a reply) and a failed session command drop the
// connection and stop the child, so that no reply can ever answer another
// request; the next command starts afresh.
class TunnelServerClient
{
public:
    using ConnectionPtr = std::shared_ptr<boost::asio::ip::tcp::socket>;

    // The three parent-side pipe ends of a started child, and its process id.
    struct ProcessPipes {
        int input = -1;
        int output = -1;
        int error = -1;
        pid_t pid = -1;
    };

    TunnelServerClient(const std::string& host, int port, const std::string& sessionId, bool tls);
    ~TunnelServerClient();
    TunnelServerClient(const TunnelServerClient&) = delete;
    TunnelServerClient& operator=(const TunnelServerClient&) = delete;

    // Process and connection.
    ConnectionPtr getConnection();
    static ProcessPipes launchProcess(const std::string& path, const std::vector<std::string>& args);
    boost::asio::ip::tcp::endpoint readServerEndpoint(boost::asio::posix::stream_descriptor& output);
    static std::vector<char> makeSessionCommand(const std::string& encodedSession, const std::string& host,
                                                uint16_t port, bool tls, int pid);

    // Transport.
    void sendCommand(ConnectionPtr connection, const std::vector<char>& command, bool check, UPropertyList& reply);
    std::string transact(ConnectionPtr connection, const std::vector<char>& command, const std::string& delimiter);

    // Commands.
    bool isReady();
    int checkStatus();
    int open(const std::string& resourceId);
    int close(const std::string& resourceId);
    void exit();
    tessal::TunnelStats getStats(const std::string& resourceId);
    tessal::AppTunnelResourceDetails getConfig(const std::string& resourceId);
    tessal::AppLaunchConfig getLaunchConfig(const std::string& resourceId);
    void setLogLevel(int level);
    tessal::TunnelStats getStatsSimple(const std::string& resourceId);
    tessal::TunnelStats getExtStats(const std::string& resourceId);
    std::vector<tessal::TunnelEndpoint> getCachedEndpoints(const std::string& resourceId) const;

    // State used by the controller.
    bool isFor(const std::string& host, int port, const std::string& sessionId, bool tls) const;
    int openResourceCount() const { return static_cast<int>(m_openResources.size()); }
    bool isConnected() const { return static_cast<bool>(m_connection); }
    // True when the resource's tunnels went down with a dropped connection.
    bool lostTunnels(const std::string& resourceId) const { return m_lostResources.count(resourceId) != 0; }
    int logLevel() const { return m_logLevel; }

    // Time limits; tests shorten them.
    void setReplyTimeout(std::chrono::milliseconds limit) { m_replyTimeout = limit; }
    void setEndpointTimeout(std::chrono::milliseconds limit) { m_endpointTimeout = limit; }

private:
    class Child;

    void dropConnection(bool failure);
    [[noreturn]] void failExchange(const ConnectionPtr& connection, const boost::system::error_code& code,
                                   const char* what);
    void writeRequest(boost::asio::ip::tcp::socket& socket, const std::vector<char>& command);
    std::string describeCommand(const std::vector<char>& command) const;
    // Connects to a socket of process server on the endpoint's port or one of the next four.
    ConnectionPtr connectCycles(const boost::asio::ip::tcp::endpoint& endpoint, pid_t server);

    int m_logLevel = 0;
    std::string m_host;
    uint16_t m_port = 0;
    std::string m_sessionId;
    bool m_tls = false;
    std::set<std::string> m_openResources;
    std::set<std::string> m_lostResources;
    ConnectionPtr m_connection;
    std::shared_ptr<boost::asio::io_context> m_ioContext;
    std::map<std::string, std::vector<tessal::TunnelEndpoint>> m_endpointCache;
    std::unique_ptr<Child> m_child;
    std::chrono::milliseconds m_replyTimeout{15000};
    std::chrono::milliseconds m_endpointTimeout{15000};
};
