#include "session/ConnectivityProfileParser.h"

#include "foundation/IUErrorLog.h"
#include "foundation/InputDepth.h"

#include <cstring>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "/ConnectivityProfileParser";

// Function fields of the records, spelt the same whatever the compiler.
#define PROFILE_FN(name, args) "bool tessal::qt::ConnectivityProfileParser::" name "(" args ")"
constexpr const char* kFnParse = PROFILE_FN("Parse", "const std::string&");
constexpr const char* kFnSeekStart = PROFILE_FN("XmlSeekStartElement", "QXmlStreamReader&, const QString&");
constexpr const char* kFnSeekEnd = PROFILE_FN("XmlSeekEndElement", "QXmlStreamReader&, const QString&");
constexpr const char* kFnServers = PROFILE_FN("ParseServers", "QXmlStreamReader&");
constexpr const char* kFnSitem = PROFILE_FN("ParseSitem", "QXmlStreamReader&");
constexpr const char* kFnSession = PROFILE_FN("ParseSessionPolicy", "QXmlStreamReader&");
constexpr const char* kFnLocations = PROFILE_FN("ParseLocations", "QXmlStreamReader&");
constexpr const char* kFnWin = PROFILE_FN("ParseWinPackages", "QXmlStreamReader&");
constexpr const char* kFnMac = PROFILE_FN("ParseMacPackages", "QXmlStreamReader&");
constexpr const char* kFnLinux = PROFILE_FN("ParseLinuxPackages", "QXmlStreamReader&");
constexpr const char* kFnValidVsIP = PROFILE_FN("ParseValidVsIP", "QXmlStreamReader&");
constexpr const char* kFnLanRange = PROFILE_FN("ParseLANSubnetRange", "QXmlStreamReader&");
#undef PROFILE_FN

const QString kServers = QStringLiteral("SERVERS");
const QString kSitem = QStringLiteral("SITEM");
const QString kSession = QStringLiteral("SESSION");
const QString kLocations = QStringLiteral("LOCATIONS");
const QString kCorporate = QStringLiteral("CORPORATE");
const QString kAutoUpdate = QStringLiteral("AUTOUPDATE");
const QString kAutoUpdateMac = QStringLiteral("AUTOUPDATE_MAC");
const QString kAutoUpdateLinux = QStringLiteral("AUTOUPDATE_LINUX");
const QString kPackage = QStringLiteral("PACKAGE");
const QString kItem = QStringLiteral("ITEM");
const QString kServerIpCheck = QStringLiteral("ServerIpCheck");
const QString kLocalNetCheck = QStringLiteral("LocalNetCheck");

// Tokens that carry nothing for the walk: indentation, line breaks, comments
// and processing instructions between elements.
bool isIgnorable(const QXmlStreamReader& xml)
{
    switch (xml.tokenType()) {
    case QXmlStreamReader::Characters: return xml.isWhitespace();
    case QXmlStreamReader::Comment:
    case QXmlStreamReader::ProcessingInstruction: return true;
    default: return false;
    }
}

// One token on, past anything ignorable.
void step(QXmlStreamReader& xml)
{
    xml.readNext();
    while (!xml.atEnd() && isIgnorable(xml))
        xml.readNext();
}

// The current token's name (empty for text, comments and the like).
QString currentName(const QXmlStreamReader& xml)
{
    return xml.name().toString();
}

bool nameIs(const QXmlStreamReader& xml, const QString& name)
{
    return xml.name() == name;
}

// The text of the element the reader stands on, leaving it on the end tag; a
// child element puts the reader into its error state. Not on a start tag:
// empty, and the reader does not move.
std::string readText(QXmlStreamReader& xml)
{
    if (!xml.isStartElement())
        return std::string();
    return xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).toStdString();
}

// The loop condition of every block: not at the end, not on an end tag, not
// on (another) start tag of the block's own name.
bool inBlock(const QXmlStreamReader& xml, const QString& name)
{
    return !xml.atEnd() && !xml.isEndElement() && !nameIs(xml, name);
}

void logUnexpectedTag(const QXmlStreamReader& xml, const char* function)
{
    ULOG_ERROR(kLogFile, function, makeArgFormat("Unexpected XML tag", currentName(xml)));
}

// True when the text holds nothing but XML white space.
bool isBlank(const QString& text)
{
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            return false;
    }
    return true;
}

// The sections in their fixed order, with the text Parse writes when one fails.
struct Section {
    const QString* name;
    const char* failure;
};

const Section kSections[] = {
    {&kServers, "Failed to parse servers"},
    {&kSession, "Failed to session policy"},
    {&kLocations, "Location parsing failed"},
    {&kAutoUpdate, "Windows auto update package parsing failed"},
    {&kAutoUpdateMac, "MAC auto update package parsing failed"},
    {&kAutoUpdateLinux, "Linux auto update package parsing failed"},
    {&kServerIpCheck, "Valid Virtual Server IP parsing failed"},
    {&kLocalNetCheck, "Local subnet range parsing failed"},
};
constexpr int kSectionCount = int(sizeof(kSections) / sizeof(kSections[0]));

int sectionIndex(const QXmlStreamReader& xml)
{
    for (int i = 0; i < kSectionCount; ++i) {
        if (nameIs(xml, *kSections[i].name))
            return i;
    }
    return -1;
}

} // namespace

bool ConnectivityProfileParser::XmlSeekStartElement(QXmlStreamReader& xml, const QString& name)
{
    while (!xml.atEnd()) {
        if (xml.isStartElement() && nameIs(xml, name)) {
            step(xml);
            return true;
        }
        xml.readNext();
    }
    ULOG_ERROR(kLogFile, kFnSeekStart, makeArgFormat("Element not found", name));
    return false;
}

bool ConnectivityProfileParser::XmlSeekEndElement(QXmlStreamReader& xml, const QString& name)
{
    if (xml.isEndElement() && nameIs(xml, name)) {
        step(xml);
        return true;
    }
    ULOG_ERROR(kLogFile, kFnSeekEnd,
               makeArgFormat("Next one isn't end element (current,requested)", currentName(xml), name));
    return false;
}

bool ConnectivityProfileParser::endCheck(QXmlStreamReader& xml, const QString& section, const char* failureText,
                                         const char* function)
{
    if (XmlSeekEndElement(xml, section))
        return true;
    ULOG_ERROR(kLogFile, function, makeArgFormat(failureText));
    return false;
}

bool ConnectivityProfileParser::ParseServers(QXmlStreamReader& xml)
{
    if (!XmlSeekStartElement(xml, kServers))
        return true;
    while (inBlock(xml, kServers)) {
        if (!XmlSeekStartElement(xml, kSitem))
            continue;
        if (!ParseSitem(xml))
            return false;
        if (!XmlSeekEndElement(xml, kSitem)) {
            ULOG_ERROR(kLogFile, kFnServers, makeArgFormat("Malformed XML. </SITEM> not found"));
            return false;
        }
    }
    return endCheck(xml, kServers, "Malformed XML. </SERVERS> not found", kFnServers);
}

bool ConnectivityProfileParser::ParseSitem(QXmlStreamReader& xml)
{
    ServerItem item;
    while (inBlock(xml, kSitem)) {
        if (nameIs(xml, QLatin1String("ADDRESS"))) {
            item.address = readText(xml);
        } else if (nameIs(xml, QLatin1String("ALIAS"))) {
            item.alias = readText(xml);
        } else {
            logUnexpectedTag(xml, kFnSitem);
            return false;
        }
        step(xml);
    }
    servers.push_back(std::move(item));
    return true;
}

bool ConnectivityProfileParser::ParseSessionPolicy(QXmlStreamReader& xml)
{
    if (!XmlSeekStartElement(xml, kSession))
        return true;
    while (inBlock(xml, kSession)) {
        if (nameIs(xml, QLatin1String("SAVEONEXIT"))) {
            saveOnExit = readText(xml);
        } else if (nameIs(xml, QLatin1String("SAVEPASSWORDS"))) {
            savePasswords = readText(xml);
        } else if (nameIs(xml, QLatin1String("REUSEWINLOGONCREDS"))) {
            reuseWinLogonCreds = readText(xml);
        } else if (nameIs(xml, QLatin1String("REUSEWINLOGONSESSION"))) {
            reuseWinLogonSession = readText(xml);
        } else if (nameIs(xml, QLatin1String("PASSWORD_POLICY"))) {
            step(xml);
            if (nameIs(xml, QLatin1String("MODE")))
                passwordPolicyMode = readText(xml);
            step(xml);
            if (nameIs(xml, QLatin1String("TIMEOUT")))
                passwordPolicyTimeout = readText(xml);
            step(xml);
            if (!xml.isEndElement() && !nameIs(xml, QLatin1String("PASSWORD_POLICY"))) {
                ULOG_ERROR(kLogFile, kFnSession, makeArgFormat("End tag </PASSWORD_POLICY> not found"));
                return false;
            }
        } else if (nameIs(xml, QLatin1String("UPDATE"))) {
            step(xml);
            if (nameIs(xml, QLatin1String("MODE")))
                updateMode = readText(xml);
            step(xml);
            if (!xml.isEndElement() && !nameIs(xml, QLatin1String("UPDATE"))) {
                ULOG_ERROR(kLogFile, kFnSession, makeArgFormat("End tag </UPDATE> not found"));
                return false;
            }
        } else {
            logUnexpectedTag(xml, kFnSession);
            return false;
        }
        step(xml);
    }
    return endCheck(xml, kSession, "Malformed XML. </SESSION> not found", kFnSession);
}

bool ConnectivityProfileParser::ParseLocations(QXmlStreamReader& xml)
{
    if (!XmlSeekStartElement(xml, kLocations))
        return true;
    if (XmlSeekStartElement(xml, kCorporate)) {
        while (inBlock(xml, kCorporate)) {
            if (!nameIs(xml, QLatin1String("DNSSUFFIX"))) {
                logUnexpectedTag(xml, kFnLocations);
                return false;
            }
            dnsSuffixes.push_back(readText(xml));
            step(xml);
        }
        if (!XmlSeekEndElement(xml, kCorporate)) {
            ULOG_ERROR(kLogFile, kFnLocations, makeArgFormat("Malformed XML. </CORPORATE> not found"));
            return false;
        }
    }
    return endCheck(xml, kLocations, "Malformed XML. </LOCATIONS> not found", kFnLocations);
}

bool ConnectivityProfileParser::ParseWinPackages(QXmlStreamReader& xml)
{
    if (!XmlSeekStartElement(xml, kAutoUpdate))
        return true;
    while (inBlock(xml, kAutoUpdate)) {
        if (!XmlSeekStartElement(xml, kPackage))
            continue;
        WinPackage package;
        while (inBlock(xml, kPackage)) {
            if (XmlSeekStartElement(xml, kItem)) {
                while (inBlock(xml, kItem)) {
                    if (nameIs(xml, QLatin1String("FILE"))) {
                        package.file = readText(xml);
                    } else if (nameIs(xml, QLatin1String("DESTINATION_DIR"))) {
                        package.destinationDir = readText(xml);
                    } else if (nameIs(xml, QLatin1String("CLSID"))) {
                        package.clsid = readText(xml);
                    } else if (nameIs(xml, QLatin1String("VERSION"))) {
                        package.version = readText(xml);
                    } else {
                        logUnexpectedTag(xml, kFnWin);
                        return false;
                    }
                    step(xml);
                }
                if (!XmlSeekEndElement(xml, kItem)) {
                    ULOG_ERROR(kLogFile, kFnWin, makeArgFormat("Malformed XML. </ITEM> not found"));
                    return false;
                }
                if (!nameIs(xml, QLatin1String("SOURCE"))) {
                    logUnexpectedTag(xml, kFnWin);
                    return false;
                }
                package.source = readText(xml);
                step(xml);
                if (!nameIs(xml, QLatin1String("NEEDINSTALL"))) {
                    logUnexpectedTag(xml, kFnWin);
                    return false;
                }
                package.needInstall = readText(xml);
            }
            step(xml);
        }
        if (!XmlSeekEndElement(xml, kPackage)) {
            ULOG_ERROR(kLogFile, kFnWin, makeArgFormat("Malformed XML. </PACKAGE> not found"));
            return false;
        }
        winPackages.push_back(std::move(package));
    }
    return endCheck(xml, kAutoUpdate, "Malformed XML. </AUTOUPDATE> not found", kFnWin);
}

bool ConnectivityProfileParser::parseMacLikePackages(QXmlStreamReader& xml, const QString& section,
                                                     std::vector<MacPackage>& list, const char* function)
{
    if (!XmlSeekStartElement(xml, section))
        return true;
    while (inBlock(xml, section)) {
        if (!XmlSeekStartElement(xml, kPackage))
            continue;
        while (inBlock(xml, kPackage)) {
            if (!XmlSeekStartElement(xml, kItem))
                continue;
            MacPackage package;
            while (inBlock(xml, kItem)) {
                if (nameIs(xml, QLatin1String("ID"))) {
                    package.id = readText(xml);
                } else if (nameIs(xml, QLatin1String("VERSION"))) {
                    package.version = readText(xml);
                } else if (nameIs(xml, QLatin1String("SIGNATURE"))) {
                    package.signature = readText(xml);
                } else if (nameIs(xml, QLatin1String("SOURCE"))) {
                    package.source = readText(xml);
                } else {
                    logUnexpectedTag(xml, function);
                    return false;
                }
                step(xml);
            }
            if (!XmlSeekEndElement(xml, kItem)) {
                ULOG_ERROR(kLogFile, function, makeArgFormat("Malformed XML. </ITEM> not found"));
                return false;
            }
            list.push_back(std::move(package));
        }
        if (!XmlSeekEndElement(xml, kPackage)) {
            ULOG_ERROR(kLogFile, function, makeArgFormat("Malformed XML. </PACKAGE> not found"));
            return false;
        }
    }
    const QByteArray failure = "Malformed XML. </" + section.toUtf8() + "> not found";
    return endCheck(xml, section, failure.constData(), function);
}

bool ConnectivityProfileParser::ParseMacPackages(QXmlStreamReader& xml)
{
    return parseMacLikePackages(xml, kAutoUpdateMac, macPackages, kFnMac);
}

bool ConnectivityProfileParser::ParseLinuxPackages(QXmlStreamReader& xml)
{
    return parseMacLikePackages(xml, kAutoUpdateLinux, linuxPackages, kFnLinux);
}

bool ConnectivityProfileParser::parseCheckList(QXmlStreamReader& xml, const QString& section, const QString& switchName,
                                               const char* switchText, const QString& listName, const char* listText,
                                               std::vector<std::string>& list, const char* function)
{
    if (!XmlSeekStartElement(xml, section))
        return true;
    while (inBlock(xml, section)) {
        if (nameIs(xml, switchName)) {
            // Logged only: the list itself decides whether the check runs. Read
            // outside the log call, which skips its arguments below level 48.
            const std::string value = readText(xml);
            ULOG_VERBOSE(kLogFile, function, makeArgFormat(switchText, value));
        } else if (nameIs(xml, listName)) {
            list.push_back(readText(xml));
            ULOG_VERBOSE(kLogFile, function, makeArgFormat(listText, list.back()));
        } else {
            logUnexpectedTag(xml, function);
            return false;
        }
        step(xml);
    }
    const QByteArray failure = "Malformed XML. </" + section.toUtf8() + "> not found";
    return endCheck(xml, section, failure.constData(), function);
}

bool ConnectivityProfileParser::ParseValidVsIP(QXmlStreamReader& xml)
{
    return parseCheckList(xml, kServerIpCheck, QStringLiteral("ServerIPCheckEnabled"), "Server IP check enabled",
                          QStringLiteral("IP_ServerIP"), "Valid VS IP", validServerIPs, kFnValidVsIP);
}

bool ConnectivityProfileParser::ParseLANSubnetRange(QXmlStreamReader& xml)
{
    return parseCheckList(xml, kLocalNetCheck, QStringLiteral("LocalNetCheckEnabled"), "Local Network check enabled",
                          QStringLiteral("Lan_LocalSubnetRange"), "Allowed Local Network address", lanSubnetRanges,
                          kFnLanRange);
}

bool ConnectivityProfileParser::parseSection(int index, QXmlStreamReader& xml)
{
    switch (index) {
    case 0: return ParseServers(xml);
    case 1: return ParseSessionPolicy(xml);
    case 2: return ParseLocations(xml);
    case 3: return ParseWinPackages(xml);
    case 4: return ParseMacPackages(xml);
    case 5: return ParseLinuxPackages(xml);
    case 6: return ParseValidVsIP(xml);
    default: return ParseLANSubnetRange(xml);
    }
}

bool ConnectivityProfileParser::Parse(const std::string& xml)
{
    // A retried download must not keep the records of the earlier profile.
    *this = ConnectivityProfileParser();

    const size_t length = ::strnlen(xml.data(), xml.size());
    if (!withinInputDepth(xml.data(), length, InputMarkup::XmlStream)) {
        ULOG_ERROR(kLogFile, kFnParse, makeArgFormat("Profile is not well-formed XML", kInputTooDeepText));
        return false;
    }
    const QString text = QString::fromUtf8(xml.data(), qsizetype(length));
    QXmlStreamReader reader(text);

    // Each section is taken where it stands, in document order, so one that
    // is left out hides none of the others. A repeated section counts once.
    bool found[kSectionCount] = {};
    while (!reader.atEnd()) {
        if (reader.isStartElement()) {
            const int i = sectionIndex(reader);
            if (i >= 0 && !found[i]) {
                found[i] = true;
                if (!parseSection(i, reader)) {
                    ULOG_ERROR(kLogFile, kFnParse, makeArgFormat(kSections[i].failure));
                    return false;
                }
                // The section parser stands on the token after the section.
                continue;
            }
        }
        reader.readNext();
    }

    // An empty body is no profile at all, which the server may send; anything
    // else must be well-formed, or a cut or garbled answer would pass as a
    // profile with sections missing.
    if (reader.hasError() && !isBlank(text)) {
        ULOG_ERROR(kLogFile, kFnParse,
                   makeArgFormat("Profile is not well-formed XML", reader.errorString(), int(reader.lineNumber()),
                                 int(reader.columnNumber())));
        return false;
    }

    // The sections that are not there: each parser's seek runs on a reader at
    // its end, records the absence and succeeds.
    for (int i = 0; i < kSectionCount; ++i) {
        if (!found[i])
            parseSection(i, reader);
    }
    return true;
}

} // namespace qt
} // namespace tessal
