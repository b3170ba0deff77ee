// The whole road as a user meets it: a launch URL given to tessalvpn (a test
// build of its main.cpp that answers dialogs), the access session against the
// access-server stand-in, the window with the stand-in's resource page, the
// network-access tunnel through the svpn stand-in, and the end of the process.
// What the page saw comes back through the server's request log.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>

#include "AccessServer.h"
#include "ChildState.h"
#include "SvpnStandIn.h"

namespace {

using tessal::test::AccessServer;

const QString kResource = QStringLiteral("e2e_na");
const QString kSid = QStringLiteral("0a1b2c3d4e5f60718293a4b5c6d7e8f9");

// Traffic counters as the daemon reports them: client sent, client received,
// server sent, server received.
const char* const kConnectedScript = "reply &setloaded\n"
                                     "reply &setloaded&sslcreate\n"
                                     "reply &settraffic,11,22,33,44\n";

// The processes under /proc.
QList<int> pids()
{
    QList<int> out;
    for (const QString& name : QDir("/proc").entryList(QDir::Dirs))
        if (name.toInt() > 0)
            out << name.toInt();
    return out;
}

// Alive and not a zombie waiting for whoever inherited it.
bool running(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

std::string commandLine(int pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', ' ').toStdString() : std::string();
}

// /proc/<pid>/cmdline as another local user (uid 65534, when the test may
// take it) reads it, NULs as blanks, trailing ones dropped.
std::string commandLineToOthers(qint64 pid)
{
    QStringList command{"/bin/cat", QStringLiteral("/proc/%1/cmdline").arg(pid)};
    if (::geteuid() == 0)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    QProcess cat;
    cat.start(command.first(), command.mid(1));
    cat.waitForFinished(5000);
    return cat.readAllStandardOutput().replace('\0', ' ').trimmed().toStdString();
}

struct PageSignal {
    QString name;
    QJsonArray args;
};

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(server.start()) << server.error().toStdString();
        QDir().mkpath(home.path() + "/.TessalNetworks");
    }

    void TearDown() override
    {
        if (client && client->state() != QProcess::NotRunning) {
            client->kill();
            client->waitForFinished(5000);
        }
    }

    QString site() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.port()); }

    QString launchUrl(const QString& sid = kSid) const
    {
        return QStringLiteral("tessal-vpn://launch?server=127.0.0.1&port=%1&protocol=http&sid=%2"
                              "&resourcename=%3&resourcetype=network_access")
            .arg(server.port())
            .arg(sid, kResource);
    }

    // The server's site, or the sites given, as trusted for good.
    void trustSite(const QStringList& sites = {})
    {
        QFile file(home.path() + "/.TessalNetworks/trusted_sites.xml");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<version>1.0</version>"
                                  "<sites><site>%1</site></sites>")
                       .arg((sites.isEmpty() ? QStringList{site()} : sites).join("</site><site>"))
                       .toUtf8());
    }

    // The server's side of the road; `actions` is what the page runs. Routes
    // in `first` come before the usual ones; without `profile` the session
    // ends at its profile download, before any window.
    void serve(const QJsonArray& actions, const QJsonArray& first = {}, bool profile = true)
    {
        const QString pages = QCoreApplication::applicationDirPath() + "/access_server_pages/";
        const QJsonObject xml{{"Content-Type", "text/xml"}};
        const QString profileText =
            "<PROFILE><AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessAppX64.deb</ID><VERSION>7270.0.0.1</VERSION>"
            "<SIGNATURE>x</SIGNATURE><SOURCE>/public/download/linux.deb</SOURCE></ITEM></PACKAGE></AUTOUPDATE_LINUX>"
            "<ServerIpCheck><ServerIPCheckEnabled>1</ServerIPCheckEnabled><IP_ServerIP>127.0.0.1</IP_ServerIP>"
            "</ServerIpCheck><LocalNetCheck><LocalNetCheckEnabled>0</LocalNetCheckEnabled></LocalNetCheck></PROFILE>";
        const QString params = "<?xml version=\"1.0\"?><favorite><object><SESSION_ID>" + kSid +
                               "</SESSION_ID><tunnel_host0>127.0.0.1</tunnel_host0><tunnel_port0>443</tunnel_port0>"
                               "</object></favorite>";
        QJsonArray routes = first;
        if (profile)
            routes.append(QJsonObject{{"path", "/pre/config.php"}, {"headers", xml}, {"body", profileText}});
        for (const QJsonValue& route : QJsonArray{
                 QJsonObject{{"path", "/my.report.na"}, {"body", ""}},
                 QJsonObject{{"path", "/vdesk/resource_template"},
                             {"headers", QJsonObject{{"Content-Type", "text/html; charset=utf-8"}}},
                             {"body_file", pages + "resource_template.html"}},
                 QJsonObject{{"path", "/vdesk/vpn/connect.php3"}, {"headers", xml}, {"body", params}},
                 QJsonObject{{"path", "/my.logout.php3"},
                             {"headers", QJsonObject{{"Content-Type", "text/html"}}},
                             {"body", "<html><body>Logged out</body></html>"}},
                 QJsonObject{{"path", "/__page/actions"},
                             {"headers", QJsonObject{{"Content-Type", "application/json"}}},
                             {"body", QString::fromUtf8(QJsonDocument(actions).toJson(QJsonDocument::Compact))}},
                 QJsonObject{{"path_prefix", "/__page/"}, {"status", 204}},
             })
            routes.append(route);
        ASSERT_TRUE(server.setRoutes(routes));
    }

    // An empty url starts the program without an argument; extra is added to
    // the environment.
    std::unique_ptr<QProcess> start(const QString& url, const QString& answers, const QString& tag,
                                    const QMap<QString, QString>& extra = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        // The suite's runtime folder is shared by tests that run at once; each
        // client gets its own, as each user's session does.
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("LC_ALL", "en_US.UTF-8");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        env.insert("TESSAL_E2E_ANSWERS", answers);
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        process->setProcessEnvironment(env);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(home.path() + "/" + tag + ".err");
        process->start(TESSALVPN_E2E, url.isEmpty() ? QStringList() : QStringList{url});
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    void launch(const QString& answers = QStringLiteral("OK")) { client = start(launchUrl(), answers, "client"); }

    // Exit code, -1 while running, -2 after a crash.
    static int finish(QProcess& process, int ms = 30000)
    {
        if (!process.waitForFinished(ms))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    void command(const char* text)
    {
        client->write(text);
        client->waitForBytesWritten(2000);
    }

    // In the order the page sent them, not the order their reports arrived.
    QList<PageSignal> pageSignals(const QString& name = QString()) const
    {
        QList<QPair<double, PageSignal>> out;
        for (const QJsonObject& r : server.requests()) {
            if (r["path"].toString() != QLatin1String("/__page/signal"))
                continue;
            QMap<QString, QByteArray> items;
            for (const QString& item : r["query"].toString().split('&')) {
                const qsizetype eq = item.indexOf('=');
                items[item.left(eq)] = QByteArray::fromPercentEncoding(item.mid(eq + 1).toLatin1());
            }
            const QString signal = QString::fromUtf8(items["name"]);
            if (name.isEmpty() || signal == name)
                out << qMakePair(items["seq"].toDouble(),
                                 PageSignal{signal, QJsonDocument::fromJson(items["args"]).array()});
        }
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<PageSignal> sorted;
        for (const auto& s : out)
            sorted << s.second;
        return sorted;
    }

    // Signal names in order, repeats folded.
    std::string signalNames() const
    {
        QStringList names;
        for (const PageSignal& s : pageSignals())
            if (names.isEmpty() || names.back() != s.name)
                names << s.name;
        return names.join(' ').toStdString();
    }

    // Paths of the road's requests from the one numbered `from` on, the page's own reports left out.
    QStringList roadPaths(qsizetype from = 0) const
    {
        QStringList paths;
        for (const QJsonObject& r : server.requests().mid(from))
            if (!r["path"].toString().startsWith("/__page/") && r["path"] != "/favicon.ico")
                paths << r["path"].toString();
        return paths;
    }

    QList<QJsonObject> requestsTo(const QString& path) const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& r : server.requests())
            if (r["path"].toString() == path)
                out << r;
        return out;
    }

    static bool waitFor(const std::function<bool()>& condition, int ms = 60000)
    {
        QDeadlineTimer deadline(ms);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    bool waitForSignal(const QString& name, int count = 1, int ms = 60000) const
    {
        return waitFor([&] { return pageSignals(name).size() >= count; }, ms);
    }

    QString text(const QString& file) const
    {
        QFile f(home.path() + "/" + file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QString log() const { return text(".TessalNetworks/vpn.log"); }
    QString dialogs(const QString& tag = QStringLiteral("client")) const
    {
        QStringList lines;
        for (const QString& line : text(tag + ".err").split('\n'))
            if (line.startsWith("DIALOG "))
                lines << line;
        return lines.join('\n');
    }

    // The hash the client must send beside the session id.
    static QString machineHash(const QString& sid)
    {
        QByteArray identity;
        for (const char* path : {"/proc/sys/kernel/random/boot_id", "/sys/class/dmi/id/product_serial",
                                 "/sys/class/dmi/id/product_uuid", "/var/lib/dbus/machine-id"}) {
            QFile f(QString::fromLatin1(path));
            if (f.open(QIODevice::ReadOnly))
                identity += f.readAll();
        }
        identity = identity.left(identity.indexOf('\0') < 0 ? identity.size() : identity.indexOf('\0'));
        identity += sid.right(8).toUtf8();
        return QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha512).toHex());
    }

    QTemporaryDir home;
    AccessServer server;
    std::unique_ptr<QProcess> client;
};

QJsonObject action(const QString& once, const QString& after, int count, const QString& call,
                   const QJsonArray& args = {})
{
    QJsonObject a{{"once", once}, {"after", after}, {"count", count}};
    if (call == QLatin1String("close"))
        a["close"] = true;
    else
        a["call"] = call, a["args"] = args;
    return a;
}

TEST_F(EndToEnd, LaunchUrlToTunnelToDisconnectAndExit)
{
    SvpnStandIn svpn(kConnectedScript);
    serve({action("bye", "onTunnelData", 3, "disconnectResource", {kResource})});
    launch("btnAlwaysAllow,OK"); // the trust question, then the disconnect question
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();

    // The access session: start report, profile, then the page and the parameters.
    EXPECT_EQ(roadPaths().join(' ').toStdString(),
              "/my.report.na /pre/config.php /vdesk/resource_template /vdesk/vpn/connect.php3");
    const QList<QJsonObject> connect = requestsTo("/vdesk/vpn/connect.php3");
    ASSERT_EQ(connect.size(), 1);
    EXPECT_EQ(connect[0]["query"].toString(), "resourcename=e2e_na&outform=xml&client_version=1.1");
    const QString cookie = connect[0]["headers"].toObject()["Cookie"].toString();
    EXPECT_TRUE(cookie.contains("MRHSession=" + kSid)) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("MachineHash=" + machineHash(kSid))) << cookie.toStdString();
    const QString pageCookie =
        requestsTo("/vdesk/resource_template").value(0)["headers"].toObject()["Cookie"].toString();
    EXPECT_TRUE(pageCookie.contains("MRHSession=" + kSid)) << pageCookie.toStdString();

    // The page: added, connecting, connected, traffic; the last tunnel's
    // normal close ends the window without a disconnected event.
    // The bridge's own "disconnect" echoes the page's request (its report may
    // or may not leave before the page goes); it is not a tunnel event.
    EXPECT_EQ(QString::fromStdString(signalNames()).remove(QStringLiteral(" disconnect")).toStdString(),
              "onTunnelAdd onTunnelConnecting onTunnelConnected onTunnelData");
    EXPECT_EQ(pageSignals("onTunnelAdd").value(0).args, (QJsonArray{kResource, "VPN"}));
    EXPECT_EQ(pageSignals("onTunnelConnected").value(0).args, (QJsonArray{kResource, ""}));
    // The page disconnects after its third update, whose report may still be
    // on its way when the window closes.
    const QList<PageSignal> data = pageSignals("onTunnelData");
    ASSERT_GE(data.size(), 2);
    EXPECT_EQ(data.back().args, (QJsonArray{kResource, 33, 44, 11, 22}));

    // The daemon got the parameters and was stopped.
    const std::vector<std::string> input = svpn.lines("stdin ");
    ASSERT_EQ(input.size(), 1u);
    EXPECT_NE(input[0].find("=" + QByteArray("SESSION_ID=" + kSid.toUtf8()).toHex().toUpper().toStdString() + "&"),
              std::string::npos)
        << input[0];
    EXPECT_FALSE(svpn.lines("term").empty());

    EXPECT_TRUE(dialogs().startsWith("DIALOG title=[Tessal VPN - Security Warning] text=[The site " + site() +
                                     " is attempting to start a Virtual Private Network (VPN) connection"))
        << dialogs().toStdString();
    EXPECT_TRUE(dialogs().contains("text=[Do you really want to close tunnel e2e_na? This is the last resource. "
                                   "Application will be closed] pressed=[OK]"))
        << dialogs().toStdString();
    EXPECT_TRUE(log().contains("No live sessions, quitting application...."));
}

// Under tr_TR.UTF-8 (tolower leaves "I" as it is) the session id shows only in
// short form; a profile VERSION, an NA value and a page's resource id holding a
// line feed or a Unicode line break and a record of their own stay inside their record.
TEST_F(EndToEnd, ServerTextsCannotForgeRecordsOrShowTheSessionIdInAnyLocale)
{
    const QMap<QString, QString> turkish{{"LC_ALL", "tr_TR.UTF-8"}, {"LOCPATH", home.path()}};
    const bool made = QProcess::execute("localedef", {"-i", "tr_TR", "-f", "UTF-8", home.path() + "/tr_TR.UTF-8"}) == 0;
    const QString forged =
        QStringLiteral("\n2026-12-10,12:00:00:000, 4242,4242,, 1, /Session, 1, forged(), \u2028\u2029\u0085, ");
    const QJsonObject xml{{"Content-Type", "text/xml"}};
    SvpnStandIn svpn(kConnectedScript);
    serve({action("forge", "onTunnelData", 1, "disconnectResource", {"gone" + forged + "id"}),
           action("bye", "onTunnelData", 3, "disconnectResource", {kResource})},
          {QJsonObject{{"path", "/pre/config.php"},
                       {"headers", xml},
                       {"body", "<PROFILE><AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessAppX64.deb</ID><VERSION>"
                                "7270.0.0.1" +
                                    forged + "version</VERSION></ITEM></PACKAGE></AUTOUPDATE_LINUX></PROFILE>"}},
           QJsonObject{{"path", "/vdesk/vpn/connect.php3"},
                       {"headers", xml},
                       {"body", "<favorite><object><SESSION_ID>" + kSid + "</SESSION_ID><note>v" + forged +
                                    "value</note></object></favorite>"}}});
    client = start(launchUrl(), "btnAlwaysAllow,OK,OK", "client", made ? turkish : QMap<QString, QString>());
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();

    const QString text = log(), escaped = QString(forged)
                                              .replace("\n", "\\n")
                                              .replace(QChar(0x2028), "\\xe2\\x80\\xa8")
                                              .replace(QChar(0x2029), "\\xe2\\x80\\xa9")
                                              .replace(QChar(0x85), "\\xc2\\x85");
    EXPECT_FALSE(text.contains("\n2026-12-10,12:00:00:000, 4242") || text.contains(kSid)) << text.toStdString();
    for (const QString& record : {"Failed to parse server version '7270.0.0.1" + escaped + "version'",
                                  "note=v" + escaped + "value", "User pressed disconnect 'gone" + escaped + "id'"})
        EXPECT_TRUE(text.contains(record)) << record.toStdString();
    if (!made)
        GTEST_SKIP() << "localedef could not make tr_TR.UTF-8 (package locales): ran in the default locale";
}

// Processes of the svpn stand-in that are alive (a zombie counts as gone).
int liveStandIns()
{
    int live = 0;
    for (int pid : pids())
        live += running(pid) && commandLine(pid).rfind(SvpnStandIn::executable() + ' ', 0) == 0;
    return live;
}

// A tunnel program that fails at once (svpn, or a tunnelserver that leaves
// right after its endpoint line), and a daemon that comes up only after the
// first poll: the page hears of the tunnel, then of its error, whether or not
// it listened yet, and no daemon outlives the client.
TEST_F(EndToEnd, TunnelProgramThatFailsAtOnceGivesThePageATunnelError)
{
    const QString tools = home.path() + "/tools";
    ASSERT_TRUE(QDir().mkpath(tools));
    std::ofstream((tools + "/tunnelserver.script").toStdString()) << "exit_after_endpoint\n";
    const QMap<QString, QString> app{{"TESSAL_TUNNELSERVER_SCRIPT", tools + "/tunnelserver.script"}};
    const struct {
        const char* resource; // name and type
        const char* id;
        const char* type;
        const char* svpnScript;
        bool daemon; // whether a daemon came up, to be stopped
    } rows[] = {{"resourcename=e2e_na&resourcetype=network_access", "e2e_na", "VPN", "exit 3\n", false},
                {"resourcename=e2e_na&resourcetype=network_access", "e2e_na", "VPN", "listen-delay 3500\n", true},
                {"resourcename=e2e_app&resourcetype=app_tunnel", "e2e_app", "URTUNNEL", "exit 3\n", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.resource) + " " + row.svpnScript);
        server.clearLog();
        SvpnStandIn svpn(row.svpnScript);
        trustSite();
        serve({});
        client = start(QString(launchUrl()).replace("resourcename=e2e_na&resourcetype=network_access", row.resource),
                       "OK", "client", app);
        ASSERT_TRUE(waitForSignal("onTunnelError")) << signalNames() << log().toStdString();
        const QString names = QString::fromStdString(signalNames());
        EXPECT_TRUE(names.startsWith("onTunnelAdd ") && names.endsWith(" onTunnelError")) << names.toStdString();
        EXPECT_EQ(pageSignals("onTunnelAdd").value(0).args, (QJsonArray{row.id, row.type}));
        const QList<PageSignal> errors = pageSignals("onTunnelError");
        EXPECT_EQ(errors[0].args.at(0).toString(), row.id);
        const QString reason = errors[0].args.at(1).toString();
        EXPECT_TRUE(QRegularExpression("^(Tunnel has been interrupted|Failed to [^:]+): \\S").match(reason).hasMatch())
            << reason.toStdString();
        EXPECT_EQ(pageSignals("onTunnelConnected").size(), 0);

        // Nothing is open any more: the window's close ends it without a question.
        command("close\n");
        EXPECT_EQ(finish(*client), 0) << log().toStdString();
        EXPECT_EQ(dialogs(), QString());
        EXPECT_TRUE(log().contains("No live sessions, quitting application...."));
        EXPECT_EQ(liveStandIns(), 0);
        EXPECT_EQ(svpn.lines("term").size(), row.daemon ? 1u : 0u);
    }
}

// A profile that cannot be had ends the launch with its error shown, non-zero.
TEST_F(EndToEnd, FailedProfileIsShownAndEndsNonZero)
{
    const QList<QPair<QJsonObject, QString>> rows{
        {{{"status", 500}}, "Wrong HTTP code 500"},
        {{{"body_size", 100000}, {"cut_after", 5000}}, "Network error"},
        {{{"redirect", "/pre/config.php?version=2.0"}}, "Max HTTP redirection (10) reached"}};
    trustSite();
    for (auto [profile, reason] : rows) {
        profile["path"] = "/pre/config.php";
        serve({}, {profile}, false);
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        launch();
        EXPECT_EQ(finish(*client), 1) << reason.toStdString();
        EXPECT_EQ(dialogs(), "DIALOG title=[Tessal VPN] text=[Error occurred. Please relaunch network access resource "
                             "from browser.<br>" +
                                 reason + "] pressed=[OK]");
        EXPECT_TRUE(log().contains("Profile download failed, " + reason)) << reason.toStdString();
    }
}

TEST_F(EndToEnd, ExpiredSessionClosesSilently)
{
    SvpnStandIn svpn(std::string(kConnectedScript) + "reply &settraffic,12,23,34,45\nreply &session_expired\n");
    trustSite();
    serve({});
    launch();
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();
    EXPECT_EQ(pageSignals("onTunnelConnected").size(), 1) << signalNames();
    EXPECT_EQ(pageSignals("onTunnelError").size(), 0);
    EXPECT_EQ(pageSignals("onTunnelDisconnected").size(), 0);
    EXPECT_EQ(dialogs(), QString());
    EXPECT_TRUE(log().contains("No live sessions, quitting application...."));
}

TEST_F(EndToEnd, SecondLaunchOfTheSameSessionAttachesToTheRunningWindow)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({});
    launch();
    ASSERT_TRUE(waitForSignal("onTunnelConnected")) << log().toStdString();

    // Other users read no secret off the process table: neither the
    // session's nor that of a launch waiting to hand its URL over.
    const std::string shown = std::string(TESSALVPN_E2E) + " tessal-vpn://launch";
    EXPECT_EQ(commandLineToOthers(client->processId()), shown);
    ASSERT_EQ(::kill(static_cast<pid_t>(client->processId()), SIGSTOP), 0);
    // Session ids compare without letter case.
    auto second = start(launchUrl(kSid.toUpper()), "OK", "second");
    EXPECT_TRUE(waitFor([&] { return log().contains("dispatching message to running instance"); }));
    EXPECT_EQ(commandLineToOthers(second->processId()), shown);
    ASSERT_EQ(::kill(static_cast<pid_t>(client->processId()), SIGCONT), 0);
    EXPECT_EQ(finish(*second), 0);
    EXPECT_TRUE(waitFor([&] { return log().contains("Failed to attach resource: Resource already running"); }))
        << log().toStdString();
    EXPECT_TRUE(text("second.err").isEmpty() || !text("second.err").contains("DIALOG"));
    EXPECT_TRUE(log().contains("dispatching message to running instance"));
    EXPECT_TRUE(
        log().contains("VPN session already exists: c6d7e8f9, Trying to attach resource e2e_na (network_access)..."))
        << log().toStdString();
    EXPECT_EQ(requestsTo("/my.report.na").size(), 2);
    EXPECT_EQ(pageSignals("onTunnelAdd").size(), 1);

    // The running tunnel carries on, and the page's own close ends it all.
    const int before = pageSignals("onTunnelData").size();
    EXPECT_TRUE(waitForSignal("onTunnelData", before + 2));
    serve({action("end", "onTunnelData", 1, "close")});
    EXPECT_EQ(finish(*client, 60000), 0) << log().toStdString();
    EXPECT_FALSE(svpn.lines("term").empty());
    EXPECT_EQ(dialogs(), QString());
}

// Two launches at once (a double click), with and without a session bus: one
// process serves both, one svpn daemon is started, none is left at the end.
TEST_F(EndToEnd, TwoLaunchesAtOnceShareOneInstanceAndOneSvpn)
{
    QTemporaryDir runtime;
    for (const bool bus : {true, false}) {
        SvpnStandIn svpn(kConnectedScript);
        trustSite();
        serve({action("bye", "onTunnelData", 3, "disconnectResource", {kResource})});
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        QMap<QString, QString> env{{"XDG_RUNTIME_DIR", runtime.path()}};
        if (!bus)
            env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + home.path() + "/no-such-bus";
        client = start(launchUrl(), "OK", "client", env);
        auto second = start(launchUrl(), "OK", "second", env);
        EXPECT_EQ(finish(*second, 90000), 0) << bus;
        EXPECT_EQ(finish(*client, 90000), 0) << bus << log().toStdString();
        EXPECT_EQ(log().count("----Session c6d7e8f9 starts----"), 1) << bus;
        EXPECT_EQ(svpn.lines("argv ").size(), 1u) << bus;
        EXPECT_TRUE(waitFor([] { return liveStandIns() == 0; }, 30000)) << bus;
    }
}

// A page that launches plain-HTTP inspection sessions in a burst while the
// box refusing such a launch is open: one box at most, and while it is open
// it holds a place among the 20 inspection sessions.
TEST_F(EndToEnd, HttpRefusalsInABurstShowOneBoxThatCountsAgainstTheLimit)
{
    constexpr int kBurst = 30;
    tessal::test::TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    QList<AccessServer::Listener> listeners;
    for (int i = 0; i < 21; ++i)
        listeners << AccessServer::Listener(QStringLiteral("l%1").arg(i), "https", certs.serverCert, certs.serverKey);
    server.stop();
    ASSERT_TRUE(server.start(listeners)) << server.error().toStdString();
    // Sessions wait for their profile for good.
    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/pre/config.php"}, {"silence", true}}}));
    QStringList sites;
    for (int i = 0; i < 21; ++i)
        sites << QStringLiteral("https://127.0.0.1:%1").arg(server.port(QStringLiteral("l%1").arg(i)));
    trustSite(sites);

    auto epi = [&](int listener, const QString& protocol) {
        return QStringLiteral("tessal-epi://x?server=127.0.0.1&port=%1&protocol=%2&sid=E%3")
            .arg(server.port(QStringLiteral("l%1").arg(listener)))
            .arg(protocol)
            .arg(listener, 31, 10, QLatin1Char('0'));
    };
    auto launchOverBus = [](const QString& url) {
        QDBusMessage signal = QDBusMessage::createSignal("/", "com.tessal.tessalvpn.interface", "CreateSession");
        signal << url;
        return QDBusConnection::sessionBus().send(signal);
    };
    const QString shown = "Communication over HTTP is not allowed; launch refused, its message is already shown";
    const QString limit = "Max session limit reached; not creating new sessions. Max:, 20";
    const QRegularExpression starts("----Session \\S+ starts----");
    const struct {
        int held;
        int refusedAsShown;
        int refusedByLimit;
        int sessionsWhileOpen;
    } rows[] = {{0, kBurst - 1, 0, 1}, {19, 0, kBurst, 19}};
    for (const auto& row : rows) {
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        client = start(QString(), "OK", "client",
                       {{"TESSAL_E2E_HOLD_DIALOGS", "1"}, {"TESSAL_E2E_SYSTEM_CA", certs.caCert}});
        ASSERT_TRUE(waitFor(
            [] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered("com.tessal.tessalvpn").value();
            },
            30000));
        for (int i = 0; i < row.held; ++i)
            ASSERT_TRUE(launchOverBus(epi(i, "https")));
        ASSERT_TRUE(waitFor([&] { return log().count(starts) == row.held; }, 30000)) << log().toStdString();

        // The burst, then a launch over HTTPS while the box is still open.
        for (int i = 0; i < kBurst; ++i)
            ASSERT_TRUE(launchOverBus(epi(20, "http")));
        ASSERT_TRUE(launchOverBus(epi(row.held, "https")));
        EXPECT_TRUE(waitFor(
            [&] {
                return log().count(shown) == row.refusedAsShown && log().count(limit) == row.refusedByLimit &&
                       log().count(starts) == row.sessionsWhileOpen;
            },
            30000))
            << row.held << ": " << log().count(shown) << " " << log().count(limit) << " " << log().count(starts);

        // Once the box is answered, the place it held is free again.
        command("answer\n");
        ASSERT_TRUE(waitFor([&] { return !dialogs().isEmpty(); }, 30000)) << row.held;
        ASSERT_TRUE(launchOverBus(epi(row.held + 1, "https")));
        EXPECT_TRUE(waitFor([&] { return log().count(starts) == row.sessionsWhileOpen + 1; }, 30000)) << row.held;
        EXPECT_EQ(
            dialogs().toStdString(),
            "DIALOG title=[Tessal VPN] text=[Communication over HTTP is not allowed, please use HTTPS] pressed=[OK]")
            << row.held;
        client->kill();
        client->waitForFinished(10000);
    }
}

// The page's own calls while the tunnel is up: both diagnostics tables, the
// log level before and after switching it to basic, the connection details.
TEST_F(EndToEnd, PageAsksForDiagnosticsLogLevelAndDetails)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({action("routes", "onTunnelConnected", 1, "getRoutingTable"),
           action("addresses", "onTunnelConnected", 1, "getIpTable"),
           action("level", "onTunnelConnected", 1, "getLogLevel"),
           action("basic", "onTunnelConnected", 1, "setLogLevel", {false}),
           action("details", "onTunnelConnected", 1, "requestTunnelInfo"),
           action("level2", "onConnectionDetails", 1, "getLogLevel"),
           action("bye", "onTunnelData", 6, "close")}); // well after every answer has left
    launch();
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();

    QList<QPair<QString, QJsonValue>> results;
    for (const QJsonObject& r : server.requests()) {
        if (r["path"].toString() != QLatin1String("/__page/result"))
            continue;
        const QUrlQuery query(r["query"].toString());
        const QByteArray value = query.queryItemValue("value", QUrl::FullyDecoded).toUtf8();
        results << qMakePair(query.queryItemValue("method", QUrl::FullyDecoded),
                             QJsonDocument::fromJson("[" + value + "]").array().at(0));
    }
    QStringList tables;
    QList<QJsonValue> levels;
    for (const auto& [method, value] : results) {
        if (method == QLatin1String("getLogLevel"))
            levels << value;
        else if (method.endsWith(QLatin1String("Table")))
            tables << QString::fromUtf8(QByteArray::fromBase64(value.toString().toLatin1()));
    }
    ASSERT_EQ(tables.size(), 2) << log().toStdString();
    for (const QString& html : tables)
        EXPECT_TRUE(html.contains("<tr")) << html.toStdString();
    EXPECT_EQ(levels, (QList<QJsonValue>{true, false}));
    EXPECT_EQ(pageSignals("onConnectionDetails").size(), 1);
}

// Every process below pid, by the parent ids under /proc.
std::set<int> descendants(int pid)
{
    std::multimap<int, int> children;
    for (int child : pids()) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children.emplace(fields[1].toInt(), child);
    }
    std::set<int> found;
    std::vector<int> next{pid};
    while (!next.empty()) {
        const int parent = next.back();
        next.pop_back();
        for (auto [at, end] = children.equal_range(parent); at != end; ++at)
            if (found.insert(at->second).second)
                next.push_back(at->second);
    }
    return found;
}

void writeScript(const QString& path, const std::string& text)
{
    std::ofstream(path.toStdString()) << "#!/bin/sh\n" << text << "\n";
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// With the web engine and a tunnel up (network access, or application
// tunnels), every child of the client (svpn, tunnelserver, the log viewer, a
// launched application) holds its standard descriptors and what it was
// handed only, and no process of the client outlives it, also while the log
// viewer it started stays open.
TEST_F(EndToEnd, ChildrenHoldOnlyWhatTheyAreHandedAndNothingOutlivesTheClient)
{
    trustSite();
    const QString tools = home.path() + "/tools";
    ASSERT_TRUE(QDir().mkpath(tools));
    const std::string folder = tools.toStdString();
    writeScript(tools + "/xdg-open", tessal::test::childStateCommand(folder + "/viewer.state") + "\necho $$ > '" +
                                         folder + "/viewer.pid'\nexec sleep 120");
    writeScript(tools + "/app", tessal::test::childStateCommand(folder + "/app.state"));
    const QByteArray config = QUrl::toPercentEncoding("show_warning=0&tunnel_count=1&remote_host0=srv&remote_port0=80"
                                                      "&app_path0=" +
                                                      QUrl::toPercentEncoding(tools + "/app") + "&app_param0=");
    std::ofstream((folder + "/tunnelserver.script"))
        << "reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1&local_port0=3000\\n\n"
        << "reply get_resource_config result=0&configuration=" << config.toStdString() << "\\n\n";
    const QMap<QString, QString> env{{"PATH", tools + ":" + qEnvironmentVariable("PATH")},
                                     {"TESSAL_TUNNELSERVER_SCRIPT", tools + "/tunnelserver.script"},
                                     {"TESSAL_TUNNELSERVER_RECORD", tools + "/tunnelserver.record"}};
    struct Row {
        QString resource; // name and type
        QString child; // what the session starts besides its tunnel: the log viewer, or the application
    };
    const Row rows[] = {{"resourcename=e2e_na&resourcetype=network_access", "viewer"},
                        {"resourcename=e2e_app&resourcetype=app_tunnel", "app"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.resource.toStdString());
        SvpnStandIn svpn(kConnectedScript);
        serve(row.child == "viewer" ? QJsonArray{action("log", "onTunnelConnected", 1, "showLog")} : QJsonArray{});
        client = start(QString(launchUrl()).replace("resourcename=e2e_na&resourcetype=network_access", row.resource),
                       "OK", "client", env);
        const QString state = tools + "/" + row.child + ".state";
        ASSERT_TRUE(waitFor([&] { return QFile::exists(state); })) << log().toStdString();
        const std::set<int> ours = descendants(static_cast<int>(client->processId()));
        EXPECT_FALSE(ours.empty());

        command("close\n");
        EXPECT_EQ(finish(*client), 0) << log().toStdString();
        const tessal::test::ChildState tunnel = row.child == "app"
                                                  ? tessal::test::readChildState(folder + "/tunnelserver.record")
                                                  : tessal::test::parseChildState(svpn.lines("inherited "));
        EXPECT_TRUE(tunnel.clean()) << "the tunnel's program holds " << tunnel.fds;
        const tessal::test::ChildState child = tessal::test::readChildState(state.toStdString());
        EXPECT_TRUE(child.clean()) << row.child.toStdString() << " holds " << child.fds;
        std::string left;
        EXPECT_TRUE(waitFor(
            [&] {
                left.clear();
                for (int pid : ours)
                    if (running(pid))
                        left += std::to_string(pid) + " " + commandLine(pid) + "\n";
                return left.empty();
            },
            30000))
            << left;
    }
    if (const int viewer = text("tools/viewer.pid").trimmed().toInt(); viewer > 0)
        ::kill(viewer, SIGTERM);
}

TEST_F(EndToEnd, ClosingTheWindowWithATunnelAsksTheQuitQuestion)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({action("text", "onTunnelConnected", 1, "setQuitMessage", {"Tunnels are up. Close anyway?"})});
    launch("Cancel,OK");
    ASSERT_TRUE(waitForSignal("onTunnelData", 2)) << log().toStdString();

    command("close\n");
    ASSERT_TRUE(waitFor([&] { return dialogs().contains("pressed=[Cancel]"); })) << text("client.err").toStdString();
    EXPECT_EQ(dialogs(), "DIALOG title=[Tessal VPN] text=[Tunnels are up. Close anyway?] pressed=[Cancel]");
    const int before = pageSignals("onTunnelData").size();
    EXPECT_TRUE(waitForSignal("onTunnelData", before + 2)); // kept open

    command("close\n");
    EXPECT_EQ(finish(*client), 0) << log().toStdString();
    EXPECT_TRUE(dialogs().endsWith("text=[Tunnels are up. Close anyway?] pressed=[OK]")) << dialogs().toStdString();
    EXPECT_TRUE(log().contains("User confirmed window close"));
    EXPECT_FALSE(svpn.lines("term").empty());
}

// A navigation that never replaces the page (a 204) leaves the tunnel alone;
// the server's logout page without "errorcode" then ends it all silently.
TEST_F(EndToEnd, LogoutPageEndsTheSessionSilently)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({QJsonObject{{"once", "nothing"}, {"after", "onTunnelData"}, {"go", "/__page/nothing"}},
           QJsonObject{{"once", "logout"}, {"after", "onTunnelData"}, {"count", 4}, {"go", "/my.logout.php3"}}});
    launch();
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();
    EXPECT_EQ(requestsTo("/__page/nothing").size(), 1);
    EXPECT_EQ(requestsTo("/my.logout.php3").size(), 1);
    EXPECT_EQ(pageSignals("onTunnelError").size(), 0) << signalNames();
    EXPECT_EQ(dialogs(), QString());
    EXPECT_FALSE(svpn.lines("term").empty());
    EXPECT_TRUE(log().contains("No live sessions, quitting application...."));
}

// An access server on a certificate of a CA in the system's store, which the
// HTTP client reads and the web engine does not:
// the window trusts what the client verified and reaches the resource page.
TEST_F(EndToEnd, HttpsServerOnACertificateTheSystemTrustsReachesThePage)
{
    tessal::test::TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    // The server's own copies: its certificate is renewed while the session runs.
    const QString cert = home.path() + "/server.pem", key = home.path() + "/server.key";
    ASSERT_TRUE(QFile::copy(certs.serverCert, cert) && QFile::copy(certs.serverKey, key));
    server.stop();
    ASSERT_TRUE(server.start({AccessServer::Listener("http", "https", cert, key)})) << server.error().toStdString();
    SvpnStandIn svpn(kConnectedScript);
    serve({});
    qputenv("TESSAL_E2E_SYSTEM_CA", certs.caCert.toLocal8Bit());
    client = start(QString(launchUrl()).replace("protocol=http&", "protocol=https&"), "btnAlwaysAllow,OK", "client");
    qunsetenv("TESSAL_E2E_SYSTEM_CA");
    ASSERT_TRUE(waitForSignal("onTunnelConnected")) << log().toStdString();

    const QString accepted =
        "Certificate verified by the system accepted, url https://127.0.0.1:" + QString::number(server.port()) + "/";
    EXPECT_TRUE(log().contains(accepted + "vdesk/resource_template")) << log().toStdString();
    const int before = log().count(accepted);
    QString renewedCert, renewedKey;
    ASSERT_TRUE(certs.makeServerCertificate("renewed", &renewedCert, &renewedKey)) << certs.error().toStdString();
    ASSERT_EQ(::rename(QFile::encodeName(renewedKey).constData(), QFile::encodeName(key).constData()), 0);
    ASSERT_EQ(::rename(QFile::encodeName(renewedCert).constData(), QFile::encodeName(cert).constData()), 0);
    // The page's next requests meet the renewed certificate, and the page goes on to the end.
    EXPECT_TRUE(waitFor([&] { return log().count(accepted) > before; })) << log().toStdString();
    serve({action("bye", "onTunnelData", 1, "disconnectResource", {kResource})});
    EXPECT_EQ(finish(*client, 90000), 0) << log().toStdString();

    EXPECT_EQ(pageSignals("onTunnelConnected").size(), 1) << signalNames() << log().toStdString();
    EXPECT_TRUE(pageSignals("onTunnelError").isEmpty()) << signalNames();
    EXPECT_FALSE(dialogs().contains("Certificate Warning")) << dialogs().toStdString();
    EXPECT_FALSE(log().contains("Certificate refused")) << log().toStdString();
}

// A logout or kill ends the client the way the user's confirmed close does:
// the svpn daemon is stopped, nothing of the tunnel outlives the client.
TEST_F(EndToEnd, TerminationSignalStopsTheTunnelBeforeTheClientEnds)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({});
    launch();
    ASSERT_TRUE(waitForSignal("onTunnelConnected")) << log().toStdString();
    const int daemon = svpn.daemonPid();
    ASSERT_GT(daemon, 0);

    ASSERT_EQ(::kill(static_cast<pid_t>(client->processId()), SIGTERM), 0);
    EXPECT_EQ(finish(*client, 60000), 0) << log().toStdString();
    EXPECT_FALSE(svpn.lines("term").empty());
    EXPECT_TRUE(waitFor([daemon] { return !running(daemon); }, 30000));
    const QString text = log();
    EXPECT_TRUE(text.contains("SIGTERM received, closing all resources before quitting")) << text.toStdString();
    EXPECT_TRUE(text.contains("No live sessions, quitting application...."));
    EXPECT_EQ(dialogs(), QString());
}

// The page's renderer killed (the OOM killer, a crash) with the tunnel up:
// the page comes back and finds the bridge and the tunnel, told again; killed
// again within the minute, the window shows its error page, and the page
// comes back once the minute has passed. The tunnel stays up.
TEST_F(EndToEnd, KilledRendererBringsThePageBackOnceAMinute)
{
    SvpnStandIn svpn(kConnectedScript);
    trustSite();
    serve({});
    launch();
    ASSERT_TRUE(waitForSignal("onTunnelData")) << log().toStdString();
    // Nor does any process the client started show the session id to others.
    for (int pid : descendants(static_cast<int>(client->processId())))
        EXPECT_EQ(commandLineToOthers(pid).find(kSid.toStdString()), std::string::npos) << commandLine(pid);
    const auto killRenderer = [&] {
        for (int pid : descendants(static_cast<int>(client->processId())))
            if (commandLine(pid).find("--type=renderer") != std::string::npos)
                return ::kill(pid, SIGKILL) == 0;
        return false;
    };
    ASSERT_TRUE(killRenderer());
    ASSERT_TRUE(waitFor([&] { return requestsTo("/__page/ready").size() == 2; })) << log().toStdString();
    const int before = pageSignals("onTunnelData").size();
    EXPECT_TRUE(waitForSignal("onTunnelData", before + 2));
    EXPECT_TRUE(waitForSignal("onTunnelConnected", 2)) << signalNames();
    EXPECT_EQ(pageSignals("onTunnelAdd").size(), 2) << signalNames();
    EXPECT_TRUE(log().contains("Page renderer ended, status 3, exit code 9")) << log().toStdString();

    ASSERT_TRUE(killRenderer());
    EXPECT_TRUE(waitFor([&] { return log().contains("Failure occurred:, The resource page stopped working"); }))
        << log().toStdString();
    EXPECT_EQ(requestsTo("/__page/ready").size(), 2);
    EXPECT_TRUE(waitFor([&] { return requestsTo("/__page/ready").size() == 3; }, 90000)) << log().toStdString();
    EXPECT_TRUE(waitForSignal("onTunnelConnected", 3)) << signalNames();
    EXPECT_EQ(pageSignals("onTunnelAdd").size(), 3) << signalNames();
    EXPECT_TRUE(svpn.lines("term").empty());
    command("close\n");
    EXPECT_EQ(finish(*client), 0) << log().toStdString();
    EXPECT_FALSE(svpn.lines("term").empty());
}

// A termination signal (or the tray icon's "Quit") at every stage of the
// road, alone or with a second one: the client ends in order (tunnel closed
// first), grants nothing the user did not grant, starts nothing after it, and leaves nothing running.
// Only a close that does not finish within a few seconds, or a repeated
// SIGINT, ends it at once, and then by the signal, the daemon stopped first.

enum class Stage {
    TrustQuestion, // the trust question is open
    SlowStartReport, // "/my.report.na" does not answer
    OneTimeCode, // the one-time-code exchange does not answer
    ProfileTrickled, // the profile comes a byte a second, without end
    SvpnStart, // svpn's first process takes 3 s to leave
    SvpnStartStalled, // ... and does not leave within the close's bound
    TunnelUp,
    QuitQuestion, // the window's close asks, the tunnel is up
    Cleanup, // "--cleanup" asks to close a running browser
};

// In place of a signal: "Quit" chosen in the tray icon's menu.
constexpr int kTrayQuit = 0;

struct SignalRow {
    const char* name;
    Stage stage;
    std::vector<int> sent; // gapMs apart; "+" rows back to back
    bool backToBack;
    int exitCode; // below 0: ended by that signal (negated) itself
    bool startedMasked = false; // the starter blocks the signals, as some desktops do
    int gapMs = 200;
};

const SignalRow kSignalRows[] = {
    {"TrustQuestion_TERM", Stage::TrustQuestion, {SIGTERM}, false, 0},
    {"TrustQuestion_HUP", Stage::TrustQuestion, {SIGHUP}, false, 0},
    {"TrustQuestion_TERM_HUP", Stage::TrustQuestion, {SIGTERM, SIGHUP}, true, 0},
    {"SlowStartReport_TERM", Stage::SlowStartReport, {SIGTERM}, false, 0},
    {"SlowStartReport_INT", Stage::SlowStartReport, {SIGINT}, false, 0},
    {"OneTimeCode_TERM", Stage::OneTimeCode, {SIGTERM}, false, 0},
    {"OneTimeCode_TERM_HUP", Stage::OneTimeCode, {SIGTERM, SIGHUP}, true, 0},
    {"TrustQuestion_TrayQuit", Stage::TrustQuestion, {kTrayQuit}, false, 0},
    {"OneTimeCode_TrayQuit", Stage::OneTimeCode, {kTrayQuit}, false, 0},
    {"ProfileTrickled_TrayQuit", Stage::ProfileTrickled, {kTrayQuit}, false, 0},
    {"TunnelUp_TrayQuit", Stage::TunnelUp, {kTrayQuit}, false, 0},
    {"SvpnStart_TERM_HUP", Stage::SvpnStart, {SIGTERM, SIGHUP}, true, 0},
    {"SvpnStart_TERM_TERM", Stage::SvpnStart, {SIGTERM, SIGTERM}, false, 0},
    // A logout's SIGKILL a second after its SIGTERM: the daemon was told at once.
    {"SvpnStart_TERM_KILL", Stage::SvpnStart, {SIGTERM, SIGKILL}, false, -SIGKILL, false, 1000},
    {"SvpnStartStalled_TERM", Stage::SvpnStartStalled, {SIGTERM}, false, -SIGTERM},
    {"SvpnStartStalled_INT_INT", Stage::SvpnStartStalled, {SIGINT, SIGINT}, false, -SIGINT},
    {"TunnelUp_HUP", Stage::TunnelUp, {SIGHUP}, false, 0},
    {"TunnelUp_TERM_HUP", Stage::TunnelUp, {SIGTERM, SIGHUP}, true, 0},
    {"TunnelUp_TERM_TERM", Stage::TunnelUp, {SIGTERM, SIGTERM}, false, 0},
    {"TunnelUp_QUIT", Stage::TunnelUp, {SIGQUIT}, false, 0},
    {"TunnelUp_USR1", Stage::TunnelUp, {SIGUSR1}, false, 0},
    {"TunnelUp_TERM_StartedMasked", Stage::TunnelUp, {SIGTERM}, false, 0, true},
    {"QuitQuestion_TERM", Stage::QuitQuestion, {SIGTERM}, false, 0},
    {"QuitQuestion_TERM_HUP", Stage::QuitQuestion, {SIGTERM, SIGHUP}, true, 0},
    {"Cleanup_TERM", Stage::Cleanup, {SIGTERM}, false, 1},
    {"Cleanup_HUP", Stage::Cleanup, {SIGHUP}, false, 1},
    {"Cleanup_INT", Stage::Cleanup, {SIGINT}, false, 1},
};

void PrintTo(const SignalRow& row, std::ostream* out)
{
    *out << row.name;
}

class SignalEnd : public EndToEnd, public ::testing::WithParamInterface<SignalRow>
{
protected:
    void TearDown() override
    {
        EndToEnd::TearDown();
        if (browser) {
            browser->kill();
            browser->waitForFinished(5000);
        }
    }

    // Processes started with this test's HOME: the client's children and
    // whatever they started (svpn's daemon, tunnelserver, the web engine's).
    QStringList leftOver() const
    {
        const QByteArray mark = "HOME=" + home.path().toUtf8();
        QStringList found;
        for (int pid : pids()) {
            QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
            if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(mark))
                found << QString::number(pid) + " " + QString::fromStdString(commandLine(pid));
        }
        return found;
    }

    // Reaches the row's stage; false when it was not reached.
    bool reach(Stage stage, SvpnStandIn* svpn)
    {
        switch (stage) {
        case Stage::TrustQuestion:
            launch("leave");
            return waitFor([&] { return dialogs().contains("title=[Tessal VPN - Security Warning]"); });
        case Stage::SlowStartReport: launch(); return waitFor([&] { return !requestsTo("/my.report.na").isEmpty(); });
        case Stage::OneTimeCode:
            client = start(launchUrl() + "&otc=E2E0TC0000000042", "OK", "client");
            return waitFor([&] { return !requestsTo("/vdesk/get_sessid_for_token.php3").isEmpty(); });
        case Stage::ProfileTrickled: launch(); return waitFor([&] { return !requestsTo("/pre/config.php").isEmpty(); });
        case Stage::SvpnStart:
        case Stage::SvpnStartStalled: launch(); return waitFor([&] { return !svpn->lines("linger").empty(); });
        case Stage::TunnelUp: launch(); return waitForSignal("onTunnelConnected");
        case Stage::QuitQuestion:
            launch("leave");
            if (!waitForSignal("onTunnelData", 2))
                return false;
            command("close\n");
            return waitFor([&] { return dialogs().contains("text=[Tunnels are up. Close anyway?]"); });
        case Stage::Cleanup: {
            // A browser as the cleanup sees one: a process whose first
            // argument's file name is "chrome".
            const QString chrome = home.path() + "/bin/chrome";
            QDir().mkpath(home.path() + "/bin");
            if (!QFile::link("/bin/sleep", chrome))
                return false;
            browser = std::make_unique<QProcess>();
            browser->start(chrome, {"600"});
            if (!browser->waitForStarted(5000))
                return false;
            client = start("--cleanup", "leave", "client");
            return waitFor([&] { return dialogs().contains("Please close all running instances"); });
        }
        }
        return false;
    }

    std::unique_ptr<QProcess> browser;
};

TEST_P(SignalEnd, EndsInOrder)
{
    const SignalRow& row = GetParam();
    const bool tunnel = row.stage >= Stage::SvpnStart && row.stage <= Stage::QuitQuestion;
    std::optional<SvpnStandIn> svpn;
    if (tunnel)
        svpn.emplace(std::string(kConnectedScript) + (row.stage == Stage::SvpnStart          ? "linger 3000\n"
                                                      : row.stage == Stage::SvpnStartStalled ? "linger 20000\n"
                                                                                             : ""));
    if (row.stage != Stage::TrustQuestion)
        trustSite();
    const QString trustedBefore = text(".TessalNetworks/trusted_sites.xml");
    QJsonArray first;
    if (row.stage == Stage::SlowStartReport)
        first.append(QJsonObject{{"path", "/my.report.na"}, {"silence", true}});
    if (row.stage == Stage::OneTimeCode)
        first.append(QJsonObject{{"path", "/vdesk/get_sessid_for_token.php3"}, {"silence", true}});
    if (row.stage == Stage::ProfileTrickled)
        first.append(
            QJsonObject{{"path", "/pre/config.php"}, {"trickle", QJsonObject{{"bytes", 1}}}, {"body_size", 1 << 20}});
    const QJsonArray actions{
        action("text", "onTunnelConnected", 1, "setQuitMessage", {"Tunnels are up. Close anyway?"})};
    // Before the window, a launch that went on would stop at the profile.
    serve(actions, first, tunnel);

    sigset_t masked, unmasked;
    sigemptyset(&masked);
    for (int signal : row.sent)
        sigaddset(&masked, signal);
    if (row.startedMasked)
        ::pthread_sigmask(SIG_BLOCK, &masked, &unmasked);
    const bool reached = reach(row.stage, svpn ? &*svpn : nullptr);
    if (row.startedMasked)
        ::pthread_sigmask(SIG_SETMASK, &unmasked, nullptr);
    ASSERT_TRUE(reached) << text("client.err").toStdString() << log().toStdString();
    const pid_t pid = static_cast<pid_t>(client->processId());
    const auto requestsBefore = server.requests().size();
    QElapsedTimer clock;
    clock.start();
    for (size_t i = 0; i < row.sent.size(); ++i) {
        if (i > 0 && !row.backToBack)
            QThread::msleep(static_cast<unsigned long>(row.gapMs));
        // A later signal may find the client already gone.
        if (row.sent[i] == kTrayQuit)
            command("tray-quit\n");
        else
            ASSERT_TRUE(::kill(pid, row.sent[i]) == 0 || (i > 0 && errno == ESRCH)) << std::strerror(errno);
    }

    // Generous: only a hang fails here; the time is in the test's record.
    const bool ended = client->waitForFinished(30000);
    RecordProperty("exit_ms", static_cast<int>(clock.elapsed()));
    std::printf("%s: ended after %lld ms\n", row.name, static_cast<long long>(clock.elapsed()));
    ASSERT_TRUE(ended) << log().toStdString();
    if (row.exitCode >= 0) {
        EXPECT_EQ(client->exitStatus(), QProcess::NormalExit) << log().toStdString();
        EXPECT_EQ(client->exitCode(), row.exitCode) << log().toStdString();
    } else {
        EXPECT_EQ(client->exitStatus(), QProcess::CrashExit) << log().toStdString();
        EXPECT_EQ(client->exitCode(), -row.exitCode) << log().toStdString();
    }

    EXPECT_EQ(text(".TessalNetworks/trusted_sites.xml").toStdString(), trustedBefore.toStdString());
    EXPECT_TRUE(waitFor([&] { return leftOver().isEmpty(); }, 15000)) << leftOver().join(", ").toStdString();
    if (tunnel && (row.exitCode >= 0 || row.exitCode == -SIGKILL)) {
        // Signals sent back to back may be taken in either order.
        bool recorded = false;
        for (int signal : row.sent)
            recorded =
                recorded ||
                log().contains((signal == kTrayQuit ? QStringLiteral("Quit requested")
                                                    : "SIG" + QString::fromLatin1(sigabbrev_np(signal)) + " received") +
                               ", closing all resources before quitting");
        EXPECT_TRUE(recorded) << log().toStdString();
    }
    if (svpn && !svpn->lines("linger").empty()) {
        EXPECT_FALSE(svpn->lines("term").empty());
    }
    // Nothing new started after the signal: no further step of the road.
    EXPECT_EQ(roadPaths(requestsBefore).join(' ').toStdString(), "");
    EXPECT_FALSE(log().contains("Failed to exchange one time code")) << log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Stages, SignalEnd, ::testing::ValuesIn(kSignalRows),
                         [](const ::testing::TestParamInfo<SignalRow>& info) { return std::string(info.param.name); });

} // namespace
