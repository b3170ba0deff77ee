#include "foundation/CLinuxRouteTable.h"

#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/USocket.h"
#include "foundation/m_inet.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kFile[] = "/CLinuxRouteTable";

// Windows-shaped "not supported" result of the adapter queries.
constexpr int kResultNotSupported = 50;

// A kernel error answer (the negative errno of the reply): errno is set to
// it; ESRCH gives -3, EEXIST -4. A value no errno can have counts as EPROTO.
[[noreturn]] void throwKernelError(int answer, int line, const char* function)
{
    const long negated = -static_cast<long>(answer);
    const int error = (negated > 0 && negated <= 4095) ? static_cast<int>(negated) : EPROTO;
    errno = error;
    const int code = error == ESRCH ? -3 : error == EEXIST ? -4 : -1;
    throw UException(code, kFile, function, line, "EXCEPTION - %s", std::strerror(error));
}

void writeLog(int priority, const char* text)
{
    if (IUErrorLog* log = g_pErrorLog.load())
        log->WriteLog(priority, "%s", text);
}

CString addressText(const sockaddr_storage* address)
{
    return sock_ntop(reinterpret_cast<const sockaddr*>(address));
}

// Process-wide request sequence counter; the first request carries 0.
std::atomic<uint32_t> g_requestSequence{0};

constexpr int kRouteHeaderLength = NLMSG_LENGTH(sizeof(rtmsg)); // 28
constexpr int kAddrHeaderLength = NLMSG_LENGTH(sizeof(ifaddrmsg)); // 24
constexpr int kErrorMessageLength = NLMSG_LENGTH(sizeof(int)); // 20

constexpr uint32_t kFlagUp = 0x1;
constexpr uint32_t kFlagGateway = 0x2;

// A message header is usable when it and the whole message lie within the
// bytes still left in the datagram (NLMSG_OK with a signed count).
bool messageFits(const nlmsghdr* msg, int remaining)
{
    return remaining >= static_cast<int>(sizeof(nlmsghdr)) && msg->nlmsg_len >= sizeof(nlmsghdr) &&
           msg->nlmsg_len <= static_cast<uint32_t>(remaining);
}

int alignedLength(uint32_t length)
{
    return static_cast<int>(NLMSG_ALIGN(length));
}

void* addressBytes(sockaddr_storage* address, int family)
{
    if (family == AF_INET)
        return &reinterpret_cast<sockaddr_in*>(address)->sin_addr;
    return &reinterpret_cast<sockaddr_in6*>(address)->sin6_addr;
}

const void* addressBytes(const sockaddr_storage* address, int family)
{
    if (family == AF_INET)
        return &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    return &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
}

int addressLength(int family)
{
    return family == AF_INET ? 4 : 16;
}

bool allZero(const void* bytes, int length)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    return std::all_of(p, p + length, [](unsigned char b) { return b == 0; });
}

// Walks the attributes in [begin, begin + length) as RTA_OK does, calling
// handle(type, payload, payloadLength) for each; handle returns false for a
// malformed attribute. Returns false when the walk stopped at an attribute
// whose length is below 4 or runs past the message, or handle refused one.
template <class Handler>
bool walkAttributes(const unsigned char* begin, int length, Handler&& handle)
{
    int remaining = length;
    const unsigned char* p = begin;
    while (remaining >= static_cast<int>(sizeof(rtattr))) {
        rtattr attr;
        std::memcpy(&attr, p, sizeof attr);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > static_cast<unsigned>(remaining))
            return false;
        const int payloadLength = attr.rta_len - static_cast<int>(RTA_LENGTH(0));
        if (!handle(attr.rta_type, p + RTA_LENGTH(0), payloadLength))
            return false;
        const int step = static_cast<int>(RTA_ALIGN(attr.rta_len));
        if (step >= remaining)
            break;
        remaining -= step;
        p += step;
    }
    // Fewer than 4 bytes left: padding at most.
    return true;
}

uint32_t readU32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

// ---------------------------------------------------------------- lifetime

CLinuxRouteTable::CLinuxRouteTable()
    : m_socket(-1), m_portId(0), m_requestSeq(0), m_receiveTimeoutMs(kDefaultReceiveTimeoutMs)
{
    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_socket < 0) {
        const int err = errno;
        ULOG_AT(1, kFile, __LINE__, "CLinuxRouteTable::CLinuxRouteTable",
                (std::string("socket() failed: ") + std::strerror(err)).c_str());
        return;
    }
    // Bind now so that the kernel gives us a port id to match replies against.
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    socklen_t localLength = sizeof local;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        const int err = errno;
        ULOG_AT(1, kFile, __LINE__, "CLinuxRouteTable::CLinuxRouteTable",
                (std::string("bind() failed: ") + std::strerror(err)).c_str());
        ::close(m_socket);
        m_socket = -1;
        return;
    }
    m_portId = local.nl_pid;
}

CLinuxRouteTable::CLinuxRouteTable(int fd, uint32_t portId)
    : m_socket(fd), m_portId(portId), m_requestSeq(0), m_receiveTimeoutMs(kDefaultReceiveTimeoutMs)
{}

CLinuxRouteTable::~CLinuxRouteTable()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

// ---------------------------------------------------------------- requests

int CLinuxRouteTable::AddAttribute(nlmsghdr* msg, int capacity, uint16_t type, const void* data, int length)
{
    if (!msg || length < 0 || (length > 0 && !data))
        return -1;
    const int attrLength = static_cast<int>(RTA_LENGTH(length));
    const int offset = alignedLength(msg->nlmsg_len);
    if (offset + attrLength > capacity)
        return -1;
    auto* attr = reinterpret_cast<rtattr*>(reinterpret_cast<unsigned char*>(msg) + offset);
    attr->rta_type = type;
    attr->rta_len = static_cast<unsigned short>(attrLength);
    if (length > 0)
        std::memcpy(RTA_DATA(attr), data, static_cast<size_t>(length));
    msg->nlmsg_len = static_cast<uint32_t>(offset + attrLength);
    return 0;
}

void CLinuxRouteTable::SendRequest(const IpForwardRow2* row, int command)
{
    static const char kFunction[] = "CLinuxRouteTable::SendRequest";
    if (!row)
        UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");

    union {
        nlmsghdr header;
        unsigned char bytes[kRequestSize];
    } request;
    std::memset(&request, 0, sizeof request);
    nlmsghdr* msg = &request.header;
    auto* route = static_cast<rtmsg*>(NLMSG_DATA(msg));
    auto* addr = static_cast<ifaddrmsg*>(NLMSG_DATA(msg));

    if (command < CmdLookup || command > CmdIfaceAddresses)
        UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong argument. Unknown command");

    msg->nlmsg_len = kRouteHeaderLength;
    const int destFamily = row->destination.ss_family;
    if (command <= CmdDeleteRoute) {
        route->rtm_table = static_cast<unsigned char>(row->table & 0xFF);
        route->rtm_scope = RT_SCOPE_UNIVERSE;
        route->rtm_family = static_cast<unsigned char>(destFamily);
    }

    switch (command) {
    case CmdLookup:
        msg->nlmsg_type = RTM_GETROUTE;
        msg->nlmsg_flags = NLM_F_REQUEST;
        break;
    case CmdDumpRoutes:
        msg->nlmsg_type = RTM_GETROUTE;
        msg->nlmsg_flags = NLM_F_REQUEST | NLM_F_ROOT | NLM_F_MATCH;
        break;
    case CmdAddRoute:
        msg->nlmsg_type = RTM_NEWROUTE;
        msg->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE;
        route->rtm_type = RTN_UNICAST;
        route->rtm_protocol = static_cast<unsigned char>(row->protocol);
        break;
    case CmdReplaceRoute:
        msg->nlmsg_type = RTM_NEWROUTE;
        msg->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | NLM_F_REPLACE;
        route->rtm_type = RTN_UNICAST;
        break;
    case CmdDeleteRoute:
        msg->nlmsg_type = RTM_DELROUTE;
        msg->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE;
        route->rtm_scope = RT_SCOPE_NOWHERE;
        route->rtm_type = RTN_UNICAST;
        break;
    case CmdDumpAddresses:
    case CmdIfaceAddresses:
        msg->nlmsg_type = RTM_GETADDR;
        msg->nlmsg_flags = NLM_F_REQUEST | NLM_F_MATCH;
        msg->nlmsg_len = kAddrHeaderLength;
        addr->ifa_family = static_cast<unsigned char>(destFamily);
        if (command == CmdIfaceAddresses)
            addr->ifa_index = static_cast<uint32_t>(row->ifIndex);
        break;
    }

    if (command <= CmdDeleteRoute) {
        const bool isDelete = command == CmdDeleteRoute;
        const int gatewayFamily = row->gateway.ss_family;
        if (destFamily == AF_INET || destFamily == AF_INET6) {
            const int bytes = addressLength(destFamily);
            route->rtm_dst_len = row->prefixLength;
            AddAttribute(msg, kRequestSize, RTA_DST, addressBytes(&row->destination, destFamily), bytes);
            if (destFamily == AF_INET && row->prefSrc.ss_family == AF_INET)
                AddAttribute(msg, kRequestSize, RTA_PREFSRC, addressBytes(&row->prefSrc, AF_INET), 4);
            if (gatewayFamily == destFamily) {
                const void* gateway = addressBytes(&row->gateway, destFamily);
                AddAttribute(msg, kRequestSize, RTA_GATEWAY, gateway, bytes);
                if (!isDelete && allZero(gateway, bytes))
                    route->rtm_scope = RT_SCOPE_LINK;
            } else if (gatewayFamily == 0) {
                if (!isDelete)
                    route->rtm_scope = RT_SCOPE_LINK;
            } else {
                UTHROW(kFile, kFunction, "EXCEPTION - %s, %s", "Unexpected address family on NEXTHOP",
                       std::to_string(static_cast<unsigned>(gatewayFamily)).c_str());
            }
        } else if (!(destFamily == 0 && command == CmdDumpRoutes)) {
            UTHROW(kFile, kFunction, "EXCEPTION - %s, %s", "Unexpected address family on DESTINATION",
                   std::to_string(static_cast<unsigned>(destFamily)).c_str());
        }

        if (command >= CmdAddRoute) {
            // The kernel reads RTA_PRIORITY as a 32-bit value.
            const uint32_t priority = static_cast<uint32_t>(row->metric);
            AddAttribute(msg, kRequestSize, RTA_PRIORITY, &priority, sizeof priority);
        }
        if (row->ifIndex != 0) {
            // ... and RTA_OIF as a 32-bit interface index.
            const uint32_t oif = static_cast<uint32_t>(row->ifIndex);
            AddAttribute(msg, kRequestSize, RTA_OIF, &oif, sizeof oif);
        }
        if (row->table > 0xFF) {
            // Table ids beyond 8 bits only fit into RTA_TABLE.
            route->rtm_table = RT_TABLE_UNSPEC;
            const uint32_t table = row->table;
            AddAttribute(msg, kRequestSize, RTA_TABLE, &table, sizeof table);
        }
    }

    m_requestSeq = g_requestSequence.fetch_add(1);
    msg->nlmsg_seq = m_requestSeq;
    msg->nlmsg_pid = m_portId;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(m_socket, msg, msg->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(msg->nlmsg_len)) {
        const int err = sent < 0 ? errno : EMSGSIZE;
        std::string text = "sendto() failed: ";
        text += std::strerror(err);
        UTHROW(kFile, kFunction, "EXCEPTION - %s", text.c_str());
    }
}

// ---------------------------------------------------------------- replies

int CLinuxRouteTable::ReadResponse(AutoMemory& buffer)
{
    static const char kFunction[] = "CLinuxRouteTable::ReadResponse";
    if (buffer.getSize() < kReplyBufferSize)
        buffer.reserve(kReplyBufferSize);

    for (;;) {
        pollfd pfd{m_socket, POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&pfd, 1, m_receiveTimeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Read failed");

        // Learn the datagram's real size first, so that nothing is cut off.
        unsigned char probe;
        ssize_t size;
        do {
            size = ::recv(m_socket, &probe, sizeof probe, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        } while (size < 0 && errno == EINTR);
        if (size <= 0)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Read failed");
        if (static_cast<size_t>(size) > buffer.getSize())
            buffer.reserve(static_cast<uint32_t>(size));

        sockaddr_nl source{};
        socklen_t sourceLength = sizeof source;
        ssize_t received;
        do {
            received = ::recvfrom(m_socket, buffer.getBuffer(), buffer.getSize(), MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&source), &sourceLength);
        } while (received < 0 && errno == EINTR);
        if (received <= 0)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Read failed");
        // Only the kernel (port 0) answers our requests.
        if (sourceLength >= sizeof(sa_family_t) && source.nl_family == AF_NETLINK && source.nl_pid != 0)
            continue;
        return static_cast<int>(received);
    }
}

nlmsghdr* CLinuxRouteTable::GetNextNLMSG(AutoMemory& buffer, int* remaining, nlmsghdr* previous)
{
    static const char kFunction[] = "CLinuxRouteTable::GetNextNLMSG failed";
    if (!remaining)
        UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
    nlmsghdr* msg = previous;
    for (;;) {
        // Step over the previous message; a new datagram is read only when
        // the current one is used up.
        const int step = msg ? alignedLength(msg->nlmsg_len) : 0;
        if (msg && step < *remaining) {
            *remaining -= step;
            msg = reinterpret_cast<nlmsghdr*>(reinterpret_cast<unsigned char*>(msg) + step);
        } else {
            *remaining = ReadResponse(buffer);
            msg = static_cast<nlmsghdr*>(buffer.getBuffer());
        }
        if (!messageFits(msg, *remaining))
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "malformed netlink reply");

        // Leftovers of an earlier request, or messages meant for someone else.
        if (msg->nlmsg_seq != m_requestSeq || msg->nlmsg_pid != m_portId)
            continue;

        switch (msg->nlmsg_type) {
        case NLMSG_NOOP: continue;
        case NLMSG_DONE:
            // A dump that failed in the kernel reports its error here.
            if (msg->nlmsg_len >= static_cast<uint32_t>(kErrorMessageLength)) {
                int error;
                std::memcpy(&error, NLMSG_DATA(msg), sizeof error);
                if (error < 0)
                    throwKernelError(error, __LINE__, kFunction);
            }
            return nullptr;
        case NLMSG_ERROR: {
            if (msg->nlmsg_len < static_cast<uint32_t>(kErrorMessageLength))
                UTHROW(kFile, kFunction, "EXCEPTION - %s", "malformed netlink reply");
            int error;
            std::memcpy(&error, NLMSG_DATA(msg), sizeof error);
            if (error == 0)
                return nullptr;
            throwKernelError(error, __LINE__, kFunction);
        }
        case NLMSG_OVERRUN: UTHROW(kFile, kFunction, "EXCEPTION - %s", "malformed netlink reply");
        default: return msg;
        }
    }
}

bool CLinuxRouteTable::ParseRouteMessage(const nlmsghdr* msg, IpForwardRow2* row)
{
    if (!msg || !row)
        return false;
    std::memset(row, 0, sizeof *row);
    if (msg->nlmsg_len < static_cast<uint32_t>(kRouteHeaderLength))
        return false;
    rtmsg header;
    std::memcpy(&header, NLMSG_DATA(msg), sizeof header);
    const int family = header.rtm_family;
    if ((family == AF_INET && header.rtm_dst_len > 32) || (family == AF_INET6 && header.rtm_dst_len > 128))
        return false;

    row->destination.ss_family = static_cast<sa_family_t>(family);
    row->prefixLength = header.rtm_dst_len;
    row->table = header.rtm_table;
    row->protocol = header.rtm_protocol;
    row->flags = kFlagUp | kFlagGateway;

    const auto* attrs = reinterpret_cast<const unsigned char*>(msg) + kRouteHeaderLength;
    const int attrsLength = static_cast<int>(msg->nlmsg_len) - kRouteHeaderLength;
    return walkAttributes(attrs, attrsLength, [&](unsigned type, const unsigned char* data, int length) {
        switch (type) {
        case RTA_DST:
            row->destination.ss_family = static_cast<sa_family_t>(family);
            if (family == AF_INET) {
                if (length < 4)
                    return false;
                std::memcpy(addressBytes(&row->destination, AF_INET), data, 4);
            } else if (family == AF_INET6) {
                if (length < 16)
                    return false;
                std::memcpy(addressBytes(&row->destination, AF_INET6), data, (header.rtm_dst_len + 7u) / 8u);
            }
            row->flags &= ~kFlagGateway;
            break;
        case RTA_OIF:
            if (length < 4)
                return false;
            row->ifIndex = static_cast<int32_t>(readU32(data));
            break;
        case RTA_GATEWAY:
            if (family == AF_INET || family == AF_INET6) {
                if (length < addressLength(family))
                    return false;
                row->gateway.ss_family = static_cast<sa_family_t>(family);
                std::memcpy(addressBytes(&row->gateway, family), data, static_cast<size_t>(addressLength(family)));
            }
            break;
        case RTA_PRIORITY:
            if (length < 4)
                return false;
            row->metric = readU32(data);
            break;
        case RTA_PREFSRC:
            if (family == AF_INET) {
                if (length < 4)
                    return false;
                row->prefSrc.ss_family = AF_INET;
                std::memcpy(addressBytes(&row->prefSrc, AF_INET), data, 4);
            }
            break;
        case RTA_CACHEINFO: {
            if (length < static_cast<int>(offsetof(rta_cacheinfo, rta_expires) + sizeof(int32_t)))
                return false;
            int32_t expires;
            std::memcpy(&expires, data + offsetof(rta_cacheinfo, rta_expires), sizeof expires);
            const long ticks = ::sysconf(_SC_CLK_TCK);
            row->expires = ticks > 0 ? expires / ticks : 0;
            break;
        }
        case RTA_TABLE:
            if (length < 4)
                return false;
            row->table = readU32(data);
            break;
        default: break;
        }
        return true;
    });
}

bool CLinuxRouteTable::ParseAddrMessage(const nlmsghdr* msg, IpAddrRow2* row)
{
    if (!msg || !row)
        return false;
    std::memset(row, 0, sizeof *row);
    if (msg->nlmsg_len < static_cast<uint32_t>(kAddrHeaderLength))
        return false;
    ifaddrmsg header;
    std::memcpy(&header, NLMSG_DATA(msg), sizeof header);
    const int family = header.ifa_family;
    if ((family == AF_INET && header.ifa_prefixlen > 32) || (family == AF_INET6 && header.ifa_prefixlen > 128))
        return false;
    row->ifIndex = header.ifa_index;
    row->scope = header.ifa_scope;
    row->flags = GetIfaceFlags(header.ifa_index);

    const auto* attrs = reinterpret_cast<const unsigned char*>(msg) + kAddrHeaderLength;
    const int attrsLength = static_cast<int>(msg->nlmsg_len) - kAddrHeaderLength;
    return walkAttributes(attrs, attrsLength, [&](unsigned type, const unsigned char* data, int length) {
        if ((type == IFA_LOCAL && family == AF_INET) || (type == IFA_ADDRESS && family == AF_INET6)) {
            if (length < addressLength(family))
                return false;
            row->address.ss_family = static_cast<sa_family_t>(family);
            std::memcpy(addressBytes(&row->address, family), data, static_cast<size_t>(addressLength(family)));
            row->prefixLength = header.ifa_prefixlen;
        }
        return true;
    });
}

uint16_t CLinuxRouteTable::GetIfaceFlags(uint32_t index)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIfaceFlags()";
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        const int err = errno;
        ULOG_AT(1, kFile, __LINE__, kFunction, makeArgFormat("%1, %2, %3", "socket() failed", err, std::strerror(err)));
        return 0;
    }
    uint16_t flags = 0;
    ifreq request{};
    if (!::if_indextoname(index, request.ifr_name)) {
        const int err = errno;
        if (ulogFor(1)) {
            CString text;
            text.Format("if_indextoname(%d) failed: %d, %s", static_cast<int>(index), err, std::strerror(err));
            ULOG_AT(1, kFile, __LINE__, kFunction, text);
        }
    } else if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
        const int err = errno;
        ULOG_AT(1, kFile, __LINE__, kFunction, makeArgFormat("%1, %2, %3", "ioctl() failed", err, std::strerror(err)));
    } else {
        flags = static_cast<uint16_t>(request.ifr_flags);
    }
    ::close(fd);
    return flags;
}

// ---------------------------------------------------------------- table operations

namespace {

// Builds a table block in place: rows are parsed straight into it and the
// block grows geometrically, so a large dump is neither copied row by row
// nor moved more than a few times.
template <class Table, class Row>
class TableBuilder
{
public:
    TableBuilder() = default;
    TableBuilder(const TableBuilder&) = delete;
    TableBuilder& operator=(const TableBuilder&) = delete;
    ~TableBuilder() { std::free(m_table); }

    // The slot for the next row; it counts once committed.
    Row* next()
    {
        if (!m_table || m_count == m_capacity)
            reserve(m_capacity ? m_capacity * 2 : 64);
        return &m_table->Table[m_count];
    }
    void commit() { ++m_count; }

    Table* release()
    {
        if (!m_table)
            reserve(1);
        m_table->NumEntries = m_count;
        Table* table = m_table;
        m_table = nullptr;
        return table;
    }

private:
    void reserve(size_t capacity)
    {
        const size_t size = offsetof(Table, Table) + capacity * sizeof(Row);
        auto* grown = static_cast<Table*>(std::realloc(m_table, std::max(size, sizeof(Table))));
        if (!grown)
            throw std::bad_alloc();
        m_table = grown;
        m_capacity = capacity;
    }

    Table* m_table = nullptr;
    size_t m_capacity = 0;
    uint32_t m_count = 0;
};

// The route type of a route message whose header has been checked to fit.
bool isUnicastRoute(const nlmsghdr* msg)
{
    rtmsg header;
    std::memcpy(&header, NLMSG_DATA(msg), sizeof header);
    return header.rtm_type == RTN_UNICAST;
}

[[noreturn]] void throwMalformed(int line, const char* function)
{
    throw UException(-1, kFile, function, line, "EXCEPTION - %s", "malformed netlink reply");
}

// Sends a dump request for family and hands every message of the given type
// in the answer to visit, reading the dump to its end.
template <typename Visit>
void forEachDumped(CLinuxRouteTable& table, uint16_t family, int command, uint16_t type, Visit visit)
{
    IpForwardRow2 request{};
    request.destination.ss_family = family;
    table.SendRequest(&request, command);

    AutoMemory buffer(CLinuxRouteTable::kReplyBufferSize);
    int remaining = 0;
    for (nlmsghdr* msg = table.GetNextNLMSG(buffer, &remaining, nullptr); msg;
         msg = table.GetNextNLMSG(buffer, &remaining, msg)) {
        if (msg->nlmsg_type == type)
            visit(msg);
    }
}

// The unicast routes of a route dump; a route message shorter than its
// header is malformed.
template <typename Visit>
void forEachDumpedRoute(CLinuxRouteTable& table, uint16_t family, const char* function, Visit visit)
{
    forEachDumped(table, family, CLinuxRouteTable::CmdDumpRoutes, RTM_NEWROUTE, [&](nlmsghdr* msg) {
        if (msg->nlmsg_len < static_cast<uint32_t>(kRouteHeaderLength))
            throwMalformed(__LINE__, function);
        if (isUnicastRoute(msg))
            visit(msg);
    });
}

} // namespace

int CLinuxRouteTable::Init()
{
    writeLog(4, "CLinuxRouteTable::Init() - enter\n");
    return 1;
}

int CLinuxRouteTable::AddIpForwardEntry(IpForwardRow* row)
{
    return UpdateIpForwardEntry(row, CmdAddRoute);
}

int CLinuxRouteTable::ReplaceIpForwardEntry(IpForwardRow* row)
{
    return UpdateIpForwardEntry(row, CmdReplaceRoute);
}

int CLinuxRouteTable::DeleteIpForwardEntry(IpForwardRow* row)
{
    return UpdateIpForwardEntry(row, CmdDeleteRoute);
}

int CLinuxRouteTable::AddIpForwardEntry2(IpForwardRow2* row)
{
    return UpdateIpForwardEntry(row, CmdAddRoute);
}

int CLinuxRouteTable::ReplaceIpForwardEntry2(IpForwardRow2* row)
{
    return UpdateIpForwardEntry(row, CmdReplaceRoute);
}

int CLinuxRouteTable::DeleteIpForwardEntry2(IpForwardRow2* row)
{
    return UpdateIpForwardEntry(row, CmdDeleteRoute);
}

int CLinuxRouteTable::GetAdaptersInfo(PIP_ADAPTER_INFO, PULONG)
{
    writeLog(4, "CLinuxRouteTable::GetAdaptersInfo(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen) - enter\n");
    // Nothing is filled on this platform: say so rather than report success.
    return kResultNotSupported;
}

int CLinuxRouteTable::GetAdaptersAddresses(unsigned long, unsigned long, void*, PIP_ADAPTER_ADDRESSES, PULONG size)
{
    ULOG_AT(2, kFile, __LINE__, "CLinuxRouteTable::GetAdaptersAddresses()", "Unsupported");
    if (size)
        *size = 0;
    return kResultNotSupported;
}

int CLinuxRouteTable::NotSupported1()
{
    return 1;
}
int CLinuxRouteTable::NotSupported2()
{
    return 1;
}
int CLinuxRouteTable::NotSupported3()
{
    return 1;
}
int CLinuxRouteTable::NotSupported4()
{
    return 1;
}
int CLinuxRouteTable::NotSupported5()
{
    return 1;
}

void CLinuxRouteTable::FreeIpForwardTable2(IpForwardTable2* table)
{
    std::free(table);
}

void CLinuxRouteTable::FreeIpAddrTable2(IpAddrTable2* table)
{
    std::free(table);
}

int CLinuxRouteTable::GetIpForwardTable2(uint16_t family, IpForwardTable2** table)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIpForwardTable2";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetIpForwardTable2"), result, [&] {
        if (!table || *table)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        TableBuilder<IpForwardTable2, IpForwardRow2> rows;
        forEachDumpedRoute(*this, family, kFunction, [&](nlmsghdr* msg) {
            if (!ParseRouteMessage(msg, rows.next()))
                throwMalformed(__LINE__, kFunction);
            rows.commit();
        });
        *table = rows.release();
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::GetIpAddrTable2(uint16_t family, IpAddrTable2** table)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIpAddrTable2";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetIpAddrTable2"), result, [&] {
        if (!table || *table)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        TableBuilder<IpAddrTable2, IpAddrRow2> rows;
        forEachDumped(*this, family, CmdDumpAddresses, RTM_NEWADDR, [&](nlmsghdr* msg) {
            IpAddrRow2* row = rows.next();
            if (!ParseAddrMessage(msg, row))
                throwMalformed(__LINE__, kFunction);
            if (row->flags & (IFF_UP | IFF_RUNNING))
                rows.commit();
        });
        *table = rows.release();
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::GetBestRoute2(IpForwardRow2* row)
{
    static const char kFunction[] = "CLinuxRouteTable::GetBestRoute2";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetBestRoute2"), result, [&] {
        if (!row)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        ULOG_AT(48, kFile, __LINE__, kFunction, addressText(&row->destination));
        row->gateway.ss_family = 0;
        row->prefixLength = 128;
        SendRequest(row, CmdLookup);

        AutoMemory buffer(kReplyBufferSize);
        int remaining = 0;
        nlmsghdr* msg = GetNextNLMSG(buffer, &remaining, nullptr);
        if (!msg)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "no route in the answer");
        if (msg->nlmsg_type != RTM_NEWROUTE || !ParseRouteMessage(msg, row))
            throwMalformed(__LINE__, kFunction);
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::GetIfaceAddr2(IpAddrRow2* row)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIfaceAddr2";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetIfaceAddr2"), result, [&] {
        if (!row)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        ULOG_AT(48, kFile, __LINE__, kFunction, makeArgFormat("%1, %2", "IFace", row->ifIndex));
        IpForwardRow2 request{};
        const int family = row->address.ss_family;
        request.destination.ss_family = static_cast<sa_family_t>(family);
        if (family == AF_INET || family == AF_INET6)
            std::memcpy(addressBytes(&request.destination, family), addressBytes(&row->address, family),
                        static_cast<size_t>(addressLength(family)));
        request.ifIndex = row->ifIndex;
        SendRequest(&request, CmdIfaceAddresses);

        // The kernel answers with the whole address dump: take the first
        // address of the interface and read the rest to the end.
        AutoMemory buffer(kReplyBufferSize);
        bool found = false;
        IpAddrRow2 parsed;
        int remaining = 0;
        for (nlmsghdr* msg = GetNextNLMSG(buffer, &remaining, nullptr); msg;
             msg = GetNextNLMSG(buffer, &remaining, msg)) {
            if (found || msg->nlmsg_type != RTM_NEWADDR)
                continue;
            if (!ParseAddrMessage(msg, &parsed))
                throwMalformed(__LINE__, kFunction);
            if (parsed.ifIndex == row->ifIndex) {
                *row = parsed;
                found = true;
            }
        }
        if (!found)
            UTHROW(kFile, kFunction, "EXCEPTION - %s, %s", "no address on interface",
                   std::to_string(row->ifIndex).c_str());
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::UpdateIpForwardEntry(IpForwardRow2* row, int command)
{
    static const char kFunction[] = "CLinuxRouteTable::UpdateIpForwardEntry";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "UpdateIpForwardEntry"), result, [&] {
        ULOG_AT(48, kFile, __LINE__, kFunction, FormatIpForwardRow2(row));
        if (!row)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        // Only add, replace and delete change a route; anything else would
        // leave a dump unread behind the first message.
        if (command < CmdAddRoute || command > CmdDeleteRoute)
            UTHROW(kFile, "CLinuxRouteTable::SendRequest", "EXCEPTION - %s", "Wrong argument. Unknown command");
        if (row->table == 0)
            row->table = RT_TABLE_MAIN;
        SendRequest(row, command);

        AutoMemory buffer(kReplyBufferSize);
        int remaining = 0;
        nlmsghdr* msg = GetNextNLMSG(buffer, &remaining, nullptr);
        if (msg && msg->nlmsg_type == RTM_NEWROUTE && !ParseRouteMessage(msg, row))
            throwMalformed(__LINE__, kFunction);
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::UpdateIpForwardEntry(IpForwardRow* row, int command)
{
    static const char kFunction[] = "CLinuxRouteTable::UpdateIpForwardEntry";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "UpdateIpForwardEntry"), result, [&] {
        if (!row)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        IpForwardRow2 route{};
        route.destination.ss_family = AF_INET;
        std::memcpy(addressBytes(&route.destination, AF_INET), &row->dwForwardDest, 4);
        route.gateway.ss_family = AF_INET;
        std::memcpy(addressBytes(&route.gateway, AF_INET), &row->dwForwardNextHop, 4);
        route.ifIndex = row->dwForwardIfIndex;
        route.metric = row->dwForwardMetric1;
        route.expires = row->dwForwardAge;
        route.flags = row->dwForwardFlags;
        route.table = row->dwForwardTable;
        route.prefSrc.ss_family = AF_INET;
        std::memcpy(addressBytes(&route.prefSrc, AF_INET), &row->dwForwardPrefSrc, 4);
        route.protocol = row->dwForwardProto;

        sockaddr_storage mask{};
        mask.ss_family = AF_INET;
        std::memcpy(addressBytes(&mask, AF_INET), &row->dwForwardMask, 4);
        unsigned char prefixLength = 0;
        if (sock_mask2plen(reinterpret_cast<const sockaddr*>(&mask), &prefixLength) != 0)
            ULOG_AT(1, kFile, __LINE__, "CRouteTable::ConvertEntry", "Failed to convert sock_mask to plen");
        route.prefixLength = prefixLength;

        CRouteTable* table = this;
        result = table->UpdateIpForwardEntry(&route, command) == 0 ? 0 : -1;
    });
}

int CLinuxRouteTable::GetIpForwardTable(IpForwardTable* table, unsigned long* size)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIpForwardTable";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetIpForwardTable"), result, [&] {
        if (!size)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        const unsigned long rowSize = sizeof(IpForwardRow);
        const unsigned long capacity = (table && *size >= 4) ? (*size - 4) / rowSize : 0;
        ULOG_AT(48, kFile, __LINE__, "GetIpForwardTable", makeArgFormat("%1, %2", "num entries", capacity));
        unsigned long count = 0;
        forEachDumpedRoute(*this, AF_INET, kFunction, [&](nlmsghdr* msg) {
            ++count;
            if (count <= capacity) {
                IpForwardRow2 route;
                if (!ParseRouteMessage(msg, &route))
                    throwMalformed(__LINE__, kFunction);
                ConvertEntry(&route, &table->table[count - 1]);
            }
        });
        *size = 4 + rowSize * count;
        if (!table || capacity < count) {
            result = 1;
            return;
        }
        table->dwNumEntries = static_cast<uint32_t>(count);
        {
            result = 0;
            return;
        }
    });
}

int CLinuxRouteTable::GetIpAddrTable(IpAddrTable* table, unsigned long* size)
{
    static const char kFunction[] = "CLinuxRouteTable::GetIpAddrTable";
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, kFunction, "GetIpAddrTable"), result, [&] {
        if (!size)
            UTHROW(kFile, kFunction, "EXCEPTION - %s", "Wrong arguments");
        const unsigned long rowSize = sizeof(IpAddrRow);
        const unsigned long capacity = (table && *size >= 4) ? (*size - 4) / rowSize : 0;
        ULOG_AT(48, kFile, __LINE__, " CLinuxRouteTable::GetIpAddrTable",
                makeArgFormat("%1, %2", "num entries", capacity));
        unsigned long count = 0;
        forEachDumped(*this, AF_INET, CmdDumpAddresses, RTM_NEWADDR, [&](nlmsghdr* msg) {
            IpAddrRow2 address;
            if (!ParseAddrMessage(msg, &address))
                throwMalformed(__LINE__, kFunction);
            if (!(address.flags & (IFF_UP | IFF_RUNNING)))
                return;
            ++count;
            if (count <= capacity)
                ConvertEntry(&address, &table->table[count - 1]);
        });
        *size = 4 + rowSize * count;
        if (!table || capacity < count) {
            result = 1;
            return;
        }
        table->dwNumEntries = static_cast<uint32_t>(count);
        {
            result = 0;
            return;
        }
    });
}

// ---------------------------------------------------------------- IPv4 helpers

int GetRouteForAddr(uint32_t address, IpForwardRow* row)
{
    int result = -1;
    return guardOperation(UCATCH_SITE(kFile, "GetRouteForAddr", "GetRouteForAddr"), result, [&] {
        if (!row)
            UTHROW(kFile, "GetRouteForAddr", "EXCEPTION - %s", "Wrong arguments");
        CLinuxRouteTable table;
        IpForwardRow2 route{};
        route.destination.ss_family = AF_INET;
        std::memcpy(addressBytes(&route.destination, AF_INET), &address, 4);
        if (table.GetBestRoute2(&route) != 0) {
            ULOG_AT(1, kFile, __LINE__, "GetRouteForAddr", "GetIpForwardRow2 failed");
            {
                result = -1;
                return;
            }
        }
        CRouteTable::ConvertEntry(&route, row);
        if (route.gateway.ss_family == 0)
            row->dwForwardNextHop = GetIfaceAddr(static_cast<uint32_t>(route.ifIndex));
        {
            result = 0;
            return;
        }
    });
}

uint32_t GetIfaceAddr(uint32_t index)
{
    uint32_t found = 0;
    int result = -1;
    guardOperation(UCATCH_SITE(kFile, "GetRouteForAddr", "GetIfaceAddr"), result, [&] {
        CLinuxRouteTable table;
        IpAddrRow2 row{};
        row.address.ss_family = AF_INET;
        row.ifIndex = index;
        if (table.GetIfaceAddr2(&row) != 0) {
            ULOG_AT(1, kFile, __LINE__, "GetIfaceAddr", "GetIpForwardRow2 failed");
            return;
        }
        found = reinterpret_cast<const sockaddr_in&>(row.address).sin_addr.s_addr;
        result = 0;
    });
    return found;
}

// ---------------------------------------------------------------- best source address

CString USocketHelper::getBestSourceIPForHost(const char* host)
{
    static const char kSocketFile[] = "/USocket";
    static const char kFunction[] = "USocketHelper::getBestSourceIPForHost()";
    // Dotted IPv4 only: no name look-up here.
    in_addr address{};
    if (!host || ::inet_aton(host, &address) == 0)
        throw UException(-1, kSocketFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "invalid IPv4 address",
                         host ? host : "");

    IpForwardRow route{};
    const int result = GetRouteForAddr(address.s_addr, &route);
    if (result != 0)
        throw UException(-1, kSocketFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "cannot find IP for host",
                         std::to_string(static_cast<unsigned>(result)).c_str());

    const uint32_t source = GetIfaceAddr(route.dwForwardIfIndex);
    if (source == 0)
        throw UException(-1, kSocketFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "cannot find IP for host", host);
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &source, text, sizeof text);
    return CString(text);
}
