#pragma once
// The two network checks an access session runs once its profile is in:
// the server's resolved address against the profile's list, and the public
// addresses of the active local interfaces that no allowed range covers.
// Session derives from this class, so the checks and their result lists are
// the session's own members; the records name the session.

#include "foundation/String.h"
#include "session/ConnectivityProfileParser.h"

#include <QHostInfo>
#include <QObject>
#include <QString>
#include <QUrl>

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <string>
#include <vector>

namespace tessal {
namespace qt {

// One address of one network interface, as the interface scan sees it.
struct InterfaceAddress {
    std::string name;
    unsigned int flags = 0; // IFF_* bits
    int family = AF_UNSPEC; // AF_INET, AF_INET6, another family, or AF_UNSPEC for no address
    in_addr v4{};
    in6_addr v6{};
};

class SessionNetworkChecks
{
public:
    // Blocking host-name lookup; the system resolver unless a test sets another.
    using HostResolver = std::function<QHostInfo(const QString& host)>;
    // Starts a lookup whose answer comes through done on the context's
    // thread, and never once the context is gone; the toolkit's own unless a
    // test sets another.
    using LookupStarter =
        std::function<void(const QString& host, QObject* context, std::function<void(const QHostInfo&)> done)>;
    // Fills the list with the machine's interface addresses; false when they
    // cannot be read.
    using InterfaceLister = std::function<bool(std::vector<InterfaceAddress>& out)>;

    SessionNetworkChecks();

    // True when the server's host name resolves to an address the profile
    // lists, when the profile lists none, or when the name cannot be resolved.
    bool isServerIPValid(const QUrl& server, const ConnectivityProfileParser& profile) const;

    // Looks the server's name up while the profile is on its way, so that
    // the check need not wait for the name servers once the profile is in.
    // The toolkit answers it from the lookup the HTTP client made to reach
    // the server. A lookup not answered by then, or failed, is made again.
    void lookUpServerAhead(const QUrl& server, QObject* context);

    // Fills vectVulnerableIPv4s and vectVulnerableIPv6s with the public
    // addresses of interfaces that are up, running and not loopback and that
    // no range of the profile covers. 0: done; -1: no interface list.
    int getVulnerableNetworkInterfaceInfo(const ConnectivityProfileParser& profile);

    static bool isInLANV4Range(const char* ip, const char* cidr);
    static bool isInLANV6Range(const char* ip, const char* cidr);
    static bool isPrivateIPv4(const std::string& ip);
    static bool isPrivateIPv6(const in6_addr& address);

    // The machine's interface addresses through getifaddrs.
    static bool readSystemInterfaces(std::vector<InterfaceAddress>& out);

    // Test seams.
    void setHostResolver(HostResolver resolver) { m_resolver = std::move(resolver); }
    void setInterfaceLister(InterfaceLister lister) { m_lister = std::move(lister); }
    void setLookupStarter(LookupStarter starter) { m_startLookup = std::move(starter); }

    std::vector<CString> vectVulnerableIPv4s;
    std::vector<CString> vectVulnerableIPv6s;

private:
    HostResolver m_resolver;
    InterfaceLister m_lister;
    LookupStarter m_startLookup;
    QString m_aheadHost;
    QHostInfo m_aheadInfo;
    unsigned m_aheadLookup = 0; // which lookup an answer belongs to
};

} // namespace qt
} // namespace tessal
