#include "session/SessionNetworkChecks.h"

#include "foundation/IUErrorLog.h"

#include <QHostAddress>
#include <QList>

#include <boost/asio/ip/address_v4.hpp>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tessal {
namespace qt {

namespace {

// These checks are the session's: its records carry the session's file and names.
constexpr const char* kLogFile = "/Session";
constexpr const char* kFnServerCheck = "bool tessal::qt::Session::isServerIPValid()";
constexpr const char* kFnInterfaces = "int tessal::qt::Session::getVulnerableNetworkInterfaceInfo()";
constexpr const char* kFnInV4 = "bool tessal::qt::Session::isInLANV4Range(const char*, const char*)";
constexpr const char* kFnInV6 = "bool tessal::qt::Session::isInLANV6Range(const char*, const char*)";
constexpr const char* kLabelV4Ranges = "The IPV4 LanRanges received in vectIPv4LanRanges vector is";
constexpr const char* kLabelV6Ranges = " The IPV6 LanRanges received in vectIPv6LanRanges vector is";
constexpr const char* kLabelSizes = "Session::getVulnerableNetworkInterfaceInfo";
constexpr const char* kLabelV4Vulnerable =
    "Session::getVulnerableNetworkInterfaceInfo The IPV4 Vulnerable IPs received are ";
constexpr const char* kLabelV6Vulnerable =
    "Session::getVulnerableNetworkInterfaceInfo The IPV6 Vulnerable IPs received are ";

// Flags an interface must show, out of up, loopback and running: up and
// running, not loopback.
constexpr unsigned int kSelectMask = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
constexpr unsigned int kSelectWanted = IFF_UP | IFF_RUNNING;

// A range text is read from a working copy of at most this many characters.
constexpr size_t kRangeTextMax = 255;

struct RangeTexts {
    const char* invalidIp;
    const char* invalidCidr;
    const char* invalidNetwork;
    const char* invalidPrefix;
    const char* function;
};

const RangeTexts kV4Texts = {"Invalid IP address", "Invalid CIDR range", "Invalid network address",
                             "Invalid prefix length: ", kFnInV4};
const RangeTexts kV6Texts = {"Invalid IPv6 address", "Invalid IPv6 CIDR range", "Invalid IPv6 network address",
                             "Invalid IPv6 prefix length: ", kFnInV6};

// Whether ip lies in the range text cidr ("<network>/<prefix length>") of
// the family; Bytes is the size of the family's address.
template <int Family, size_t Bytes>
bool inRange(const char* ip, const char* cidr, int maxPrefix, const RangeTexts& texts)
{
    unsigned char address[Bytes];
    if (ip == nullptr || ::inet_pton(Family, ip, address) != 1) {
        ULOG_ERROR(kLogFile, texts.function, makeArgFormat(texts.invalidIp, ip ? ip : ""));
        return false;
    }
    char buffer[kRangeTextMax + 1] = {};
    if (cidr != nullptr)
        std::strncpy(buffer, cidr, kRangeTextMax);
    char* slash = std::strchr(buffer, '/');
    if (slash == nullptr) {
        ULOG_ERROR(kLogFile, texts.function, makeArgFormat(texts.invalidCidr, cidr ? cidr : ""));
        return false;
    }
    *slash = '\0';
    unsigned char network[Bytes];
    if (::inet_pton(Family, buffer, network) != 1) {
        ULOG_ERROR(kLogFile, texts.function, makeArgFormat(texts.invalidNetwork, buffer));
        return false;
    }
    // Range-checked at full width, so that no huge value wraps into a valid one.
    const long prefix = std::strtol(slash + 1, nullptr, 10);
    if (prefix < 0 || prefix > maxPrefix) {
        ULOG_ERROR(kLogFile, texts.function, makeArgFormat(texts.invalidPrefix, prefix));
        return false;
    }
    const size_t wholeBytes = size_t(prefix) / 8;
    const int restBits = int(prefix % 8);
    for (size_t i = 0; i < wholeBytes; ++i) {
        if (address[i] != network[i])
            return false;
    }
    if (restBits != 0) {
        const unsigned char mask = static_cast<unsigned char>(0xFF << (8 - restBits));
        if ((address[wholeBytes] & mask) != (network[wholeBytes] & mask))
            return false;
    }
    return true;
}

// The candidates that no range covers. Every range is tried for every
// candidate, so an invalid range is reported once per candidate.
std::vector<CString> uncovered(const std::vector<CString>& candidates, const std::vector<CString>& ranges,
                               bool (*covers)(const char*, const char*))
{
    std::vector<CString> out;
    for (const CString& candidate : candidates) {
        bool covered = false;
        for (const CString& range : ranges) {
            if (covers(candidate, range))
                covered = true;
        }
        if (!covered)
            out.push_back(candidate);
    }
    return out;
}

// An address read strictly: dotted IPv4 or IPv6 text as inet_pton takes it.
struct StrictAddress {
    int family = AF_UNSPEC;
    unsigned char bytes[16] = {};
    bool operator==(const StrictAddress& other) const
    {
        return family == other.family && std::memcmp(bytes, other.bytes, sizeof(bytes)) == 0;
    }
};

bool parseStrictAddress(const std::string& text, StrictAddress& out)
{
    // Surrounding white space of a profile value is no part of the address.
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return false;
    const size_t last = text.find_last_not_of(" \t\r\n");
    const std::string trimmed = text.substr(first, last - first + 1);
    if (::inet_pton(AF_INET, trimmed.c_str(), out.bytes) == 1) {
        out.family = AF_INET;
        return true;
    }
    if (::inet_pton(AF_INET6, trimmed.c_str(), out.bytes) == 1) {
        out.family = AF_INET6;
        return true;
    }
    return false;
}

} // namespace

SessionNetworkChecks::SessionNetworkChecks()
    : m_resolver([](const QString& host) { return QHostInfo::fromName(host); }),
      m_lister(&SessionNetworkChecks::readSystemInterfaces),
      m_startLookup([](const QString& host, QObject* context, std::function<void(const QHostInfo&)> done) {
          QHostInfo::lookupHost(host, context, [done = std::move(done)](const QHostInfo& info) { done(info); });
      })
{}

void SessionNetworkChecks::lookUpServerAhead(const QUrl& server, QObject* context)
{
    const QString host = server.host(QUrl::FullyDecoded);
    const unsigned lookup = ++m_aheadLookup;
    m_aheadHost = host;
    m_aheadInfo = QHostInfo(); // no address: not answered
    QHostAddress literal;
    if (host.isEmpty() || literal.setAddress(host))
        return;
    m_startLookup(host, context, [this, lookup](const QHostInfo& info) {
        if (lookup == m_aheadLookup)
            m_aheadInfo = info;
    });
}

bool SessionNetworkChecks::isServerIPValid(const QUrl& server, const ConnectivityProfileParser& profile) const
{
    const QString host = server.host(QUrl::FullyDecoded);
    ULOG_VERBOSE(kLogFile, kFnServerCheck, makeArgFormat("Hostname is", host));

    // An address resolves to itself. The toolkit's lookup would ask the name
    // servers for its name, which nothing here reads, and the launch would
    // wait for their answer.
    QHostInfo info;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        info.setHostName(host);
        info.setAddresses({literal});
    } else if (host == m_aheadHost && m_aheadInfo.error() == QHostInfo::NoError && !m_aheadInfo.addresses().isEmpty()) {
        info = m_aheadInfo;
    } else {
        info = m_resolver(host);
    }
    // A lookup that names no address has failed as surely as one with an error.
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        ULOG_ERROR(kLogFile, kFnServerCheck, makeArgFormat("QT: Unable to resolve hostname"));
        return true;
    }
    const QHostAddress resolved = info.addresses().first();
    ULOG_VERBOSE(kLogFile, kFnServerCheck, makeArgFormat("IP address resolved is", resolved.toString()));

    const std::vector<std::string> allowed = profile.validServerIPs;
    if (allowed.empty()) {
        ULOG_VERBOSE(kLogFile, kFnServerCheck, makeArgFormat("Server IP check disabled"));
        return true;
    }
    // Compared as addresses: "2001:DB8::1" and "2001:db8::1" are one address.
    // Both sides are read in the strict inet_pton forms only, so that
    // shorthand such as "10.1" or "3221225985" names no address.
    StrictAddress serverAddress;
    QString resolvedText = resolved.toString();
    resolvedText.truncate(resolvedText.indexOf(QLatin1Char('%')) < 0 ? resolvedText.size()
                                                                     : resolvedText.indexOf(QLatin1Char('%')));
    if (!parseStrictAddress(resolvedText.toStdString(), serverAddress))
        return false;
    for (const std::string& entry : allowed) {
        StrictAddress listed;
        if (!parseStrictAddress(entry, listed)) {
            ULOG_WARNING(kLogFile, kFnServerCheck, makeArgFormat("Server IP entry is not an address, ignored", entry));
            continue;
        }
        if (listed == serverAddress) {
            ULOG_VERBOSE(kLogFile, kFnServerCheck, makeArgFormat("Corvel VS IP matched with resolved hostname"));
            return true;
        }
    }
    return false;
}

int SessionNetworkChecks::getVulnerableNetworkInterfaceInfo(const ConnectivityProfileParser& profile)
{
    vectVulnerableIPv4s.clear();
    vectVulnerableIPv6s.clear();

    std::vector<CString> vectIPv4LanRanges;
    std::vector<CString> vectIPv6LanRanges;
    const std::vector<std::string> ranges = profile.lanSubnetRanges;
    for (const std::string& range : ranges) {
        if (range.empty()) {
            ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("Parsing didn't happen for Lan Ranges"));
            break;
        }
        if (range.find(':') != std::string::npos) {
            vectIPv6LanRanges.emplace_back(range.c_str());
            ULOG_VERBOSE(kLogFile, kLabelV6Ranges, makeArgFormat("%1, %2", "::", range));
        } else {
            vectIPv4LanRanges.emplace_back(range.c_str());
            ULOG_VERBOSE(kLogFile, kLabelV4Ranges, makeArgFormat("%1, %2", "::", range));
        }
    }

    std::vector<InterfaceAddress> interfaces;
    if (!m_lister || !m_lister(interfaces)) {
        ULOG_ERROR(kLogFile, kFnInterfaces, makeArgFormat("Unable to fetch interface addresses"));
        return -1;
    }

    std::vector<CString> candidatesV4;
    std::vector<CString> candidatesV6;
    for (const InterfaceAddress& entry : interfaces) {
        if (entry.family == AF_UNSPEC || (entry.flags & kSelectMask) != kSelectWanted)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (entry.family == AF_INET) {
            if (::inet_ntop(AF_INET, &entry.v4, text, sizeof(text)) == nullptr)
                continue;
            ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("IPv4 interface address is", entry.name, text));
            if (!isPrivateIPv4(text)) {
                ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("IPv4 address is not private"));
                candidatesV4.emplace_back(text);
            }
        } else if (entry.family == AF_INET6) {
            if (::inet_ntop(AF_INET6, &entry.v6, text, sizeof(text)) == nullptr)
                continue;
            ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("IPv6 Interface address is", entry.name, text));
            if (!isPrivateIPv6(entry.v6)) {
                candidatesV6.emplace_back(text);
                ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("IPv6 address is not private"));
            }
        }
    }

    if (vectIPv4LanRanges.empty()) {
        ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("Local Net range is empty"));
        vectVulnerableIPv4s = candidatesV4;
    } else {
        vectVulnerableIPv4s = uncovered(candidatesV4, vectIPv4LanRanges, &SessionNetworkChecks::isInLANV4Range);
    }
    ULOG_VERBOSE(kLogFile, kLabelSizes,
                 makeArgFormat("%1, %2", "Size of vectVulnerableIPv4s: ", int(vectVulnerableIPv4s.size())));

    if (vectIPv6LanRanges.empty()) {
        ULOG_VERBOSE(kLogFile, kFnInterfaces, makeArgFormat("Local Net IPv6 range is empty"));
        vectVulnerableIPv6s = candidatesV6;
    } else {
        vectVulnerableIPv6s = uncovered(candidatesV6, vectIPv6LanRanges, &SessionNetworkChecks::isInLANV6Range);
    }
    ULOG_VERBOSE(kLogFile, kLabelSizes,
                 makeArgFormat("%1, %2", "Size of vectVulnerableIPv6s: ", int(vectVulnerableIPv6s.size())));

    for (const CString& address : vectVulnerableIPv4s)
        ULOG_VERBOSE(kLogFile, kLabelV4Vulnerable, makeArgFormat("%1, %2", "::", address));
    for (const CString& address : vectVulnerableIPv6s)
        ULOG_VERBOSE(kLogFile, kLabelV6Vulnerable, makeArgFormat("%1, %2", "::", address));
    return 0;
}

bool SessionNetworkChecks::isInLANV4Range(const char* ip, const char* cidr)
{
    return inRange<AF_INET, 4>(ip, cidr, 32, kV4Texts);
}

bool SessionNetworkChecks::isInLANV6Range(const char* ip, const char* cidr)
{
    return inRange<AF_INET6, 16>(ip, cidr, 128, kV6Texts);
}

bool SessionNetworkChecks::isPrivateIPv4(const std::string& ip)
{
    boost::system::error_code error;
    const boost::asio::ip::address_v4 address = boost::asio::ip::make_address_v4(ip, error);
    if (error)
        return false;
    const boost::asio::ip::address_v4::bytes_type b = address.to_bytes();
    return b[0] == 10 || (b[0] == 172 && (b[1] & 0xF0) == 16) || (b[0] == 192 && b[1] == 168);
}

bool SessionNetworkChecks::isPrivateIPv6(const in6_addr& address)
{
    const uint8_t* b = address.s6_addr;
    if (b[0] == 0xFE)
        return (b[1] & 0xC0) == 0x80;
    return (b[0] & 0xFE) == 0xFC;
}

bool SessionNetworkChecks::readSystemInterfaces(std::vector<InterfaceAddress>& out)
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, &::freeifaddrs);
    for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        InterfaceAddress entry;
        entry.name = ifa->ifa_name ? ifa->ifa_name : "";
        entry.flags = ifa->ifa_flags;
        if (ifa->ifa_addr != nullptr) {
            entry.family = ifa->ifa_addr->sa_family;
            if (entry.family == AF_INET)
                entry.v4 = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr;
            else if (entry.family == AF_INET6)
                entry.v6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr)->sin6_addr;
        }
        out.push_back(std::move(entry));
    }
    return true;
}

} // namespace qt
} // namespace tessal
