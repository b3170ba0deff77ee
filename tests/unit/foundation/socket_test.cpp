#include "RecordingLog.h"
#include "foundation/LocalPeer.h"
#include "foundation/UException.h"
#include "foundation/USocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using tessal::test::RecordingLog;

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A TCP listener on 127.0.0.1 with a port chosen by the system.
class Listener
{
public:
    explicit Listener(int backlog = 16)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, backlog);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (m_fd != -1)
            ::close(m_fd);
    }
    uint16_t port() const { return m_port; }
    void close()
    {
        ::close(m_fd);
        m_fd = -1;
    }
    // Descriptor of the next connection, -1 when none came in time.
    int acceptOne(int timeoutMs = 5000)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return -1;
        return ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int m_fd;
    uint16_t m_port;
};

// A listener that never accepts, with its queue filled, so that a further
// connect stays pending.
class HungListener
{
public:
    HungListener() : m_listener(0)
    {
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = address(m_listener.port());
        ::connect(m_filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~HungListener() { ::close(m_filler); }
    uint16_t port() const { return m_listener.port(); }
    static sockaddr_in address(uint16_t port)
    {
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }

private:
    Listener m_listener;
    int m_filler;
};

uint16_t closedPort()
{
    Listener l;
    return l.port();
}

int openDescriptors()
{
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            ++n;
    }
    ::closedir(d);
    return n;
}

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

void sendAll(int fd, const std::string& data)
{
    size_t off = 0;
    while (off < data.size()) {
        const ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += size_t(n);
    }
}

std::string recvExactly(int fd, size_t count)
{
    std::string out;
    char buf[4096];
    while (out.size() < count) {
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - out.size()), 0);
        if (n <= 0)
            break;
        out.append(buf, size_t(n));
    }
    return out;
}

template <class Socket>
void target(Socket& s, uint16_t port, const char* host = "127.0.0.1")
{
    s.setHost(host);
    s.setPort(port);
}

} // namespace

TEST(TcpSocket, RefusedConnectGives111AndNoDescriptor)
{
    RecordingLog log;
    const uint16_t port = closedPort();

    USocketEx ex;
    target(ex, port);
    EXPECT_EQ(ex.connect(5), -1);
    EXPECT_EQ(ex.getLastError(), ECONNREFUSED);
    EXPECT_FALSE(ex.isValid());
    EXPECT_EQ(ex.getSocket(), -1);

    USocketBlocking plain;
    target(plain, port);
    EXPECT_EQ(plain.connect(5), -1);
    EXPECT_EQ(plain.getLastError(), 111);
    EXPECT_STREQ(static_cast<const char*>(plain.getLastErrorText()),
                 (std::string("0x6f, ") + std::strerror(111)).c_str());
    EXPECT_FALSE(plain.isValid());

    USocketEx blockingMode;
    target(blockingMode, port);
    EXPECT_EQ(blockingMode.connect(0), -1);
    EXPECT_EQ(blockingMode.getLastError(), 111);
}

TEST(TcpSocket, ConnectSendReceiveAndCounters)
{
    Listener server;
    USocketEx s;
    EXPECT_STREQ(s.getPeerAddressText(), "255.255.255.255");
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);
    EXPECT_STREQ(s.getPeerAddressText(), "127.0.0.1");
    EXPECT_EQ(s.getPort(), server.port());
    EXPECT_STREQ(s.getHost(), "127.0.0.1");

    // The connection handed over is blocking and has Nagle switched off.
    EXPECT_EQ(::fcntl(s.getSocket(), F_GETFL) & O_NONBLOCK, 0);
    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    ::getsockopt(s.getSocket(), IPPROTO_TCP, TCP_NODELAY, &nodelay, &len);
    EXPECT_EQ(nodelay, 1);

    EXPECT_EQ(s.send("x", 0), 0);
    EXPECT_EQ(s.getCounters()[0], 0u);
    const std::string hundred(100, 'q');
    EXPECT_EQ(s.send(hundred.data(), 100), 100);
    EXPECT_EQ(s.getCounters()[0], 100u);
    EXPECT_EQ(s.getCounters()[1], 100u);
    EXPECT_EQ(s.getUnsentBytes(), 0u);
    EXPECT_EQ(recvExactly(peer, 100), hundred);

    EXPECT_EQ(s.writeLine("a"), 0);
    EXPECT_EQ(s.writeString("bc"), 0);
    EXPECT_EQ(recvExactly(peer, 4), "a\nbc");

    sendAll(peer, "hello");
    char buf[16];
    EXPECT_EQ(s.isAvailable(2000), 1);
    EXPECT_EQ(s.receive(buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(s.getCounters()[2], 5u);
    EXPECT_EQ(s.getCounters()[3], 5u);
    EXPECT_EQ(s.isWriteable(), 1);
    EXPECT_EQ(s.isAvailable(0), 0);
    {
        RecordingLog log;
        EXPECT_EQ(s.receive(buf, 0), 0);
        EXPECT_TRUE(log.contains("input buffer has ZERO size"));
    }
    s.resetCounters();
    EXPECT_EQ(s.getCounters()[0], 0u);

    EXPECT_EQ(s.close(false), 0);
    EXPECT_FALSE(s.isValid());
    ::close(peer);

    // The same object connects again after a close.
    ASSERT_EQ(s.connect(5), 0);
    const int again = server.acceptOne();
    EXPECT_GE(again, 0);
    ::close(again);
}

TEST(TcpSocket, ReadToCloseLoopEndsWithPeerClosed)
{
    Listener server;
    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);
    const std::string reply(3000, 'r');
    sendAll(peer, reply);
    ::close(peer);

    std::string got;
    char buf[512];
    int n;
    while ((n = s.receive(buf, sizeof buf)) >= 0)
        got.append(buf, size_t(n));
    EXPECT_EQ(n, -2);
    EXPECT_EQ(s.getLastError(), 108);
    EXPECT_EQ(got, reply);
}

TEST(TcpSocket, ReadlnLinesAndTimeOut)
{
    Listener server;
    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);

    sendAll(peer, "abc\r\nsecond\n");
    EXPECT_STREQ(static_cast<const char*>(s.readln(-1)), "abc\r\n");
    EXPECT_STREQ(static_cast<const char*>(s.readln(1000)), "second\n");

    const auto start = Clock::now();
    EXPECT_TRUE(s.readln(0).IsEmpty());
    EXPECT_GE(msSince(start), 90);
    EXPECT_EQ(s.getLastError(), 110);

    sendAll(peer, "x\n");
    EXPECT_STREQ(static_cast<const char*>(s.readln(2000)), "x\n");
    EXPECT_EQ(s.getLastError(), 0);

    // A line longer than the line buffer comes back whole.
    const std::string longLine(20000, 'L');
    sendAll(peer, longLine + "\n");
    EXPECT_EQ(std::string(s.readln(5000)), longLine + "\n");
    ::close(peer);
}

TEST(TcpSocket, ReadlnOfUnterminatedLongLineGivesWholeChunks)
{
    Listener server;
    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);
    sendAll(peer, std::string(20000, 'a'));
    ::close(peer);
    const CString line = s.readln(-1);
    EXPECT_EQ(line.GetLength(), 16383);
    EXPECT_EQ(s.getLastError(), 108);
}

TEST(TcpSocket, HungConnectTimesOutWith110)
{
    RecordingLog log;
    HungListener hung;
    USocketEx s;
    target(s, hung.port());
    const auto start = Clock::now();
    EXPECT_EQ(s.connect(1), -1);
    const long long took = msSince(start);
    EXPECT_EQ(s.getLastError(), 110);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 4000);
    EXPECT_FALSE(s.isValid());
}

TEST(TcpSocket, CancelFromAnotherThreadGives125)
{
    RecordingLog log;
    HungListener hung;
    USocketEx s;
    target(s, hung.port());
    std::atomic<long long> cancelledAt{0};
    const auto start = Clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancelledAt = msSince(start);
        s.close(false);
    });
    const int rc = s.connect(5);
    const long long returnedAt = msSince(start);
    canceller.join();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(s.getLastError(), 125);
    EXPECT_LT(returnedAt - cancelledAt, 500);
    EXPECT_FALSE(s.isValid());
    EXPECT_TRUE(log.contains("USocketEx::connect(), Connect was cancelled\n"));

    // A close between connects has no effect on the next one.
    Listener server;
    target(s, server.port());
    s.close(false);
    EXPECT_EQ(s.connect(5), 0);
}

TEST(TcpSocket, TimeOutArguments)
{
    RecordingLog log;
    Listener server;
    USocketEx s;
    target(s, server.port());
    try {
        s.connect(3601);
        FAIL() << "no exception";
    } catch (const UException& e) {
        EXPECT_STREQ(e.getMessage(), "EXCEPTION - Values more than 1 hour are not suported");
    }
    EXPECT_EQ(s.connect(-1), -1);
    EXPECT_EQ(s.getLastError(), EINVAL);
    EXPECT_FALSE(s.isValid());
    EXPECT_EQ(s.connect(3600), 0);
    EXPECT_EQ(s.connect(5), 0) << "already connected";
    s.close(false);
    EXPECT_EQ(s.connect(0), 0);
    EXPECT_TRUE(s.isValid());
}

// An empty label fails inside the resolver, without asking any name server.
TEST(TcpSocket, NameResolutionFailureReportsResolverCode)
{
    RecordingLog log;
    USocketEx s;
    target(s, 80, "bad..name");
    EXPECT_EQ(s.connect(5), -1);
    const int code = s.getLastError();
    EXPECT_LT(code, 0);
    EXPECT_NE(std::string(s.getLastErrorText()).find(::gai_strerror(code)), std::string::npos);
    EXPECT_TRUE(log.contains("Unable to resolve, bad..name, " + std::to_string(code)));
    EXPECT_FALSE(s.isValid());
}

TEST(TcpSocket, NoDescriptorGrowthOverFailedConnects)
{
    RecordingLog log;
    const uint16_t port = closedPort();
    const int before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        USocketEx ex;
        target(ex, port);
        ASSERT_EQ(ex.connect(5), -1);
        USocketBlocking plain;
        target(plain, port);
        ASSERT_EQ(plain.connect(0), -1);
    }
    USocketEx reused;
    target(reused, port);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(reused.connect(5), -1);
    EXPECT_EQ(openDescriptors(), before);
}

TEST(TcpSocket, SendToClosedPeerIsAnErrorNotSigpipe)
{
    RecordingLog log;
    Listener server;
    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);
    linger off{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    ::close(peer); // reset

    const std::string data(1000, 'd');
    int rc = 0;
    for (int i = 0; i < 50 && rc >= 0; ++i)
        rc = s.send(data.data(), unsigned(data.size()));
    EXPECT_EQ(rc, -1);
    EXPECT_TRUE(s.getLastError() == EPIPE || s.getLastError() == ECONNRESET) << s.getLastError();
    EXPECT_EQ(s.writeString("more"), -1);
    EXPECT_EQ(s.writeLine("more"), -1);
    EXPECT_TRUE(log.contains("Failed to send data"));
}

TEST(TcpSocket, AttachExternalDescriptor)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    {
        USocketBlocking s;
        EXPECT_EQ(s.attach(fd, true), 0);
        EXPECT_EQ(s.attach(fd, true), -1);
        EXPECT_EQ(s.close(false), 0);
        EXPECT_TRUE(s.isValid());
        EXPECT_TRUE(isOpen(fd));
        USocketEx ex;
        ASSERT_EQ(ex.attach(fd, true), 0);
        EXPECT_EQ(ex.connect(5), 0) << "an external descriptor counts as connected";
    }
    EXPECT_TRUE(isOpen(fd)) << "destruction leaves an external descriptor open";
    USocketBlocking s;
    s.attach(fd, true);
    EXPECT_EQ(s.close(true), 0);
    EXPECT_FALSE(isOpen(fd));
    EXPECT_FALSE(s.isValid());
}

TEST(TcpSocket, DescriptorsAbove1024)
{
    rlimit lim;
    ::getrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < 2048) {
        rlimit raised = lim;
        raised.rlim_cur = 2048;
        if (raised.rlim_max < 2048)
            raised.rlim_max = 2048;
        if (::setrlimit(RLIMIT_NOFILE, &raised) != 0)
            GTEST_SKIP() << "cannot raise the descriptor limit to 2048";
    }

    Listener server;
    // Occupy every free descriptor below 1100, so the socket's lies above 1024.
    std::vector<int> fillers;
    const int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (int fd = 0; fd < 1100; ++fd) {
        if (!isOpen(fd) && ::dup2(devnull, fd) == fd)
            fillers.push_back(fd);
    }

    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    EXPECT_GT(s.getSocket(), 1024);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);
    sendAll(peer, "high\n");
    EXPECT_STREQ(static_cast<const char*>(s.readln(2000)), "high\n");
    EXPECT_EQ(s.isAvailable(10), 0);
    EXPECT_EQ(s.isWriteable(), 1);
    s.close(false);

    for (int fd : fillers)
        ::close(fd);
    ::close(devnull);

    // A descriptor moved onto 1500 and adopted.
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = HungListener::address(server.port());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::dup2(client, 1500), 1500);
    ::close(client);
    const int peer2 = server.acceptOne();
    USocketBlocking adopted;
    ASSERT_EQ(adopted.attach(1500, false), 0);
    sendAll(peer2, "fifteen hundred\r\n");
    EXPECT_STREQ(static_cast<const char*>(adopted.readln(2000)), "fifteen hundred\r\n");
    EXPECT_EQ(adopted.writeLine("ok"), 0);
    EXPECT_EQ(recvExactly(peer2, 3), "ok\n");
    EXPECT_EQ(adopted.close(false), 0);
    EXPECT_FALSE(isOpen(1500));
    ::close(peer);
    ::close(peer2);
}

TEST(TcpSocket, SignalsDoNotBreakWaitsOrReads)
{
    // A handler without SA_RESTART makes every blocking call see EINTR.
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = [](int) {};
    struct sigaction previous;
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    Listener server;
    USocketEx s;
    target(s, server.port());
    ASSERT_EQ(s.connect(5), 0);
    const int peer = server.acceptOne();
    ASSERT_GE(peer, 0);

    const pthread_t self = ::pthread_self();
    std::atomic<bool> stop{false};
    std::thread signaller([&] {
        while (!stop) {
            ::pthread_kill(self, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sendAll(peer, "late line\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sendAll(peer, "blob");
    });
    const CString line = s.readln(3000);
    char buf[8];
    const int n = s.receive(buf, sizeof buf);
    {
        HungListener hung;
        USocketEx pending;
        target(pending, hung.port());
        EXPECT_EQ(pending.connect(1), -1);
        EXPECT_EQ(pending.getLastError(), 110);
    }
    stop = true;
    signaller.join();
    writer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_STREQ(static_cast<const char*>(line), "late line\n");
    EXPECT_EQ(n, 4);
    ::close(peer);
}

TEST(SocketHelper, InetAddr)
{
    RecordingLog log;
    EXPECT_EQ(USocketHelper::inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(USocketHelper::inet_addr("localhost"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(USocketHelper::inet_addr("bad..name"), 0u);
    EXPECT_TRUE(log.contains("USocketHelper::inet_addr, Wrong address (bad..name)\n"));
}

TEST(SocketHelper, AcceptOneConnection)
{
    const uint16_t port = closedPort();
    std::atomic<int> accepted{-2};
    std::thread server([&] { accepted = USocketHelper::accept("127.0.0.1", port); });
    int client = -1;
    for (int i = 0; i < 200 && client < 0; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = HungListener::address(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            client = fd;
        } else {
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    server.join();
    ASSERT_GE(client, 0);
    ASSERT_GE(accepted.load(), 0);
    sendAll(client, "ping");
    EXPECT_EQ(recvExactly(accepted, 4), "ping");
    ::close(client);
    ::close(accepted);

    // A port in use: the caller gets the exception.
    RecordingLog log;
    Listener busy;
    try {
        USocketHelper::accept("127.0.0.1", busy.port());
        FAIL() << "no exception";
    } catch (const UException& e) {
        EXPECT_NE(std::string(e.getMessage()).find("::bind() failed"), std::string::npos);
    }
}

// The far end's holder, by socket diagnostics and by /proc alike: the connection once accepted (its
// listener closed), before that the listeners that may take it, here or in a process of another user,
// never another user's IPv6-only one beside ours on the port.
TEST(LocalPeer, HolderOfTheFarEnd)
{
    struct Row {
        const char* name;
        bool dualStack, inChild, accept, askChild;
        PeerRule rule;
        bool held, v6OnlyBeside;
    } const rows[] = {
        {"accepted", false, false, true, false, PeerRule::ProcessOnly, true, false},
        {"accepted by a dual-stack listener", true, false, true, false, PeerRule::ProcessOnly, true, false},
        {"accepted, asked of another process", false, false, true, true, PeerRule::ProcessOnly, false, false},
        {"not accepted", false, false, false, false, PeerRule::ProcessOnly, true, false},
        {"not accepted, dual-stack", true, false, false, false, PeerRule::ProcessOnly, true, false},
        {"not accepted, another user's IPv6-only beside", false, false, false, false, PeerRule::ProcessOnly, true,
         true},
        {"listener of another user", false, true, false, false, PeerRule::ProcessOrRoot, false, false},
        {"listener of another user, asked of it", true, true, false, true, PeerRule::ProcessOnly, true, false},
    };
    for (const Row& row : rows) {
        const auto listen = [](bool six, bool v6Only, uint16_t port) { // [::] or 127.0.0.1, the port it got
            const int fd = ::socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in6 any{AF_INET6, htons(port), 0, {}, 0}, bound{};
            sockaddr_in loopback = HungListener::address(port);
            const int only = v6Only;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
            ::bind(fd, six ? reinterpret_cast<sockaddr*>(&any) : reinterpret_cast<sockaddr*>(&loopback),
                   six ? sizeof any : sizeof loopback);
            socklen_t length = sizeof bound;
            ::listen(fd, 4);
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
            return std::pair<int, uint16_t>(fd, ntohs(bound.sin6_port)); // where sin_port is too
        };
        const auto [listener, ownPort] =
            row.inChild ? std::pair<int, uint16_t>(-1, 0) : listen(row.dualStack, false, 0);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(listener);
            if ((row.inChild || row.v6OnlyBeside) && ::geteuid() == 0 && ::setuid(65534) != 0)
                ::_exit(1); // closes the pipe unwritten
            const uint16_t port = row.inChild      ? listen(row.dualStack, false, 0).second
                                : row.v6OnlyBeside ? listen(true, true, ownPort).second
                                                   : ownPort;
            if (::write(ends[1], &port, sizeof port) == 2)
                ::pause();
            ::_exit(0);
        }
        ::close(ends[1]);
        uint16_t port = 0;
        const bool listening = ::read(ends[0], &port, sizeof port) == 2 && port != 0;
        ::close(ends[0]);
        if (!listening) // root that cannot become 65534
            GTEST_SKIP() << row.name << ": no other user to hold the listener";
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in to = HungListener::address(port);
        ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0) << row.name;
        const int accepted = row.accept ? ::accept(listener, nullptr, nullptr) : -1;
        ::close(row.accept ? listener : -1);
        for (const PeerSource source : {PeerSource::SockDiag, PeerSource::ProcNet, PeerSource::Best})
            EXPECT_EQ(localPeerHeldBy(client, row.askChild ? child : ::getpid(), row.rule, source), row.held)
                << row.name << ", source " << static_cast<int>(source);
        ::close(client);
        ::close(row.accept ? accepted : listener);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}
