#pragma once
// The connectivity profile the access server hands out: its server list,
// session policy, DNS suffixes, update packages, the addresses the server may
// resolve to and the local ranges that are safe. One forward pass with a
// stream reader; no document tree.

#include <QString>
#include <QXmlStreamReader>

#include <string>
#include <vector>

namespace tessal {
namespace qt {

struct ServerItem {
    std::string address;
    std::string alias;
};

struct WinPackage {
    std::string file;
    std::string destinationDir;
    std::string clsid;
    std::string version;
    std::string source;
    std::string needInstall;
};

// One package of the Mac or Linux update lists. No element fills minVersion.
struct MacPackage {
    std::string id;
    std::string version;
    std::string signature;
    std::string source;
    std::string minVersion;
};

// A plain copyable value. Texts are UTF-8, kept exactly as they stand in the
// document (no trimming, no conversion).
class ConnectivityProfileParser
{
public:
    // Parses a whole profile, replacing whatever an earlier parse left.
    // True: the body held a profile (possibly with sections left out) or was
    // empty. False: a section is malformed or the body is not well-formed XML;
    // the log records say where.
    bool Parse(const std::string& xml);

    // Movement primitives shared by the section parsers.
    bool XmlSeekStartElement(QXmlStreamReader& xml, const QString& name);
    bool XmlSeekEndElement(QXmlStreamReader& xml, const QString& name);

    // Section parsers. Each first seeks its section; a section that is not
    // there counts as success.
    bool ParseServers(QXmlStreamReader& xml);
    bool ParseSitem(QXmlStreamReader& xml);
    bool ParseSessionPolicy(QXmlStreamReader& xml);
    bool ParseLocations(QXmlStreamReader& xml);
    bool ParseWinPackages(QXmlStreamReader& xml);
    bool ParseMacPackages(QXmlStreamReader& xml);
    bool ParseLinuxPackages(QXmlStreamReader& xml);
    bool ParseValidVsIP(QXmlStreamReader& xml);
    bool ParseLANSubnetRange(QXmlStreamReader& xml);

    std::vector<ServerItem> servers;
    std::string saveOnExit;
    std::string savePasswords;
    std::string reuseWinLogonCreds;
    std::string reuseWinLogonSession;
    std::string passwordPolicyMode;
    std::string passwordPolicyTimeout;
    std::string updateMode;
    std::vector<std::string> dnsSuffixes;
    std::vector<WinPackage> winPackages;
    std::vector<MacPackage> macPackages;
    std::vector<MacPackage> linuxPackages;
    std::vector<std::string> validServerIPs;
    std::vector<std::string> lanSubnetRanges;

private:
    // The section parser of the section at index in the fixed order.
    bool parseSection(int index, QXmlStreamReader& xml);
    bool parseMacLikePackages(QXmlStreamReader& xml, const QString& section, std::vector<MacPackage>& list,
                              const char* function);
    bool parseCheckList(QXmlStreamReader& xml, const QString& section, const QString& switchName,
                        const char* switchText, const QString& listName, const char* listText,
                        std::vector<std::string>& list, const char* function);
    bool endCheck(QXmlStreamReader& xml, const QString& section, const char* failureText, const char* function);
};

} // namespace qt
} // namespace tessal
