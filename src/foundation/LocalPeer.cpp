#include "foundation/LocalPeer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// An address as /proc/net/tcp6 would show it: IPv4 as ::ffff:a.b.c.d, so
// that a dual-stack listener's sockets compare with ours.
struct Address {
    std::array<unsigned char, 16> bytes{};
    unsigned port = 0;
    bool operator==(const Address& other) const { return bytes == other.bytes && port == other.port; }
};

struct Entry {
    Address local;
    Address remote;
    int family = 0; // of the socket: an IPv4 connection's far end may be AF_INET6
    unsigned state = 0;
    unsigned long uid = 0;
    unsigned long inode = 0;
    int v6Only = -1; // of a listener: unknown (/proc), 0 or 1
};

constexpr unsigned kListen = 0x0A;

Address fromIpv4(const unsigned char* four, unsigned port)
{
    Address a;
    a.bytes[10] = 0xff;
    a.bytes[11] = 0xff;
    std::memcpy(a.bytes.data() + 12, four, 4);
    a.port = port;
    return a;
}

bool fromSockaddr(const sockaddr_storage& s, Address& out)
{
    if (s.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&s);
        out = fromIpv4(reinterpret_cast<const unsigned char*>(&in->sin_addr), ntohs(in->sin_port));
        return true;
    }
    if (s.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&s);
        std::memcpy(out.bytes.data(), &in6->sin6_addr, 16);
        out.port = ntohs(in6->sin6_port);
        return true;
    }
    return false;
}

// The kernel prints each 32-bit word of the address as it lies in memory,
// read as a host-order number: parsing it back the same way gives its bytes.
bool parseAddress(const char* text, Address& out)
{
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr)
        return false;
    const size_t digits = static_cast<size_t>(colon - text);
    if (digits != 8 && digits != 32)
        return false;
    unsigned char raw[16] = {};
    for (size_t word = 0; word < digits / 8; ++word) {
        char part[9] = {};
        std::memcpy(part, text + word * 8, 8);
        const uint32_t value = static_cast<uint32_t>(std::strtoul(part, nullptr, 16));
        std::memcpy(raw + word * 4, &value, 4);
    }
    const unsigned port = static_cast<unsigned>(std::strtoul(colon + 1, nullptr, 16));
    if (digits == 8) {
        out = fromIpv4(raw, port);
    } else {
        std::memcpy(out.bytes.data(), raw, 16);
        out.port = port;
    }
    return true;
}

void readTable(const char* path, int family, std::vector<Entry>& entries)
{
    FILE* file = std::fopen(path, "re");
    if (file == nullptr)
        return;
    char line[512];
    bool header = true;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (header) {
            header = false;
            continue;
        }
        char local[64] = {}, remote[64] = {};
        unsigned state = 0;
        unsigned long uid = 0, inode = 0;
        // sl local remote st tx:rx tr:when retrnsmt uid timeout inode
        if (std::sscanf(line, " %*s %63s %63s %x %*s %*s %*s %lu %*s %lu", local, remote, &state, &uid, &inode) != 5)
            continue;
        Entry entry;
        if (!parseAddress(local, entry.local) || !parseAddress(remote, entry.remote))
            continue;
        entry.family = family;
        entry.state = state;
        entry.uid = uid;
        entry.inode = inode;
        entries.push_back(entry);
    }
    std::fclose(file);
}

bool isMappedIpv4(const Address& a)
{
    static const unsigned char prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(a.bytes.data(), prefix, 12) == 0;
}

bool isZero(const unsigned char* bytes, size_t size)
{
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

// Whether `e` is the far end's own socket, accepted (it has an inode).
bool isAcceptedFarEnd(const Entry& e, const Address& local, const Address& remote)
{
    return e.state != kListen && e.local == remote && e.remote == local && e.inode != 0;
}

// A listener that could have taken a connection to `to`: on its port, at its
// address or on the wildcard of its family; an IPv6 one takes IPv4 too
// unless it is IPv6-only, which /proc does not tell.
bool mayAccept(const Entry& listener, const Address& to)
{
    if (listener.state != kListen || listener.local.port != to.port)
        return false;
    if (listener.local.bytes == to.bytes)
        return true;
    if (isMappedIpv4(listener.local))
        return isMappedIpv4(to) && isZero(listener.local.bytes.data() + 12, 4);
    return isZero(listener.local.bytes.data(), 16) && (!isMappedIpv4(to) || listener.v6Only != 1);
}

// Of those, the ones that may hold the connection not accepted yet. The
// kernel hands it to a listener on its address before one on a wildcard, and
// the far end, where it is seen (farFamily not 0), is of the family of the
// listener that took it.
std::vector<Entry> takersOf(const std::vector<Entry>& listeners, const Address& to, int farFamily)
{
    std::vector<Entry> takers;
    bool atAddress = false;
    for (const Entry& e : listeners) {
        if (!mayAccept(e, to) || (farFamily != 0 && e.family != farFamily))
            continue;
        atAddress = atAddress || e.local.bytes == to.bytes;
        takers.push_back(e);
    }
    if (atAddress)
        takers.erase(
            std::remove_if(takers.begin(), takers.end(), [&](const Entry& e) { return e.local.bytes != to.bytes; }),
            takers.end());
    return takers;
}

// The far end's own entry; until it is accepted (no inode yet), every
// listener that may have taken it.
std::vector<Entry> holdersFromProc(const Address& local, const Address& remote)
{
    std::vector<Entry> entries;
    readTable("/proc/net/tcp", AF_INET, entries);
    readTable("/proc/net/tcp6", AF_INET6, entries);
    int farFamily = 0;
    for (const Entry& e : entries) {
        if (isAcceptedFarEnd(e, local, remote))
            return {e};
        if (e.state != kListen && e.local == remote && e.remote == local)
            farFamily = e.family;
    }
    return takersOf(entries, remote, farFamily);
}

// The same through the kernel's socket diagnostics: a hash lookup of the
// connection and of the port's listeners, where reading /proc/net/tcp walks
// every connection of the machine.
enum class Diag {
    Answered,
    Missing, // no sock_diag or inet_diag here: /proc must answer
    Failed, // no answer that can be believed
};

constexpr int kDiagWaitSeconds = 2;
constexpr size_t kDiagBuffer = 32768;
constexpr int kDiagMessageCap = 4096; // a dump's answers, a port's listeners: a handful in practice

class DiagSocket
{
public:
    DiagSocket()
    {
        m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (m_fd < 0)
            return;
        const timeval wait{kDiagWaitSeconds, 0};
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        // Connected to the kernel, the socket takes no message from another process.
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0 ||
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~DiagSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // One request; a dump gathers every answer, a lookup at most one ("no such
    // socket" is an answer with none).
    Diag ask(inet_diag_req_v2 request, bool dump, std::vector<Entry>& out)
    {
        struct {
            nlmsghdr header;
            inet_diag_req_v2 body;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = static_cast<__u16>(NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0));
        message.header.nlmsg_seq = ++m_sequence;
        message.body = request;
        message.body.sdiag_protocol = IPPROTO_TCP;
        if (::send(m_fd, &message, sizeof message, 0) != static_cast<ssize_t>(sizeof message))
            return Diag::Missing;

        if (!m_buffer)
            m_buffer.reset(new char[kDiagBuffer]);
        int messages = 0;
        for (;;) {
            const ssize_t n = ::recv(m_fd, m_buffer.get(), kDiagBuffer, MSG_TRUNC);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || static_cast<size_t>(n) > kDiagBuffer)
                return Diag::Failed; // the wait ran out, or an answer did not fit
            int length = static_cast<int>(n);
            for (auto* h = reinterpret_cast<nlmsghdr*>(m_buffer.get()); NLMSG_OK(h, length);
                 h = NLMSG_NEXT(h, length)) {
                if (++messages > kDiagMessageCap)
                    return Diag::Failed;
                if (h->nlmsg_seq != m_sequence)
                    continue;
                // A dump ends with NLMSG_DONE, carrying its error (newer
                // kernels) like NLMSG_ERROR does.
                if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                    const size_t size = h->nlmsg_type == NLMSG_DONE ? sizeof(int) : sizeof(nlmsgerr);
                    if (h->nlmsg_len < NLMSG_LENGTH(size))
                        return h->nlmsg_type == NLMSG_DONE ? Diag::Answered : Diag::Failed;
                    const int error = -*static_cast<const int*>(NLMSG_DATA(h)); // nlmsgerr starts with it
                    if (error <= 0)
                        return h->nlmsg_type == NLMSG_DONE ? Diag::Answered : Diag::Failed;
                    // A lookup's ENOENT is "no such socket", or no inet_diag:
                    // the listeners' dump that follows tells which.
                    if (error == ENOENT && !dump)
                        return Diag::Answered;
                    if (error == ENOENT || error == EPROTONOSUPPORT || error == EINVAL || error == EOPNOTSUPP ||
                        error == EAFNOSUPPORT)
                        return Diag::Missing;
                    return Diag::Failed;
                }
                if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                    continue;
                out.push_back(entryOf(*h));
                if (!dump)
                    return Diag::Answered;
            }
        }
    }

private:
    static Entry entryOf(const nlmsghdr& h)
    {
        const auto& m = *static_cast<const inet_diag_msg*>(NLMSG_DATA(&h));
        Entry e;
        e.local = addressOf(m.idiag_family, m.id.idiag_src, ntohs(m.id.idiag_sport));
        e.remote = addressOf(m.idiag_family, m.id.idiag_dst, ntohs(m.id.idiag_dport));
        e.family = m.idiag_family;
        e.state = m.idiag_state;
        e.uid = m.idiag_uid;
        e.inode = m.idiag_inode;
        // An IPv6 listener says whether it is IPv6-only.
        int length = static_cast<int>(h.nlmsg_len - NLMSG_LENGTH(sizeof m));
        for (auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(&m) + NLMSG_ALIGN(sizeof m));
             RTA_OK(a, length); a = RTA_NEXT(a, length))
            if (a->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(a) >= 1)
                e.v6Only = *static_cast<const unsigned char*>(RTA_DATA(a)) != 0;
        return e;
    }
    static Address addressOf(unsigned family, const __be32* words, unsigned port)
    {
        if (family == AF_INET)
            return fromIpv4(reinterpret_cast<const unsigned char*>(words), port);
        Address a;
        std::memcpy(a.bytes.data(), words, 16);
        a.port = port;
        return a;
    }

    int m_fd = -1;
    __u32 m_sequence = 0;
    std::unique_ptr<char[]> m_buffer;
};

void putAddress(const Address& a, int family, __be32* words)
{
    std::memcpy(words, family == AF_INET ? a.bytes.data() + 12 : a.bytes.data(), family == AF_INET ? 4 : 16);
}

Diag holdersFromDiag(const Address& local, const Address& remote, std::vector<Entry>& holders)
{
    DiagSocket diag;
    if (!diag.isOpen())
        return Diag::Missing;
    // An IPv4 connection's far end may be the AF_INET6 child of a dual-stack
    // listener (v4-mapped addresses): both families are asked.
    const bool ipv4 = isMappedIpv4(local) && isMappedIpv4(remote);
    const std::vector<int> families = ipv4 ? std::vector<int>{AF_INET, AF_INET6} : std::vector<int>{AF_INET6};
    int farFamily = 0;

    for (const int family : families) {
        inet_diag_req_v2 request{};
        request.sdiag_family = static_cast<__u8>(family);
        request.idiag_states = ~0U;
        putAddress(remote, family, request.id.idiag_src);
        putAddress(local, family, request.id.idiag_dst);
        request.id.idiag_sport = htons(static_cast<uint16_t>(remote.port));
        request.id.idiag_dport = htons(static_cast<uint16_t>(local.port));
        request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
        request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
        std::vector<Entry> found;
        const Diag answer = diag.ask(request, false, found);
        if (answer != Diag::Answered)
            return answer;
        // With no such connection the kernel may answer with a listener.
        if (!found.empty() && found[0].local == remote && found[0].remote == local) {
            farFamily = found[0].family;
            if (found[0].inode == 0)
                break; // not accepted yet
            holders.assign(1, found[0]);
            return Diag::Answered;
        }
    }

    // The kernel serves a dump of listeners alone from its listening hash.
    std::vector<Entry> listeners;
    for (const int family : families) {
        inet_diag_req_v2 request{};
        request.sdiag_family = static_cast<__u8>(family);
        request.idiag_states = 1U << kListen;
        request.id.idiag_sport = htons(static_cast<uint16_t>(remote.port));
        const Diag answer = diag.ask(request, true, listeners);
        if (answer != Diag::Answered)
            return answer;
    }
    holders = takersOf(listeners, remote, farFamily);
    return Diag::Answered;
}

std::set<unsigned long> socketInodesOf(pid_t pid)
{
    std::set<unsigned long> inodes;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return inodes;
    while (const dirent* item = ::readdir(dir)) {
        char target[64];
        const ssize_t n = ::readlinkat(::dirfd(dir), item->d_name, target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        unsigned long inode = 0;
        if (std::sscanf(target, "socket:[%lu]", &inode) == 1)
            inodes.insert(inode);
    }
    ::closedir(dir);
    return inodes;
}

} // namespace

bool localPeerHeldBy(int fd, pid_t pid, PeerRule rule, PeerSource source)
{
    sockaddr_storage mine{}, theirs{};
    socklen_t mineLength = sizeof mine, theirsLength = sizeof theirs;
    Address local, remote;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mineLength) != 0 ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0 || !fromSockaddr(mine, local) ||
        !fromSockaddr(theirs, remote))
        return false;

    std::vector<Entry> holders;
    if (source == PeerSource::ProcNet) {
        holders = holdersFromProc(local, remote);
    } else {
        const Diag answer = holdersFromDiag(local, remote, holders);
        if (answer == Diag::Failed || (answer == Diag::Missing && source == PeerSource::SockDiag))
            return false;
        if (answer == Diag::Missing)
            holders = holdersFromProc(local, remote);
    }
    if (holders.empty())
        return false;

    std::set<unsigned long> inodes;
    bool inodesRead = false;
    for (const Entry& holder : holders) {
        if (rule == PeerRule::ProcessOrRoot && holder.uid == 0)
            continue;
        if (!inodesRead) {
            inodes = pid > 0 ? socketInodesOf(pid) : std::set<unsigned long>();
            inodesRead = true;
        }
        if (inodes.count(holder.inode) == 0)
            return false;
    }
    return true;
}
