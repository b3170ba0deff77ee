#include "tunnel/TunnelServerClient.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <boost/asio/basic_waitable_timer.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "foundation/CompanionProcesses.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/InputDepth.h"
#include "foundation/LocalPeer.h"
#include "foundation/String.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UCryptedString.h"
#include "foundation/m_system.h"
#include "foundation/str_helper.h"
#include "tunnel/ResourceErrors.h"
#include "tunnel/UTunnelManagerHelpers.h"

namespace {

const char* const kSource = "TunnelServerClient";

// The foundation's monotonic clock, for the reply and endpoint time limits.
struct MonotonicClock {
    using rep = long long;
    using period = std::milli;
    using duration = std::chrono::milliseconds;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;
    static time_point now() { return time_point(duration(monotonicMs())); }
};
using DeadlineTimer = boost::asio::basic_waitable_timer<MonotonicClock>;

// The command's name: its text up to the first argument.
std::string commandName(const std::vector<char>& command)
{
    const auto amp = std::find(command.begin(), command.end(), '&');
    return std::string(command.begin(), amp);
}

// The largest reply a command gets. The open and configuration replies grow
// with the resource's tunnels and ports; every other reply is a few pairs.
size_t replyLimitFor(const std::string& name)
{
    if (name == "cmd=open_all_tunnels" || name == "cmd=get_resource_config")
        return 1024 * 1024;
    return 64 * 1024;
}

// True when the server has sent bytes that no request asked for yet.
bool bytesWaiting(boost::asio::ip::tcp::socket& socket)
{
    char byte = 0;
    return ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

std::vector<char> toBytes(const std::string& text)
{
    return std::vector<char>(text.begin(), text.end());
}

std::string decoded(const std::string& text)
{
    CString in(text.data(), static_cast<int>(text.size()));
    CString out = URLDecode(in);
    return std::string(static_cast<const char*>(out), static_cast<size_t>(out.GetLength()));
}

std::string value(const UPropertyList& list, const std::string& name, const char* fallback = "")
{
    CString v = getPropertyValue(list, name.c_str(), fallback);
    return std::string(static_cast<const char*>(v), static_cast<size_t>(v.GetLength()));
}

bool has(const UPropertyList& list, const std::string& name)
{
    return findProperty(list, name.c_str()) != nullptr;
}

int clampToInt(int64_t v)
{
    if (v > INT_MAX || v < INT_MIN)
        return -1;
    return static_cast<int>(v);
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

namespace tessal {

SystemError::SystemError(int error, const std::string& text)
    : boost::system::system_error(boost::system::error_code(error, boost::system::system_category()), text)
{}

} // namespace tessal

// A started tunnelserver: its process id, the write end of its standard input
// (it ends when it sees end of file there) and a watcher thread that drains
// its standard output and error, so that it never blocks on a full pipe, and
// reaps it when it has gone. Nothing here waits for the process on the
// calling (GUI) thread.
class TunnelServerClient::Child
{
public:
    Child(pid_t pid, int input) : m_input(input), m_state(std::make_shared<State>(pid)) {}

    // Closes its input, so that a server still running leaves on its own.
    ~Child()
    {
        closeFd(m_input);
        watch(-1, -1);
    }

    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void drain(int output, int error) { watch(output, error); }

    // After a successful exit: the input stays open until this program ends.
    void keepInputOpen() { m_input = -1; }

    // After a failure: the watcher sends SIGTERM, and SIGKILL when it has not
    // gone within a second.
    void terminate()
    {
        closeFd(m_input);
        watch(-1, -1);
        m_state->terminate.store(true);
        char c = 0;
        ssize_t ignored = ::write(m_state->wake[1], &c, 1);
        (void)ignored;
    }

private:
    struct State {
        explicit State(pid_t p) : pid(p)
        {
            if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
                wake[0] = wake[1] = -1;
        }
        ~State()
        {
            closeFd(wake[0]);
            closeFd(wake[1]);
        }
        const pid_t pid;
        int wake[2] = {-1, -1};
        std::atomic<bool> terminate{false};
    };

    // 0 while it runs, 1 once it is reaped here, -1 when it is no longer ours
    // to wait for (reaped elsewhere, or SIGCHLD ignored).
    static int reaped(pid_t pid, int options)
    {
        int status = 0;
        pid_t r = 0;
        do
            r = ::waitpid(pid, &status, options);
        while (r < 0 && errno == EINTR);
        return r == pid ? 1 : r == 0 ? 0 : -1;
    }

    // Through its pidfd where there is one: with SIGCHLD ignored the system
    // reaps it, and its id may go to another process.
    static void signal(pid_t pid, int pidfd, int number)
    {
        if (pidfd >= 0)
            ::syscall(SYS_pidfd_send_signal, pidfd, number, nullptr, 0);
        else
            ::kill(pid, number);
    }

    // The watcher is the one that reaps the process, so it alone signals it:
    // an unreaped child's id cannot have gone to another process.
    static void run(std::shared_ptr<State> state, int output, int error)
    {
        const pid_t pid = state->pid;
        // Readable once the process has ended; without it, a look twice a second.
        int ended = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        int fds[2] = {output, error};
        char buffer[4096];
        long long killAt = -1;
        for (;;) {
            if (state->terminate.load() && killAt < 0) {
                if (reaped(pid, WNOHANG) != 0)
                    break;
                signal(pid, ended, SIGTERM);
                killAt = monotonicMs() + 1000;
            }
            if (killAt >= 0 && monotonicMs() >= killAt) {
                if (reaped(pid, WNOHANG) == 0) {
                    signal(pid, ended, SIGKILL);
                    reaped(pid, 0);
                }
                break;
            }
            const int timeout = killAt >= 0 ? static_cast<int>(std::max(0LL, killAt - monotonicMs()))
                              : ended >= 0  ? -1
                                            : 500;
            pollfd p[4] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {state->wake[0], POLLIN, 0}, {ended, POLLIN, 0}};
            if (::poll(p, 4, timeout) < 0 && errno != EINTR)
                break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i] < 0 || !p[i].revents)
                    continue;
                ssize_t n = ::read(fds[i], buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                    closeFd(fds[i]);
            }
            if (p[2].revents) {
                while (::read(state->wake[0], buffer, sizeof buffer) > 0) {
                }
            }
            if ((ended < 0 || p[3].revents) && reaped(pid, WNOHANG) != 0)
                break;
        }
        closeFd(fds[0]);
        closeFd(fds[1]);
        closeFd(ended);
        forgetCompanionProcess(pid);
    }

    // Starts the watcher once; later calls only hand over their descriptors.
    void watch(int output, int error)
    {
        if (m_watching) {
            closeFd(output);
            closeFd(error);
            return;
        }
        m_watching = true;
        std::thread(&Child::run, m_state, output, error).detach();
    }

    int m_input;
    bool m_watching = false;
    std::shared_ptr<State> m_state;
};

TunnelServerClient::TunnelServerClient(const std::string& host, int port, const std::string& sessionId, bool tls)
    : m_host(host),
      m_port(static_cast<uint16_t>(port)),
      m_sessionId(sessionId),
      m_tls(tls),
      m_ioContext(std::make_shared<boost::asio::io_context>())
{}

TunnelServerClient::~TunnelServerClient()
{
    dropConnection(false);
}

bool TunnelServerClient::isFor(const std::string& host, int port, const std::string& sessionId, bool tls) const
{
    return m_host == host && m_port == static_cast<uint16_t>(port) && m_sessionId == sessionId && m_tls == tls;
}

void TunnelServerClient::dropConnection(bool failure)
{
    // The next server has not had the level in force.
    m_logLevel = 0;
    if (m_connection) {
        boost::system::error_code ignored;
        m_connection->close(ignored);
        m_connection.reset();
    }
    if (failure) {
        // The tunnels went down with the server.
        m_lostResources.insert(m_openResources.begin(), m_openResources.end());
        m_openResources.clear();
    }
    if (m_child) {
        if (failure)
            m_child->terminate();
        m_child.reset();
    }
}

TunnelServerClient::ProcessPipes TunnelServerClient::launchProcess(const std::string& path,
                                                                   const std::vector<std::string>& args)
{
    // Close-on-exec everywhere, so that no other child inherits these ends
    // (a later tunnelserver holding our input pipe would keep an old one alive).
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        int e = errno;
        for (int* p : {in, out, err}) {
            closeFd(p[0]);
            closeFd(p[1]);
        }
        throw tessal::SystemError(e, "pipe() returned an error");
    }

    // Its pipes on 0-2 and nothing else of ours (the toolkit's, the web
    // engine's), with the signal state and the environment it would get
    // without us.
    ChildStart start;
    start.args.push_back(path);
    start.args.insert(start.args.end(), args.begin(), args.end());
    start.handed = {{in[0], STDIN_FILENO}, {out[1], STDOUT_FILENO}, {err[1], STDERR_FILENO}};
    const ChildRun run = startProcess(start);
    closeFd(in[0]);
    closeFd(out[1]);
    closeFd(err[1]);
    if (!run.started()) {
        closeFd(in[1]);
        closeFd(out[0]);
        closeFd(err[0]);
        throw tessal::SystemError(run.error, "Failed to launch process " + path);
    }
    const pid_t pid = run.pid;
    // A forced end of this program stops it too.
    watchCompanionProcess(pid, path.c_str());
    ProcessPipes pipes;
    pipes.input = in[1];
    pipes.output = out[0];
    pipes.error = err[0];
    pipes.pid = pid;
    return pipes;
}

boost::asio::ip::tcp::endpoint TunnelServerClient::readServerEndpoint(boost::asio::posix::stream_descriptor& output)
{
    struct State {
        boost::asio::streambuf buffer{64 * 1024};
        boost::system::error_code status = boost::asio::error::would_block;
        bool done = false;
        bool timedOut = false;
    };
    auto state = std::make_shared<State>();
    m_ioContext->restart();
    DeadlineTimer timer(*m_ioContext, m_endpointTimeout);
    timer.async_wait([state](const boost::system::error_code& ec) {
        if (ec != boost::asio::error::operation_aborted)
            state->timedOut = true;
    });
    boost::asio::async_read_until(output, state->buffer, '\n',
                                  [state](const boost::system::error_code& ec, std::size_t) {
                                      state->status = ec;
                                      state->done = true;
                                  });
    while (!state->done && !state->timedOut) {
        if (m_ioContext->run_one() == 0)
            break;
    }
    timer.cancel();
    boost::system::error_code ignored;
    output.cancel(ignored);
    m_ioContext->restart();
    m_ioContext->run(); // lets the cancelled handlers finish before we go on

    if (state->timedOut && (!state->done || state->status == boost::asio::error::operation_aborted))
        throw boost::system::system_error(boost::system::error_code(ETIMEDOUT, boost::system::system_category()),
                                          "read_until");
    if (state->status)
        throw boost::system::system_error(state->status, "read_until");

    // Only the first line counts; anything after it is the server's own output.
    std::string received(boost::asio::buffers_begin(state->buffer.data()),
                         boost::asio::buffers_end(state->buffer.data()));
    std::string line = trimWhite(received.substr(0, received.find('\n')));

    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t cut = line.find_first_of(" \t\n", start);
        fields.push_back(line.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
    if (fields.size() != 2)
        throw std::runtime_error("bad input, " + std::to_string(fields.size()) + ": " + line);

    const std::string& portField = fields[1];
    size_t i = 0;
    bool negative = false;
    if (i < portField.size() && (portField[i] == '+' || portField[i] == '-'))
        negative = portField[i++] == '-';
    if (i == portField.size())
        throw std::runtime_error("failed to parse port: '" + portField + "'");
    long long port = 0;
    for (; i < portField.size(); ++i) {
        char c = portField[i];
        if (c < '0' || c > '9')
            throw std::runtime_error("failed to parse port: '" + portField + "'");
        port = port * 10 + (c - '0');
        if (port > 0xFFFFFFFFLL)
            throw std::runtime_error("failed to parse port: '" + portField + "'");
    }
    if (negative)
        port = -port;
    if (port < 1 || port > 65535)
        throw std::runtime_error("bad port: '" + portField + "'");

    boost::asio::ip::address address = boost::asio::ip::make_address(fields[0]);
    return boost::asio::ip::tcp::endpoint(address, static_cast<unsigned short>(port));
}

std::vector<char> TunnelServerClient::makeSessionCommand(const std::string& encodedSession, const std::string& host,
                                                         uint16_t port, bool tls, int pid)
{
    std::string text = "cmd=session&host=" + host + "&port=" + std::to_string(port) +
                       "&ua=" + static_cast<const char*>(getUserAgent()) + "&session=" + encodedSession +
                       "&SSLEnabled=" + (tls ? "1" : "0") + "&HTTPEnabled=1&ISessionEnabled=1&CtrlChannelEnabled=1";
    if (pid != 0)
        text += "&pid=" + std::to_string(pid);
    std::vector<char> bytes(text.begin(), text.end());
    std::fill(text.begin(), text.end(), '\0');
    return bytes;
}

// Opened close-on-exec at once: the applications launched for the tunnels,
// and every other child, must not inherit the authenticated connection.
static void openNotInherited(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::tcp& protocol,
                             boost::system::error_code& ec)
{
    const int fd = ::socket(protocol.family(), protocol.type() | SOCK_CLOEXEC, protocol.protocol());
    if (fd < 0) {
        ec.assign(errno, boost::system::system_category());
        return;
    }
    socket.assign(protocol, fd, ec);
    if (ec)
        ::close(fd);
}

TunnelServerClient::ConnectionPtr TunnelServerClient::connectCycles(const boost::asio::ip::tcp::endpoint& endpoint,
                                                                    pid_t server)
{
    for (int cycle = 1; cycle <= 20; ++cycle) {
        timeval pause{0, 100000};
        while (::select(0, nullptr, nullptr, nullptr, &pause) < 0 && errno == EINTR) {
        }
        unsigned port = endpoint.port();
        for (int attempt = 0; attempt < 5; ++attempt) {
            auto socket = std::make_shared<boost::asio::ip::tcp::socket>(*m_ioContext);
            boost::system::error_code ec;
            openNotInherited(*socket, endpoint.protocol(), ec);
            if (!ec)
                socket->connect(boost::asio::ip::tcp::endpoint(endpoint.address(), static_cast<unsigned short>(port)),
                                ec);
            // Any local user may hold one of these ports: the session goes only
            // to a socket of the server we started.
            if (!ec && !localPeerHeldBy(socket->native_handle(), server)) {
                ULOG(1, kSource, __PRETTY_FUNCTION__,
                     UArgFormat("Refused to use %1:%2, the socket there is not held by the tunnel server (pid %3)")
                         .arg(endpoint.address().to_string().c_str())
                         .arg(static_cast<int>(port))
                         .arg(static_cast<int>(server))
                         .str());
                ec = boost::asio::error::connection_refused;
            }
            if (!ec) {
                int one = 1;
                ::setsockopt(socket->native_handle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                m_connection = socket;
                boost::system::error_code rc;
                auto remote = socket->remote_endpoint(rc);
                ULOG(48, kSource, __PRETTY_FUNCTION__,
                     UArgFormat("Succeded to connect (retry #%1) to %2:%3")
                         .arg(cycle)
                         .arg(remote.address().to_string().c_str())
                         .arg(static_cast<int>(remote.port()))
                         .str());
                return socket;
            }
            boost::system::error_code ignored;
            socket->close(ignored);
            if (port >= 65535)
                break; // the next four ports stop at the last port there is
            ++port;
        }
    }
    throw std::runtime_error("Failed to connect to TunnelServer " + endpoint.address().to_string() + ":" +
                             std::to_string(endpoint.port()));
}

TunnelServerClient::ConnectionPtr TunnelServerClient::getConnection()
{
    if (m_connection)
        return m_connection;

    CString module = SGetModuleFileName();
    const std::filesystem::path exe(std::string(static_cast<const char*>(module)));
    const std::string path = (exe.parent_path() / "tunnelserver").string();
    ULOG(48, kSource, __PRETTY_FUNCTION__, UArgFormat("Running tunnel server process (%1)...").arg(path.c_str()).str());

    // A new server runs with its own default level until it is sent one.
    m_logLevel = 0;
    ProcessPipes pipes = launchProcess(path, {});
    auto child = std::make_unique<Child>(pipes.pid, pipes.input);
    try {
        boost::asio::posix::stream_descriptor output(*m_ioContext, pipes.output);
        boost::asio::ip::tcp::endpoint endpoint;
        try {
            endpoint = readServerEndpoint(output);
        } catch (...) {
            child->drain(output.release(), pipes.error);
            throw;
        }
        child->drain(output.release(), pipes.error);

        ULOG(48, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Trying to connect to %1:%2")
                 .arg(endpoint.address().to_string().c_str())
                 .arg(static_cast<int>(endpoint.port()))
                 .str());
        connectCycles(endpoint, pipes.pid);
    } catch (...) {
        // A child that did not come up properly is of no use: stop it.
        m_connection.reset();
        child->terminate();
        throw;
    }
    m_child = std::move(child);

    CString plain(m_sessionId.c_str());
    CString encoded;
    UCryptedString::EncryptString(plain, encoded);
    wipeString(plain);
    std::vector<char> command =
        makeSessionCommand(std::string(static_cast<const char*>(encoded), static_cast<size_t>(encoded.GetLength())),
                           m_host, m_port, m_tls, static_cast<int>(::getpid()));
    wipeString(encoded);
    try {
        UPropertyList reply;
        sendCommand(m_connection, command, true, reply);
    } catch (...) {
        std::fill(command.begin(), command.end(), '\0');
        // Without a session the connection is useless.
        dropConnection(true);
        throw;
    }
    std::fill(command.begin(), command.end(), '\0');
    return m_connection;
}

std::string TunnelServerClient::describeCommand(const std::vector<char>& command) const
{
    std::string text(command.begin(), command.end());
    // Session values appear in records only in short form.
    for (const char* key : {"?session=", "&session="}) {
        size_t pos = key[0] == '?' ? (text.rfind("session=", 0) == 0 ? 0 : std::string::npos) : text.find(key);
        if (pos == std::string::npos)
            continue;
        size_t begin = pos + (key[0] == '?' ? 8 : 9);
        size_t end = text.find('&', begin);
        text.replace(begin, end == std::string::npos ? std::string::npos : end - begin,
                     static_cast<const char*>(shortSecret(CString(m_sessionId.c_str()))));
    }
    return text;
}

void TunnelServerClient::writeRequest(boost::asio::ip::tcp::socket& socket, const std::vector<char>& command)
{
    const long long deadline = monotonicMs() + m_replyTimeout.count();
    const char* data = command.data();
    size_t left = command.size();
    while (left > 0) {
        size_t chunk = std::min<size_t>(left, 65536);
        ssize_t n = ::send(socket.native_handle(), data, chunk, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                const long long remaining = deadline - monotonicMs();
                if (remaining <= 0)
                    throw boost::system::system_error(
                        boost::system::error_code(ETIMEDOUT, boost::system::system_category()), "write");
                pollfd p{socket.native_handle(), POLLOUT, 0};
                ::poll(&p, 1, static_cast<int>(remaining));
                continue;
            }
            throw boost::system::system_error(boost::system::error_code(errno, boost::system::system_category()),
                                              "write");
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

void TunnelServerClient::failExchange(const ConnectionPtr& connection, const boost::system::error_code& code,
                                      const char* what)
{
    // Whatever the server sends next would answer the wrong request: the connection goes.
    if (connection == m_connection)
        dropConnection(true);
    else {
        boost::system::error_code ignored;
        connection->close(ignored);
    }
    throw boost::system::system_error(code, what);
}

std::string TunnelServerClient::transact(ConnectionPtr connection, const std::vector<char>& command,
                                         const std::string& delimiter)
{
    if (!connection || !connection->is_open())
        throw boost::system::system_error(boost::asio::error::not_connected, "write");

    const std::string name = commandName(command);
    const size_t limit = replyLimitFor(name);
    const boost::system::error_code protocolError(EPROTO, boost::system::system_category());
    if (bytesWaiting(*connection)) {
        ULOG(
            2, kSource, __PRETTY_FUNCTION__,
            UArgFormat("Unexpected data from TunnelServer before %1, dropping the connection").arg(name.c_str()).str());
        failExchange(connection, protocolError, "unexpected data");
    }

    struct State {
        explicit State(size_t limit) : buffer(limit) {}
        boost::asio::streambuf buffer;
        boost::system::error_code status = boost::asio::error::would_block;
        size_t length = 0;
        bool done = false;
        bool timedOut = false;
    };
    auto state = std::make_shared<State>(limit);
    try {
        writeRequest(*connection, command);
    } catch (...) {
        if (connection == m_connection)
            dropConnection(true);
        throw;
    }

    m_ioContext->restart();
    DeadlineTimer timer(*m_ioContext, m_replyTimeout);
    timer.async_wait([state](const boost::system::error_code& ec) {
        if (ec != boost::asio::error::operation_aborted)
            state->timedOut = true;
    });
    boost::asio::async_read_until(*connection, state->buffer, delimiter,
                                  [state](const boost::system::error_code& ec, std::size_t length) {
                                      state->status = ec;
                                      state->length = length;
                                      state->done = true;
                                  });
    boost::system::error_code runError;
    while (!state->done && !state->timedOut) {
        if (m_ioContext->run_one(runError) == 0 || runError)
            break;
    }
    timer.cancel();
    if (!state->done) {
        boost::system::error_code ignored;
        connection->cancel(ignored);
    }
    // Let the cancelled handlers run now, so nothing of this request is left
    // to complete later.
    m_ioContext->restart();
    m_ioContext->run();

    if (runError) {
        if (connection == m_connection)
            dropConnection(true);
        throw boost::system::system_error(runError, "run_one");
    }
    if (state->done && state->status == boost::asio::error::not_found) {
        // The buffer filled up without a delimiter.
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Reply of TunnelServer to %1 exceeds %2 bytes, dropping the connection")
                 .arg(name.c_str())
                 .arg(static_cast<int>(limit))
                 .str());
        failExchange(connection, boost::system::error_code(EMSGSIZE, boost::system::system_category()), "read_until");
    }
    if (!state->done || state->status) {
        boost::system::error_code code = state->done && state->status != boost::asio::error::operation_aborted
                                           ? state->status
                                           : boost::system::error_code(ETIMEDOUT, boost::system::system_category());
        // A late reply must never answer a later request.
        failExchange(connection, code, "read_until");
    }
    if (state->buffer.size() > state->length || bytesWaiting(*connection)) {
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Unexpected data from TunnelServer after the reply to %1, dropping the connection")
                 .arg(name.c_str())
                 .str());
        failExchange(connection, protocolError, "unexpected data");
    }

    std::string reply(boost::asio::buffers_begin(state->buffer.data()), boost::asio::buffers_end(state->buffer.data()));
    size_t end = reply.size();
    while (end > 0 && std::strchr(" \t\n\r\v\f", reply[end - 1]) && reply[end - 1] != '\0')
        --end;
    reply.resize(end);
    return reply;
}

void TunnelServerClient::sendCommand(ConnectionPtr connection, const std::vector<char>& command, bool check,
                                     UPropertyList& reply)
{
    std::string text = transact(connection, command, "\n");
    parseKeyValueList(reply, text, '&', '=');
    if (check)
        checkReplyResult(reply, text, describeCommand(command));
}

bool TunnelServerClient::isReady()
{
    UPropertyList reply;
    sendCommand(getConnection(), toBytes("cmd=is_ready"), false, reply);
    int64_t result = scanLeadingInteger(getPropertyValue(reply, "result", ""), 0);
    if (result == 1)
        return true;
    if (result == 3)
        throw InvalidSidException("Invalid session ID");
    return false;
}

int TunnelServerClient::checkStatus()
{
    UPropertyList reply;
    sendCommand(getConnection(), toBytes("cmd=is_ready"), false, reply);
    int64_t result = scanLeadingInteger(getPropertyValue(reply, "result", ""), 0);
    if (result == 4)
        return 110;
    if (result == 3) {
        // Status words such as 0xC5002001 exceed int: read 64 bits, keep the low 32.
        int64_t word = scanLeadingInteger(getPropertyValue(reply, "error", ""), -1);
        return mapTunnelServerError(static_cast<int>(static_cast<uint32_t>(word)));
    }
    return 0;
}

int TunnelServerClient::open(const std::string& resourceId)
{
    UPropertyList reply;
    sendCommand(getConnection(), toBytes("cmd=open_all_tunnels&resource_id=" + resourceId), false, reply);
    if (has(reply, "result")) {
        int64_t result = scanLeadingInteger(getPropertyValue(reply, "result", ""), 0);
        if (result != 0)
            return clampToInt(result);
    }

    std::vector<tessal::TunnelEndpoint> endpoints;
    for (int i = 0;; ++i) {
        const std::string n = std::to_string(i);
        if (!has(reply, "result" + n))
            break;
        int64_t code = scanLeadingInteger(getPropertyValue(reply, ("result" + n).c_str(), ""), 0);
        if (code == 7)
            break;
        tessal::TunnelEndpoint endpoint;
        endpoint.state = 2;
        if (has(reply, "host" + n) && has(reply, "port" + n)) {
            endpoint.remote_host = value(reply, "host" + n);
            endpoint.remote_port = toPortStrict(value(reply, "port" + n));
        }
        if (has(reply, "local_host" + n) && has(reply, "local_port" + n)) {
            endpoint.local_host = value(reply, "local_host" + n);
            endpoint.local_port = toPortStrict(value(reply, "local_port" + n));
            // No desired port named means none was wanted.
            endpoint.desired_local_port =
                has(reply, "desired_local_port" + n) ? toPortStrict(value(reply, "desired_local_port" + n)) : 0;
            endpoint.state =
                (endpoint.desired_local_port != 0 && endpoint.desired_local_port != endpoint.local_port) ? 1 : 0;
        }
        if (code != 0)
            ULOG(2, kSource, __PRETTY_FUNCTION__,
                 UArgFormat("Failed to open tunnel #%1 (%2:%3), error:%4")
                     .arg(i)
                     .arg(endpoint.remote_host.c_str())
                     .arg(static_cast<int>(endpoint.remote_port))
                     .arg(clampToInt(code))
                     .str());
        endpoints.push_back(endpoint);
    }
    m_endpointCache.emplace(resourceId, endpoints); // an existing entry stays
    m_openResources.insert(resourceId);
    m_lostResources.erase(resourceId);
    return 0;
}

int TunnelServerClient::close(const std::string& resourceId)
{
    m_endpointCache.erase(resourceId);
    m_openResources.erase(resourceId);
    m_lostResources.erase(resourceId);
    if (m_connection) {
        try {
            UPropertyList reply;
            sendCommand(m_connection, toBytes("cmd=close_all_tunnels&resource_id=" + resourceId), true, reply);
        } catch (const boost::system::system_error&) {
            throw; // the connection and the server are gone already
        } catch (...) {
            if (m_openResources.empty()) {
                try {
                    exit();
                } catch (...) {
                }
            }
            throw;
        }
    }
    if (m_openResources.empty())
        exit();
    return 0;
}

void TunnelServerClient::exit()
{
    if (!m_connection)
        return;
    try {
        UPropertyList reply;
        sendCommand(m_connection, toBytes("cmd=exit&pid=" + std::to_string(::getpid())), true, reply);
    } catch (...) {
        dropConnection(true);
        throw;
    }
    // It ends its work on the exit command; its input closes when we end.
    if (m_child)
        m_child->keepInputOpen();
    dropConnection(false);
}

tessal::TunnelStats TunnelServerClient::getStats(const std::string& resourceId)
{
    tessal::TunnelStats stats;
    if (m_openResources.empty())
        return stats;
    try {
        UPropertyList reply;
        sendCommand(m_connection, toBytes("cmd=statistics_by_resource&resource_id=" + resourceId), true, reply);
        tessal::TunnelStats read;
        read.recv_server = toInt64Strict(value(reply, "recv_server", "0"));
        read.send_server = toInt64Strict(value(reply, "send_server", "0"));
        read.recv_client = toInt64Strict(value(reply, "recv_client", "0"));
        read.send_client = toInt64Strict(value(reply, "send_client", "0"));
        stats = read;
    } catch (const boost::system::system_error& e) {
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Failed to get stats for resource: %1 - %2").arg(resourceId.c_str()).arg(e.what()).str());
    } catch (const std::exception& e) {
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Failed to parse stats for resource: %1 - %2").arg(resourceId.c_str()).arg(e.what()).str());
    }
    return stats;
}

tessal::AppTunnelResourceDetails TunnelServerClient::getConfig(const std::string& resourceId)
{
    tessal::AppTunnelResourceDetails details;
    if (m_openResources.empty())
        return details;

    UPropertyList reply;
    sendCommand(getConnection(), toBytes("cmd=get_resource_config&resource_id=" + resourceId), true, reply);
    UPropertyList config;
    parseKeyValueList(config, decoded(value(reply, "configuration")), '&', '=');

    details.show_warning =
        has(config, "show_warning") ? scanLeadingInteger(getPropertyValue(config, "show_warning", ""), 1) == 1 : true;
    int64_t count = scanLeadingInteger(getPropertyValue(config, "tunnel_count", ""), 0);

    // The first cached endpoint of each remote host and port: the ranges of a
    // long configuration are looked up without scanning the cache per port.
    std::map<std::pair<std::string, int>, const tessal::TunnelEndpoint*> listeners;
    const auto cached = m_endpointCache.find(resourceId);
    if (cached != m_endpointCache.end())
        for (const auto& e : cached->second)
            listeners.emplace(std::make_pair(e.remote_host, static_cast<int>(e.remote_port)), &e);
    for (int64_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        tessal::AppTunnelConfig tunnel;
        tunnel.app_path = decoded(value(config, "app_path" + n));
        tunnel.app_params = decoded(value(config, "app_param" + n));
        tunnel.remote_host = decoded(value(config, "remote_host" + n));
        tunnel.remote_host_ip = decoded(value(config, "remote_host_ip" + n));
        tunnel.protocol = decoded(value(config, "protocol" + n));
        tunnel.compression = decoded(value(config, "compression" + n));
        tunnel.local_host = decoded(value(config, "local_host" + n));
        tunnel.local_port = decoded(value(config, "local_port" + n));

        const std::string ports = decoded(value(config, "remote_port" + n));
        uint16_t first = 0;
        uint16_t last = 0;
        if (parseRange(ports)) {
            readRange(ports, first, last);
        } else {
            try {
                first = last = toPortStrict(ports);
            } catch (const std::invalid_argument&) {
                first = last = 0;
            }
        }
        if (first == 0 || last == 0)
            throw std::runtime_error("Failed to parse configuration");

        for (int p = first; p <= last; ++p) {
            const auto listener = listeners.find(std::make_pair(tunnel.remote_host, p));
            const tessal::TunnelEndpoint* found = listener == listeners.end() ? nullptr : listener->second;
            if (!found) {
                ULOG(2, kSource, __PRETTY_FUNCTION__,
                     UArgFormat("Failed to find local listener for mapping to %1:%2, resource %3")
                         .arg(tunnel.remote_host.c_str())
                         .arg(p)
                         .arg(resourceId.c_str())
                         .str());
                if (!tunnel.app_path.empty())
                    ULOG(2, kSource, __PRETTY_FUNCTION__,
                         UArgFormat("Application launch will not work for tunnel %1:%2, resource %3")
                             .arg(tunnel.remote_host.c_str())
                             .arg(p)
                             .arg(resourceId.c_str())
                             .str());
                continue;
            }
            if (found->state == 2)
                continue;
            tessal::PortMapping mapping;
            mapping.remote_port = p;
            mapping.endpoint = *found;
            tunnel.mappings.push_back(mapping);
        }
        if (!tunnel.mappings.empty())
            details.tunnels.push_back(tunnel);
    }
    return details;
}

tessal::AppLaunchConfig TunnelServerClient::getLaunchConfig(const std::string& resourceId)
{
    tessal::AppLaunchConfig launch;
    if (m_openResources.empty())
        return launch;
    tessal::AppTunnelResourceDetails details = getConfig(resourceId);
    for (const auto& tunnel : details.tunnels) {
        if (tunnel.app_path.empty())
            continue;
        std::map<std::string, std::string> table; // ascending byte order of the names
        if (!tunnel.mappings.empty()) {
            table["%host%"] = tunnel.mappings.front().endpoint.local_host;
            table["%port%"] = std::to_string(tunnel.mappings.front().endpoint.local_port);
        }
        for (size_t i = 0; i < tunnel.mappings.size(); ++i) {
            table["%port[" + std::to_string(i) + "]%"] = std::to_string(tunnel.mappings[i].endpoint.local_port);
            table["%host[" + std::to_string(i) + "]%"] = tunnel.mappings[i].endpoint.local_host;
        }
        std::string params = tunnel.app_params;
        for (const auto& entry : table)
            replaceNoCase(params, entry.first, entry.second);
        launch.requests.push_back({tunnel.app_path, params});
    }
    launch.show_warning = details.show_warning;
    return launch;
}

void TunnelServerClient::setLogLevel(int level)
{
    if (level == m_logLevel)
        return;
    UPropertyList reply;
    sendCommand(getConnection(), toBytes("cmd=set_log_level&value=" + std::to_string(level)), true, reply);
    // Only a level the server accepted is its level: a failed start or a
    // refusal leaves it to be sent again.
    m_logLevel = level;
}

namespace {

// Sums the statistics of the live endpoints. An endpoint whose statistics
// cannot be fetched or read is left out, with a record under the caller's name.
template <typename Reply, typename Fetch, typename Read>
tessal::TunnelStats sumEndpointStats(const std::vector<tessal::TunnelEndpoint>& endpoints, const char* function,
                                     Fetch fetch, Read read)
{
    tessal::TunnelStats sum;
    for (const auto& endpoint : endpoints) {
        if (endpoint.state == 2)
            continue;
        const std::string port = std::to_string(endpoint.local_port);
        Reply reply;
        try {
            fetch(endpoint, port, reply);
        } catch (const std::exception& e) {
            ULOG(2, kSource, function,
                 UArgFormat("Failed to get stats for tunnel %1:%2: %3")
                     .arg(endpoint.local_host.c_str())
                     .arg(port.c_str())
                     .arg(e.what())
                     .str());
            continue;
        }
        try {
            const tessal::TunnelStats one = read(reply);
            sum.recv_server += one.recv_server;
            sum.send_server += one.send_server;
            sum.recv_client += one.recv_client;
            sum.send_client += one.send_client;
        } catch (const std::exception& e) {
            ULOG(2, kSource, function,
                 UArgFormat("Failed to parse stats for tunnel %1:%2: %3")
                     .arg(endpoint.local_host.c_str())
                     .arg(port.c_str())
                     .arg(e.what())
                     .str());
        }
    }
    return sum;
}

} // namespace

tessal::TunnelStats TunnelServerClient::getStatsSimple(const std::string& resourceId)
{
    if (m_openResources.empty())
        return tessal::TunnelStats();
    return sumEndpointStats<UPropertyList>(
        getCachedEndpoints(resourceId), __PRETTY_FUNCTION__,
        [this](const tessal::TunnelEndpoint& endpoint, const std::string& port, UPropertyList& reply) {
            sendCommand(m_connection,
                        toBytes("cmd=statistics&type=1&local_host=" + endpoint.local_host + "&local_port=" + port),
                        true, reply);
        },
        [](const UPropertyList& reply) {
            tessal::TunnelStats one;
            one.recv_server = toInt64Strict(value(reply, "recv_server", "0"));
            one.send_server = toInt64Strict(value(reply, "send_server", "0"));
            one.recv_client = toInt64Strict(value(reply, "recv_client", "0"));
            one.send_client = toInt64Strict(value(reply, "send_client", "0"));
            return one;
        });
}

tessal::TunnelStats TunnelServerClient::getExtStats(const std::string& resourceId)
{
    if (m_openResources.empty())
        return tessal::TunnelStats();
    return sumEndpointStats<std::string>(
        getCachedEndpoints(resourceId), __PRETTY_FUNCTION__,
        [this](const tessal::TunnelEndpoint& endpoint, const std::string& port, std::string& reply) {
            reply =
                transact(m_connection,
                         toBytes("cmd=statistics_ext&type=1&local_host=" + endpoint.local_host + "&local_port=" + port),
                         "\r\n\r\n");
        },
        [](const std::string& reply) {
            size_t amp = reply.find('&');
            UPropertyList pairs;
            parseKeyValueList(pairs, reply.substr(0, amp), '&', '=');
            if (value(pairs, "result") == "-1")
                throw std::runtime_error("input xml string indicates statistics fetch error");
            const std::string text = amp == std::string::npos ? reply : reply.substr(amp + 1);
            requireInputDepth(text, InputMarkup::Xml);
            std::istringstream xml(text);
            boost::property_tree::ptree tree;
            boost::property_tree::read_xml(xml, tree);
            tessal::TunnelStats one;
            one.recv_server = tree.get<int64_t>("UStatsVServerTie.cumulative.tunnel.ingress_in");
            one.send_server = tree.get<int64_t>("UStatsVServerTie.cumulative.tunnel.egress_out");
            one.recv_client = tree.get<int64_t>("UStatsVServerTie.cumulative.server.egress_out");
            one.send_client = tree.get<int64_t>("UStatsVServerTie.cumulative.server.ingress_in");
            return one;
        });
}

std::vector<tessal::TunnelEndpoint> TunnelServerClient::getCachedEndpoints(const std::string& resourceId) const
{
    auto it = m_endpointCache.find(resourceId);
    return it == m_endpointCache.end() ? std::vector<tessal::TunnelEndpoint>() : it->second;
}
