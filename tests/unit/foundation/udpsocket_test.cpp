#include "RecordingLog.h"
#include "foundation/UException.h"
#include "foundation/UUDPSocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

using tessal::test::RecordingLog;

namespace {

// A plain datagram socket bound to 127.0.0.1 on a port chosen by the system.
struct RawUdp {
    int fd;
    uint16_t port;
    RawUdp()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~RawUdp() { ::close(fd); }
    static sockaddr_in loopback(uint16_t port)
    {
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    void sendTo(uint16_t to, const std::string& data) const
    {
        sockaddr_in a = loopback(to);
        ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    std::string receive() const
    {
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, size_t(n)) : std::string();
    }
};

uint16_t localPort(int fd)
{
    sockaddr_in a;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

std::string messageOf(UUDPSocket& s, const char* what)
{
    try {
        if (std::strcmp(what, "send") == 0)
            s.send("x", 1);
        else
            s.PeerInit();
    } catch (const UException& e) {
        return e.getMessage() ? e.getMessage() : "";
    }
    return "no exception";
}

} // namespace

TEST(UdpSocket, PeerMustBeKnown)
{
    RecordingLog log;
    UUDPSocket s;
    EXPECT_EQ(messageOf(s, "peer"), "EXCEPTION - port is unknown");
    s.setPeerPort(9);
    EXPECT_EQ(messageOf(s, "peer"), "EXCEPTION - address is unknown");

    // Nothing to send: no socket is made, but the peer is still resolved first.
    UUDPSocket quiet;
    EXPECT_EQ(quiet.send(nullptr, "x", 0), 0);
    EXPECT_EQ(quiet.getSocket(), -1);
    EXPECT_THROW(quiet.send("x", 0), UException);
}

TEST(UdpSocket, SendsToPeerAndFiltersOtherSources)
{
    RawUdp peer;
    RawUdp stranger;
    UUDPSocket s;
    s.setPeerHost("127.0.0.1");
    s.setPeerPort(peer.port);
    EXPECT_EQ(s.writeString("hello"), 5);
    EXPECT_EQ(peer.receive(), "hello");
    ASSERT_NE(s.getSocket(), -1);
    const uint16_t mine = localPort(s.getSocket());

    stranger.sendTo(mine, "not for you");
    ASSERT_EQ(s.isAvailable(2000), 1);
    char buf[64];
    int error = -1;
    EXPECT_EQ(s.receive(buf, sizeof buf, &error), 0);
    EXPECT_EQ(error, 0);

    peer.sendTo(mine, "reply");
    ASSERT_EQ(s.isAvailable(2000), 1);
    EXPECT_EQ(s.receive(buf, sizeof buf, &error), 5);
    EXPECT_EQ(std::string(buf, 5), "reply");

    peer.sendTo(mine, "text");
    ASSERT_EQ(s.isAvailable(2000), 1);
    EXPECT_STREQ(static_cast<const char*>(s.receiveText(63)), "text");
    EXPECT_EQ(s.isWriteable(), 1);

    EXPECT_EQ(s.close(), 0);
    EXPECT_EQ(s.getSocket(), -1);
    EXPECT_EQ(s.close(), 0);
}

TEST(UdpSocket, ConnectedAndBoundSockets)
{
    RawUdp peer;
    UUDPSocket s;
    s.setPeerHost("127.0.0.1");
    s.setPeerPort(peer.port);
    ASSERT_EQ(s.connect(), 0);
    EXPECT_EQ(s.send("ab", 2), 2);
    EXPECT_EQ(peer.receive(), "ab");
    peer.sendTo(localPort(s.getSocket()), "cd");
    char buf[8];
    int error = 0;
    ASSERT_EQ(s.isAvailable(2000), 1);
    EXPECT_EQ(s.receive(buf, sizeof buf, &error), 2);
    s.close();

    // A bound socket receives from anyone when no peer is set.
    UUDPSocket bound;
    ASSERT_EQ(bound.bind("127.0.0.1", 0), 0);
    const uint16_t port = localPort(bound.getSocket());
    ASSERT_NE(port, 0);
    peer.sendTo(port, "to bound");
    ASSERT_EQ(bound.isAvailable(2000), 1);
    sockaddr_in from;
    socklen_t fromLen = sizeof from;
    EXPECT_EQ(bound.receive(buf, sizeof buf, &error, reinterpret_cast<sockaddr*>(&from), &fromLen), 8);
    EXPECT_EQ(ntohs(from.sin_port), peer.port);
    EXPECT_EQ(bound.isAvailable(0), 0);

    // An empty datagram reads as -2.
    peer.sendTo(port, "");
    ASSERT_EQ(bound.isAvailable(2000), 1);
    EXPECT_EQ(bound.receive(buf, sizeof buf), -2);
}

TEST(UdpSocket, WaitsOnAClosedSocketFail)
{
    RecordingLog log;
    UUDPSocket s;
    EXPECT_EQ(s.isAvailable(10), -1);
    EXPECT_EQ(s.isWriteable(), 0);
}
