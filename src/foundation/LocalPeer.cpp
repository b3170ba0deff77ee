#include "foundation/LocalPeer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
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
    unsigned state = 0;
    unsigned long uid = 0;
    unsigned long inode = 0;
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

void readTable(const char* path, std::vector<Entry>& entries)
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

// A wildcard listener that may take a connection to `to`: an IPv6 one takes
// IPv4 too unless it is IPv6-only, which /proc does not tell.
bool wildcardFor(const Address& listener, const Address& to)
{
    static const unsigned char zero[4] = {};
    const bool any6 = std::all_of(listener.bytes.begin(), listener.bytes.end(), [](unsigned char b) { return b == 0; });
    const bool any4 = isMappedIpv4(listener) && std::memcmp(listener.bytes.data() + 12, zero, 4) == 0;
    return any6 || (any4 && isMappedIpv4(to));
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

bool localPeerHeldBy(int fd, pid_t pid, PeerRule rule)
{
    sockaddr_storage mine{}, theirs{};
    socklen_t mineLength = sizeof mine, theirsLength = sizeof theirs;
    Address local, remote;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mineLength) != 0 ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0 || !fromSockaddr(mine, local) ||
        !fromSockaddr(theirs, remote))
        return false;

    std::vector<Entry> entries;
    readTable("/proc/net/tcp", entries);
    readTable("/proc/net/tcp6", entries);

    // The far end's own entry; until it is accepted (no inode yet), every
    // listener on its address or the wildcard of its port.
    std::vector<const Entry*> holders;
    bool accepted = false;
    for (const Entry& e : entries) {
        if (e.local == remote && e.remote == local && e.inode != 0) {
            holders.assign(1, &e);
            accepted = true;
            break;
        }
    }
    if (!accepted) {
        for (const Entry& e : entries)
            if (e.state == kListen && e.local.port == remote.port &&
                (e.local.bytes == remote.bytes || wildcardFor(e.local, remote)))
                holders.push_back(&e);
    }
    if (holders.empty())
        return false;

    std::set<unsigned long> inodes;
    bool inodesRead = false;
    for (const Entry* holder : holders) {
        if (rule == PeerRule::ProcessOrRoot && holder->uid == 0)
            continue;
        if (!inodesRead) {
            inodes = pid > 0 ? socketInodesOf(pid) : std::set<unsigned long>();
            inodesRead = true;
        }
        if (inodes.count(holder->inode) == 0)
            return false;
    }
    return true;
}
