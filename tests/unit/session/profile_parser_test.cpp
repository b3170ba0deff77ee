// The connectivity profile parser: what a full profile fills, the section
// rules, every failure text, and what it does with bodies that are no profile.
#include "RecordingLog.h"

#include "session/ConnectivityProfileParser.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using tessal::qt::ConnectivityProfileParser;
using tessal::test::RecordingLog;

namespace {

const char* const kSectionNames[] = {"SERVERS",        "SESSION",          "LOCATIONS",     "AUTOUPDATE",
                                     "AUTOUPDATE_MAC", "AUTOUPDATE_LINUX", "ServerIpCheck", "LocalNetCheck"};

std::map<std::string, std::string> fullSections()
{
    return {
        {"SERVERS", "<SERVERS><SITEM><ADDRESS>vpn.example.com</ADDRESS><ALIAS>Main &amp; only</ALIAS></SITEM>"
                    "<SITEM><ADDRESS>10.0.0.2</ADDRESS></SITEM></SERVERS>"},
        {"SESSION", "<SESSION><SAVEONEXIT>1</SAVEONEXIT><SAVEPASSWORDS>0</SAVEPASSWORDS>"
                    "<REUSEWINLOGONCREDS>2</REUSEWINLOGONCREDS><REUSEWINLOGONSESSION>3</REUSEWINLOGONSESSION>"
                    "<PASSWORD_POLICY><MODE>lock</MODE><TIMEOUT>30</TIMEOUT></PASSWORD_POLICY>"
                    "<UPDATE><MODE>prompt</MODE></UPDATE></SESSION>"},
        {"LOCATIONS", "<LOCATIONS><CORPORATE><DNSSUFFIX>corp.example</DNSSUFFIX><DNSSUFFIX>lab.example</DNSSUFFIX>"
                      "</CORPORATE></LOCATIONS>"},
        {"AUTOUPDATE", "<AUTOUPDATE><PACKAGE><ITEM><FILE>a.exe</FILE><DESTINATION_DIR>C:\\x</DESTINATION_DIR>"
                       "<CLSID>{1}</CLSID><VERSION>1.0</VERSION></ITEM><SOURCE>/a.cab</SOURCE>"
                       "<NEEDINSTALL>yes</NEEDINSTALL></PACKAGE></AUTOUPDATE>"},
        {"AUTOUPDATE_MAC", "<AUTOUPDATE_MAC><PACKAGE><ITEM><ID>mac</ID><VERSION>2.0</VERSION><SIGNATURE>sm</SIGNATURE>"
                           "<SOURCE>/m.pkg</SOURCE></ITEM></PACKAGE></AUTOUPDATE_MAC>"},
        {"AUTOUPDATE_LINUX", "<AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessApp</ID><VERSION>7270.0.0.2</VERSION>"
                             "<SIGNATURE>s1</SIGNATURE><SOURCE>/l.deb</SOURCE></ITEM><ITEM><ID>EndpointCheckApp</ID>"
                             "<SOURCE>/e.tgz</SOURCE></ITEM></PACKAGE></AUTOUPDATE_LINUX>"},
        {"ServerIpCheck",
         "<ServerIpCheck><ServerIPCheckEnabled>1</ServerIPCheckEnabled><IP_ServerIP>192.0.2.10</IP_ServerIP>"
         "<IP_ServerIP>2001:db8::10</IP_ServerIP></ServerIpCheck>"},
        {"LocalNetCheck", "<LocalNetCheck><LocalNetCheckEnabled>1</LocalNetCheckEnabled>"
                          "<Lan_LocalSubnetRange>10.0.0.0/8</Lan_LocalSubnetRange>"
                          "<Lan_LocalSubnetRange>fd00::/8</Lan_LocalSubnetRange></LocalNetCheck>"},
    };
}

// A compact profile with every section in order, less those named in skip.
std::string profile(const std::vector<std::string>& skip = {})
{
    const auto sections = fullSections();
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><PROFILE>";
    for (const char* name : kSectionNames) {
        if (std::find(skip.begin(), skip.end(), name) == skip.end())
            out += sections.at(name);
    }
    return out + "</PROFILE>";
}

std::string wrap(const std::string& body)
{
    return "<PROFILE>" + body + "</PROFILE>";
}

// Everything the parser holds, one member per line, for whole comparisons.
std::string dump(const ConnectivityProfileParser& p)
{
    std::ostringstream o;
    for (const auto& s : p.servers)
        o << "server " << s.address << "|" << s.alias << "\n";
    std::ostringstream session;
    session << p.saveOnExit << "|" << p.savePasswords << "|" << p.reuseWinLogonCreds << "|" << p.reuseWinLogonSession
            << "|" << p.passwordPolicyMode << "|" << p.passwordPolicyTimeout << "|" << p.updateMode;
    if (session.str() != "||||||")
        o << "session " << session.str() << "\n";
    for (const auto& d : p.dnsSuffixes)
        o << "dns " << d << "\n";
    for (const auto& w : p.winPackages)
        o << "win " << w.file << "|" << w.destinationDir << "|" << w.clsid << "|" << w.version << "|" << w.source << "|"
          << w.needInstall << "\n";
    for (const auto& m : p.macPackages)
        o << "mac " << m.id << "|" << m.version << "|" << m.signature << "|" << m.source << "|" << m.minVersion << "\n";
    for (const auto& m : p.linuxPackages)
        o << "linux " << m.id << "|" << m.version << "|" << m.signature << "|" << m.source << "|" << m.minVersion
          << "\n";
    for (const auto& ip : p.validServerIPs)
        o << "vsip " << ip << "\n";
    for (const auto& r : p.lanSubnetRanges)
        o << "lan " << r << "\n";
    return o.str();
}

// The dump of what one section of the full profile contributes.
std::string sectionDump(const std::string& name)
{
    ConnectivityProfileParser p;
    EXPECT_TRUE(p.Parse(wrap(fullSections().at(name))));
    return dump(p);
}

// The message part of every level-1 record, in order.
QStringList errorMessages(const RecordingLog& log)
{
    // "level, file, line, function(args), message\n"; the arguments may hold ", ".
    static const QRegularExpression record(QStringLiteral("^1, [^,]*, \\d+, .*?\\), (.*)\n$"),
                                           QRegularExpression::DotMatchesEverythingOption);
    QStringList out;
    for (const QString& line : log.qLines()) {
        const QRegularExpressionMatch m = record.match(line);
        if (m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

std::string notFoundRecords(const RecordingLog& log)
{
    return errorMessages(log)
        .filter(QRegularExpression(QStringLiteral("^Element not found, ")))
        .join('\n')
        .toStdString();
}

// Texts joined one a line, so that failures print readably.
std::string lines(const QStringList& texts)
{
    return texts.join('\n').toStdString();
}

TEST(ProfileParser, CompactFullProfileFillsEveryMember)
{
    RecordingLog log;
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(profile()));

    ASSERT_EQ(p.servers.size(), 2u);
    EXPECT_EQ(p.servers[0].address, "vpn.example.com");
    EXPECT_EQ(p.servers[0].alias, "Main & only");
    EXPECT_EQ(p.servers[1].address, "10.0.0.2");
    EXPECT_EQ(p.servers[1].alias, "");
    EXPECT_EQ(p.saveOnExit, "1");
    EXPECT_EQ(p.savePasswords, "0");
    EXPECT_EQ(p.reuseWinLogonCreds, "2");
    EXPECT_EQ(p.reuseWinLogonSession, "3");
    EXPECT_EQ(p.passwordPolicyMode, "lock");
    EXPECT_EQ(p.passwordPolicyTimeout, "30");
    EXPECT_EQ(p.updateMode, "prompt");
    EXPECT_EQ(p.dnsSuffixes, (std::vector<std::string>{"corp.example", "lab.example"}));
    ASSERT_EQ(p.winPackages.size(), 1u);
    EXPECT_EQ(p.winPackages[0].file, "a.exe");
    EXPECT_EQ(p.winPackages[0].destinationDir, "C:\\x");
    EXPECT_EQ(p.winPackages[0].clsid, "{1}");
    EXPECT_EQ(p.winPackages[0].version, "1.0");
    EXPECT_EQ(p.winPackages[0].source, "/a.cab");
    EXPECT_EQ(p.winPackages[0].needInstall, "yes");
    ASSERT_EQ(p.macPackages.size(), 1u);
    EXPECT_EQ(p.macPackages[0].id, "mac");
    EXPECT_EQ(p.macPackages[0].signature, "sm");
    ASSERT_EQ(p.linuxPackages.size(), 2u);
    EXPECT_EQ(p.linuxPackages[0].id, "NetworkAccessApp");
    EXPECT_EQ(p.linuxPackages[0].version, "7270.0.0.2");
    EXPECT_EQ(p.linuxPackages[0].signature, "s1");
    EXPECT_EQ(p.linuxPackages[0].source, "/l.deb");
    EXPECT_EQ(p.linuxPackages[0].minVersion, "");
    EXPECT_EQ(p.linuxPackages[1].id, "EndpointCheckApp");
    EXPECT_EQ(p.linuxPackages[1].version, "");
    EXPECT_EQ(p.linuxPackages[1].source, "/e.tgz");
    EXPECT_EQ(p.validServerIPs, (std::vector<std::string>{"192.0.2.10", "2001:db8::10"}));
    EXPECT_EQ(p.lanSubnetRanges, (std::vector<std::string>{"10.0.0.0/8", "fd00::/8"}));

    EXPECT_TRUE(errorMessages(log).isEmpty()) << errorMessages(log).join('\n').toStdString();
    EXPECT_EQ(log.withMessage("Server IP check enabled, 1").size(), 1);
    EXPECT_EQ(log.withMessage("Valid VS IP, 2001:db8::10").size(), 1);
    EXPECT_EQ(log.withMessage("Local Network check enabled, 1").size(), 1);
    EXPECT_EQ(log.withMessage("Allowed Local Network address, fd00::/8").size(), 1);
    const QStringList parse = log.withMessage("Valid VS IP, 192.0.2.10");
    ASSERT_EQ(parse.size(), 1);
    EXPECT_TRUE(parse[0].startsWith("48, /ConnectivityProfileParser, ")) << parse[0].toStdString();
    EXPECT_TRUE(parse[0].contains(", bool tessal::qt::ConnectivityProfileParser::ParseValidVsIP(QXmlStreamReader&), "));
}

TEST(ProfileParser, TheResultDoesNotDependOnTheLogLevel)
{
    std::string expected;
    {
        RecordingLog log;
        ConnectivityProfileParser p;
        ASSERT_TRUE(p.Parse(profile()));
        expected = dump(p);
    }
    {
        RecordingLog log;
        log.setLogLevel(1);
        ConnectivityProfileParser p;
        ASSERT_TRUE(p.Parse(profile()));
        EXPECT_EQ(dump(p), expected);
    }
    IUErrorLog* previous = g_pErrorLog.exchange(nullptr);
    ConnectivityProfileParser p;
    const bool ok = p.Parse(profile());
    g_pErrorLog.store(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(dump(p), expected);
}

TEST(ProfileParser, PrettyPrintedProfileWithCommentsParsesLikeTheCompactOne)
{
    const std::string compact = profile();
    ConnectivityProfileParser expected;
    ASSERT_TRUE(expected.Parse(compact));

    // Indent between every pair of tags (no element of the profile is empty,
    // so no text changes), with comments and processing instructions among them.
    std::string pretty;
    int n = 0;
    for (size_t i = 0; i < compact.size(); ++i) {
        pretty += compact[i];
        if (compact[i] == '>' && i + 1 < compact.size() && compact[i + 1] == '<') {
            pretty += "\n    ";
            if (++n % 3 == 0)
                pretty += "<!-- note -->\r\n\t";
            if (n % 5 == 0)
                pretty += "<?tool hint?>\n ";
        }
    }
    RecordingLog log;
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(pretty)) << errorMessages(log).join('\n').toStdString();
    EXPECT_EQ(dump(p), dump(expected));
    EXPECT_TRUE(errorMessages(log).isEmpty()) << errorMessages(log).join('\n').toStdString();
}

TEST(ProfileParser, AMissingSectionHidesNoOtherSection)
{
    std::string all;
    for (const char* name : kSectionNames)
        all += sectionDump(name);
    ConnectivityProfileParser full;
    ASSERT_TRUE(full.Parse(profile()));
    ASSERT_EQ(dump(full), all);

    for (const char* missing : kSectionNames) {
        SCOPED_TRACE(missing);
        std::string expected;
        for (const char* name : kSectionNames) {
            if (std::string(name) != missing)
                expected += sectionDump(name);
        }
        RecordingLog log;
        ConnectivityProfileParser p;
        ASSERT_TRUE(p.Parse(profile({missing})));
        EXPECT_EQ(dump(p), expected);
        EXPECT_EQ(notFoundRecords(log), std::string("Element not found, ") + missing);
    }
    // The case that matters most: without the Mac packages, the Linux packages
    // and both checks stay.
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(profile({"AUTOUPDATE_MAC"})));
    EXPECT_EQ(p.linuxPackages.size(), 2u);
    EXPECT_EQ(p.validServerIPs.size(), 2u);
    EXPECT_EQ(p.lanSubnetRanges.size(), 2u);
}

TEST(ProfileParser, SectionsAreTakenInDocumentOrder)
{
    const auto s = fullSections();
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(
        wrap(s.at("LocalNetCheck") + s.at("SESSION") + s.at("ServerIpCheck") + s.at("SERVERS") + s.at("LOCATIONS"))));
    EXPECT_EQ(p.servers.size(), 2u);
    EXPECT_EQ(p.passwordPolicyTimeout, "30");
    EXPECT_EQ(p.dnsSuffixes.size(), 2u);
    EXPECT_EQ(p.validServerIPs.size(), 2u);
    EXPECT_EQ(p.lanSubnetRanges.size(), 2u);

    // Only the checks: both are found.
    ConnectivityProfileParser checks;
    ASSERT_TRUE(checks.Parse(wrap(s.at("ServerIpCheck") + s.at("LocalNetCheck"))));
    EXPECT_EQ(checks.validServerIPs, (std::vector<std::string>{"192.0.2.10", "2001:db8::10"}));
    EXPECT_EQ(checks.lanSubnetRanges, (std::vector<std::string>{"10.0.0.0/8", "fd00::/8"}));

    // Sections inside other elements are found too; a repeated section counts once.
    ConnectivityProfileParser nested;
    ASSERT_TRUE(nested.Parse(
        wrap("<A><B>" + s.at("SERVERS") + "</B></A>" + "<SERVERS><SITEM><ADDRESS>late</ADDRESS></SITEM></SERVERS>")));
    ASSERT_EQ(nested.servers.size(), 2u);
    EXPECT_EQ(nested.servers[1].address, "10.0.0.2");
}

TEST(ProfileParser, EmptyBodyOrNoSectionsSucceedsWithEveryMemberEmpty)
{
    QStringList expected;
    for (const char* name : kSectionNames)
        expected << QStringLiteral("Element not found, ") + name;
    for (const std::string& body : {std::string(), std::string(" \r\n\t "), std::string("<html><body/></html>"),
                                    std::string("\0<PROFILE>", 10)}) {
        SCOPED_TRACE(body);
        RecordingLog log;
        ConnectivityProfileParser p;
        ASSERT_TRUE(p.Parse(body));
        EXPECT_EQ(dump(p), dump(ConnectivityProfileParser()));
        EXPECT_EQ(lines(errorMessages(log)), lines(expected));
    }
}

TEST(ProfileParser, ABodyThatIsNotWellFormedFails)
{
    for (const std::string& body :
         {std::string("Service unavailable"), std::string("<PROFILE><SERVERS></SERVERS>"), profile() + "<trailing/>",
          std::string("<a></b>"), std::string("<?xml version=\"1.0\"?>"),
          std::string("<html><body>Log on<br></body></html>"), profile().substr(0, profile().size() / 2),
          [] {
              std::string deep;
              for (int i = 0; i < 40000; ++i)
                  deep += i < 20000 ? "<PROFILE>" : "</PROFILE>";
              return deep;
          }(),
          [] {
              // Entities ten levels deep, each in the next: 71 levels only once the reader expands them.
              std::string deep = "<!DOCTYPE P [<!ENTITY e0 \"\">", open, close;
              for (int k = 0; k < 10; ++k) {
                  open += "<P>";
                  close += "</P>";
              }
              for (int k = 1; k < 8; ++k)
                  deep += "<!ENTITY e" + std::to_string(k) + " \"" + open + "&e" + std::to_string(k - 1) + ";" + close +
                          "\">";
              return deep + "]><P>&e7;</P>";
          }()}) {
        SCOPED_TRACE(body);
        RecordingLog log;
        ConnectivityProfileParser p;
        EXPECT_FALSE(p.Parse(body));
        const QStringList errors = errorMessages(log);
        ASSERT_FALSE(errors.isEmpty());
        EXPECT_TRUE(errors.filter(QStringLiteral("Profile is not well-formed XML, ")).size() == 1 ||
                    errors.last().endsWith(QStringLiteral("failed")) ||
                    errors.last().startsWith(QStringLiteral("Failed to")))
            << errors.join('\n').toStdString();
    }
    // A fault outside every section still fails once the sections before it are in.
    RecordingLog log;
    ConnectivityProfileParser p;
    EXPECT_FALSE(p.Parse(wrap(fullSections().at("SERVERS")) + "<junk"));
    EXPECT_EQ(p.servers.size(), 2u);
    EXPECT_EQ(errorMessages(log).filter(QStringLiteral("Profile is not well-formed XML, ")).size(), 1);
}

TEST(ProfileParser, EveryParseStartsEmpty)
{
    RecordingLog log;
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(profile()));
    ASSERT_TRUE(p.Parse(profile())) << errorMessages(log).join('\n').toStdString();
    EXPECT_EQ(p.servers.size(), 2u);
    EXPECT_EQ(p.linuxPackages.size(), 2u);
    EXPECT_EQ(p.validServerIPs.size(), 2u);

    ASSERT_TRUE(p.Parse(wrap("<ServerIpCheck><IP_ServerIP>192.0.2.99</IP_ServerIP></ServerIpCheck>")));
    EXPECT_TRUE(p.servers.empty());
    EXPECT_EQ(p.saveOnExit, "");
    EXPECT_EQ(p.validServerIPs, std::vector<std::string>{"192.0.2.99"});

    ASSERT_FALSE(p.Parse(wrap("<SERVERS><SITEM><ADDRESS>a</ADDRESS></SITEM><X/></SERVERS>")));
    ASSERT_TRUE(p.Parse(std::string()));
    EXPECT_EQ(dump(p), dump(ConnectivityProfileParser()));
}

struct FailureCase {
    const char* name;
    std::string body;
    QStringList records; // the level-1 records, in order
};

TEST(ProfileParser, EachFailureTextNamesItsSection)
{
    const std::vector<FailureCase> cases = {
        {"sitem child",
         wrap("<SERVERS><SITEM><FOO>x</FOO></SITEM></SERVERS>"),
         {"Unexpected XML tag, FOO", "Failed to parse servers"}},
        {"text after sitem",
         wrap("<SERVERS><SITEM/>text</SERVERS>"),
         {"Element not found, SITEM", "Next one isn't end element (current,requested), , SERVERS",
          "Malformed XML. </SERVERS> not found", "Failed to parse servers"}},
        {"element in address",
         wrap("<SERVERS><SITEM><ADDRESS>a<B/></ADDRESS></SITEM></SERVERS>"),
         {"Next one isn't end element (current,requested), B, SITEM", "Malformed XML. </SITEM> not found",
          "Failed to parse servers"}},
        {"session tag",
         wrap("<SESSION><BOGUS>1</BOGUS></SESSION>"),
         {"Unexpected XML tag, BOGUS", "Failed to session policy"}},
        {"session end",
         wrap("<SESSION><SESSION/></SESSION>"),
         {"Next one isn't end element (current,requested), SESSION, SESSION", "Malformed XML. </SESSION> not found",
          "Failed to session policy"}},
        {"password policy",
         wrap("<SESSION><PASSWORD_POLICY><MODE>a</MODE></PASSWORD_POLICY><UPDATE><MODE>b</MODE>"
              "</UPDATE></SESSION>"),
         {"End tag </PASSWORD_POLICY> not found", "Failed to session policy"}},
        {"update",
         wrap("<SESSION><UPDATE><MODE>b</MODE><EXTRA/></UPDATE></SESSION>"),
         {"End tag </UPDATE> not found", "Failed to session policy"}},
        {"no corporate",
         wrap("<LOCATIONS></LOCATIONS>"),
         {"Element not found, CORPORATE", "Next one isn't end element (current,requested), , LOCATIONS",
          "Malformed XML. </LOCATIONS> not found", "Location parsing failed"}},
        {"second corporate",
         wrap("<LOCATIONS><CORPORATE/><CORPORATE/></LOCATIONS>"),
         {"Next one isn't end element (current,requested), CORPORATE, LOCATIONS",
          "Malformed XML. </LOCATIONS> not found", "Location parsing failed"}},
        {"corporate end",
         wrap("<LOCATIONS><CORPORATE><DNSSUFFIX>a</DNSSUFFIX><CORPORATE/></CORPORATE></LOCATIONS>"),
         {"Next one isn't end element (current,requested), CORPORATE, CORPORATE",
          "Malformed XML. </CORPORATE> not found", "Location parsing failed"}},
        {"dns tag",
         wrap("<LOCATIONS><CORPORATE><DNS>a</DNS></CORPORATE></LOCATIONS>"),
         {"Unexpected XML tag, DNS", "Location parsing failed"}},
        {"source in item",
         wrap("<AUTOUPDATE><PACKAGE><ITEM><SOURCE>s</SOURCE></ITEM></PACKAGE></AUTOUPDATE>"),
         {"Unexpected XML tag, SOURCE", "Windows auto update package parsing failed"}},
        {"win item end",
         wrap("<AUTOUPDATE><PACKAGE><ITEM><ITEM/></ITEM></PACKAGE></AUTOUPDATE>"),
         {"Next one isn't end element (current,requested), ITEM, ITEM", "Malformed XML. </ITEM> not found",
          "Windows auto update package parsing failed"}},
        {"win no needinstall",
         wrap("<AUTOUPDATE><PACKAGE><ITEM/><SOURCE>s</SOURCE><OTHER/></PACKAGE></AUTOUPDATE>"),
         {"Unexpected XML tag, OTHER", "Windows auto update package parsing failed"}},
        {"win package end",
         wrap("<AUTOUPDATE><PACKAGE><PACKAGE/></PACKAGE></AUTOUPDATE>"),
         {"Next one isn't end element (current,requested), PACKAGE, PACKAGE", "Malformed XML. </PACKAGE> not found",
          "Windows auto update package parsing failed"}},
        {"win section end",
         wrap("<AUTOUPDATE><AUTOUPDATE/></AUTOUPDATE>"),
         {"Next one isn't end element (current,requested), AUTOUPDATE, AUTOUPDATE",
          "Malformed XML. </AUTOUPDATE> not found", "Windows auto update package parsing failed"}},
        {"mac tag",
         wrap("<AUTOUPDATE_MAC><PACKAGE><ITEM><NAME>x</NAME></ITEM></PACKAGE></AUTOUPDATE_MAC>"),
         {"Unexpected XML tag, NAME", "MAC auto update package parsing failed"}},
        {"mac section end",
         wrap("<AUTOUPDATE_MAC><AUTOUPDATE_MAC/></AUTOUPDATE_MAC>"),
         {"Next one isn't end element (current,requested), AUTOUPDATE_MAC, AUTOUPDATE_MAC",
          "Malformed XML. </AUTOUPDATE_MAC> not found", "MAC auto update package parsing failed"}},
        {"linux tag",
         wrap("<AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>a</ID><MD5>x</MD5></ITEM></PACKAGE>"
              "</AUTOUPDATE_LINUX>"),
         {"Unexpected XML tag, MD5", "Linux auto update package parsing failed"}},
        {"linux item end",
         wrap("<AUTOUPDATE_LINUX><PACKAGE><ITEM><ITEM/></ITEM></PACKAGE></AUTOUPDATE_LINUX>"),
         {"Next one isn't end element (current,requested), ITEM, ITEM", "Malformed XML. </ITEM> not found",
          "Linux auto update package parsing failed"}},
        {"linux package end",
         wrap("<AUTOUPDATE_LINUX><PACKAGE><PACKAGE/></PACKAGE></AUTOUPDATE_LINUX>"),
         {"Next one isn't end element (current,requested), PACKAGE, PACKAGE", "Malformed XML. </PACKAGE> not found",
          "Linux auto update package parsing failed"}},
        {"linux section end",
         wrap("<AUTOUPDATE_LINUX><AUTOUPDATE_LINUX/></AUTOUPDATE_LINUX>"),
         {"Next one isn't end element (current,requested), AUTOUPDATE_LINUX, AUTOUPDATE_LINUX",
          "Malformed XML. </AUTOUPDATE_LINUX> not found", "Linux auto update package parsing failed"}},
        {"server ip tag",
         wrap("<ServerIpCheck><IP>1</IP></ServerIpCheck>"),
         {"Unexpected XML tag, IP", "Valid Virtual Server IP parsing failed"}},
        {"server ip end",
         wrap("<ServerIpCheck><ServerIpCheck/></ServerIpCheck>"),
         {"Next one isn't end element (current,requested), ServerIpCheck, ServerIpCheck",
          "Malformed XML. </ServerIpCheck> not found", "Valid Virtual Server IP parsing failed"}},
        {"local net tag",
         wrap("<LocalNetCheck>10.0.0.0/8</LocalNetCheck>"),
         {"Unexpected XML tag, ", "Local subnet range parsing failed"}},
        {"local net end",
         wrap("<LocalNetCheck><LocalNetCheck/></LocalNetCheck>"),
         {"Next one isn't end element (current,requested), LocalNetCheck, LocalNetCheck",
          "Malformed XML. </LocalNetCheck> not found", "Local subnet range parsing failed"}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLog log;
        ConnectivityProfileParser p;
        EXPECT_FALSE(p.Parse(c.body));
        EXPECT_EQ(lines(errorMessages(log)), lines(c.records));
    }
    // The records carry the parser's file and the failing operation's name.
    RecordingLog log;
    ConnectivityProfileParser p;
    ASSERT_FALSE(p.Parse(wrap("<SESSION><X/></SESSION>")));
    const QStringList lines = log.withMessage("Failed to session policy");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith("1, /ConnectivityProfileParser, "));
    EXPECT_TRUE(lines[0].contains(", bool tessal::qt::ConnectivityProfileParser::Parse(const std::string&), "));
}

TEST(ProfileParser, RecordsParsedBeforeAFailureStay)
{
    ConnectivityProfileParser p;
    EXPECT_FALSE(
        p.Parse(wrap(fullSections().at("SERVERS") + "<SESSION><X/></SESSION>" + fullSections().at("ServerIpCheck"))));
    EXPECT_EQ(p.servers.size(), 2u);
    EXPECT_TRUE(p.validServerIPs.empty());

    // A text element holding an element: the item is still added with its text so far.
    ConnectivityProfileParser q;
    EXPECT_FALSE(q.Parse(wrap("<SERVERS><SITEM><ALIAS>x</ALIAS><ADDRESS>ab<C/></ADDRESS></SITEM></SERVERS>")));
    ASSERT_EQ(q.servers.size(), 1u);
    EXPECT_EQ(q.servers[0].alias, "x");
    EXPECT_EQ(q.servers[0].address, "ab");
}

TEST(ProfileParser, ElementRules)
{
    // Empty SERVERS in both spellings; an empty SITEM adds an empty item.
    for (const char* body : {"<SERVERS></SERVERS>", "<SERVERS/>"}) {
        ConnectivityProfileParser p;
        EXPECT_TRUE(p.Parse(wrap(body)));
        EXPECT_TRUE(p.servers.empty());
    }
    ConnectivityProfileParser empty;
    ASSERT_TRUE(empty.Parse(wrap("<SERVERS><SITEM/><SITEM></SITEM></SERVERS>")));
    ASSERT_EQ(empty.servers.size(), 2u);
    EXPECT_EQ(empty.servers[0].address + empty.servers[0].alias, "");

    // A repeated text element keeps the last value; values are not trimmed.
    ConnectivityProfileParser repeated;
    ASSERT_TRUE(repeated.Parse(wrap("<SERVERS><SITEM><ADDRESS>a</ADDRESS><ADDRESS> b </ADDRESS></SITEM></SERVERS>"
                                    "<SESSION><SAVEONEXIT>1</SAVEONEXIT><SAVEONEXIT>2</SAVEONEXIT></SESSION>")));
    EXPECT_EQ(repeated.servers[0].address, " b ");
    EXPECT_EQ(repeated.saveOnExit, "2");

    // Two ITEM groups in one Windows PACKAGE fill one record; the second wins
    // where it has a value.
    ConnectivityProfileParser win;
    ASSERT_TRUE(win.Parse(wrap("<AUTOUPDATE><PACKAGE><ITEM><FILE>f1</FILE><CLSID>c1</CLSID></ITEM>"
                               "<SOURCE>s1</SOURCE><NEEDINSTALL>n1</NEEDINSTALL><ITEM><FILE>f2</FILE></ITEM>"
                               "<SOURCE>s2</SOURCE><NEEDINSTALL>n2</NEEDINSTALL></PACKAGE><PACKAGE/></AUTOUPDATE>")));
    ASSERT_EQ(win.winPackages.size(), 2u);
    EXPECT_EQ(win.winPackages[0].file, "f2");
    EXPECT_EQ(win.winPackages[0].clsid, "c1");
    EXPECT_EQ(win.winPackages[0].source, "s2");
    EXPECT_EQ(win.winPackages[0].needInstall, "n2");
    EXPECT_EQ(win.winPackages[1].file, "");

    // An empty Linux PACKAGE adds nothing.
    ConnectivityProfileParser linux;
    ASSERT_TRUE(linux.Parse(wrap("<AUTOUPDATE_LINUX><PACKAGE/><PACKAGE><ITEM><ID>x</ID></ITEM></PACKAGE>"
                                 "</AUTOUPDATE_LINUX>")));
    ASSERT_EQ(linux.linuxPackages.size(), 1u);
    EXPECT_EQ(linux.linuxPackages[0].id, "x");

    // The switch of a check is only logged.
    RecordingLog log;
    ConnectivityProfileParser sw;
    ASSERT_TRUE(sw.Parse(wrap("<ServerIpCheck><ServerIPCheckEnabled>0</ServerIPCheckEnabled>"
                              "<IP_ServerIP>10.1.1.1</IP_ServerIP></ServerIpCheck>")));
    EXPECT_EQ(sw.validServerIPs, std::vector<std::string>{"10.1.1.1"});
    EXPECT_EQ(log.withMessage("Server IP check enabled, 0").size(), 1);

    // An UPDATE with its MODE; names are case-sensitive.
    ConnectivityProfileParser update;
    ASSERT_TRUE(update.Parse(wrap("<SESSION><UPDATE><MODE>x</MODE></UPDATE></SESSION><servers/>")));
    EXPECT_EQ(update.updateMode, "x");
    ConnectivityProfileParser lower;
    EXPECT_FALSE(lower.Parse(wrap("<SERVERS><sitem/><SITEM><address>a</address></SITEM></SERVERS>")));
}

TEST(ProfileParser, ReadsUpToTheFirstNulAndAsUtf8)
{
    const std::string body = profile({"SERVERS"}) + std::string(1, '\0') + "<garbage";
    ConnectivityProfileParser p;
    ASSERT_TRUE(p.Parse(body));
    EXPECT_EQ(p.validServerIPs.size(), 2u);

    ConnectivityProfileParser utf8;
    ASSERT_TRUE(utf8.Parse(wrap("<SERVERS><SITEM><ALIAS>Zürich 東京</ALIAS></SITEM></SERVERS>")));
    EXPECT_EQ(utf8.servers[0].alias, "Zürich 東京");
}

} // namespace
