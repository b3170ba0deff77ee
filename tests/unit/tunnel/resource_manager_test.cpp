// The resource manager over fake controllers: refusals, parameter text,
// closing, sweeps, log level and events delivered inside a controller's open.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordingLog.h"
#include "foundation/UException.h"
#include "tunnel/ResourceManager.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

using tessal::qt::ResourceManager;
using tessal::test::RecordingLog;
using Strings = std::vector<std::string>;

struct FakeController : TunnelInterface {
    tessal::qt::WebInterface* listener = nullptr;
    QString id;
    std::string params;
    std::function<int()> onOpen = [] { return 0; };
    bool opened = false;
    int closeResult = 0;
    std::function<void()> closeThrows;
    int status = 0;
    bool queriesThrow = false;
    std::vector<tessal::TunnelEndpoint> details{tessal::TunnelEndpoint{}};
    int logLevel = 0;

    int open(const std::string& text) override
    {
        params = text;
        const int result = onOpen();
        opened = result == 0; // touches this object after the nested loops
        return result;
    }
    int close() override
    {
        if (closeThrows)
            closeThrows();
        if (closeResult == 0)
            listener->onTunnelClosed(id, 0); // as a controller does: through the proxy
        return closeResult;
    }
    bool isOpened() override { return opened; }
    int checkStatus() override { return status; }
    tessal::TunnelStats getTraffic() override
    {
        if (queriesThrow)
            throw std::runtime_error("gone");
        return tessal::TunnelStats{1, 2, 3, 4};
    }
    UPropertyList getProperties() override { return UPropertyList(); }
    std::vector<tessal::TunnelEndpoint> getResourceDetails() override
    {
        if (queriesThrow)
            throw std::runtime_error("gone");
        return details;
    }
    tessal::AppLaunchConfig getLaunchConfig() override { return {}; }
    void setLogLevel(int level) override
    {
        if (level == 99)
            throw std::runtime_error("not yet");
        logLevel = level;
    }
};

// A manager whose controllers are fakes; the manager owns them, the bed only watches.
struct Bed {
    ResourceManager rm;
    std::map<QString, std::weak_ptr<FakeController>> made;
    std::function<void(FakeController&)> configure = [](FakeController&) {};
    Strings events;

    Bed()
    {
        rm.setSession(QUrl("https://h/"), "0123456789abcdefSESSION1");
        rm.setControllerFactory([this](const ResourceManager::ControllerRequest& request) {
            auto c = std::make_shared<FakeController>();
            c->listener = request.listener;
            c->id = request.id;
            configure(*c);
            made[request.id] = c;
            return c;
        });
        auto add = [this](const char* what, const QString& id, int type, int error) {
            events.push_back(std::string(what) + " " + id.toStdString() + " " + std::to_string(type) +
                             (error == -1000 ? "" : " " + std::to_string(error)));
        };
        QObject::connect(&rm, &ResourceManager::tunnelConnected,
                         [=](QString i, int t) { add("connected", i, t, -1000); });
        QObject::connect(&rm, &ResourceManager::tunnelClosed, [=](QString i, int t, int e) { add("closed", i, t, e); });
        QObject::connect(&rm, &ResourceManager::tunnelError, [=](QString i, int t, int e) { add("error", i, t, e); });
    }
    std::shared_ptr<FakeController> fake(const QString& id) { return made[id].lock(); }
};

// A record of that level from this source carrying the message.
bool hasRecord(const RecordingLog& log, int level, const std::string& message)
{
    for (const std::string& line : log.lines())
        if (line.rfind(std::to_string(level) + ", ResourceManager, ", 0) == 0 &&
            line.find(message) != std::string::npos)
            return true;
    return false;
}

void pump()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

void spinNested(const std::function<void()>& during)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        during();
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    });
    loop.exec();
}

TEST(ResourceManager, RefusalMatrixWithStickyMainType)
{
    struct Step {
        int type;
        const char* id;
        int expected;
        bool closeAfter;
    };
    const std::vector<std::vector<Step>> rows = {
        {{2, "a", 0, true}, {2, "a", 101, false}, {2, "b", 101, false}, {1, "c", 102, false}, {0, "d", 102, false}},
        {{1, "a", 0, false}, {1, "a", 103, false}, {1, "b", 0, false}, {2, "c", 102, false}, {3, "d", 102, false}},
        {{0, "a", 104, false}, {1, "b", 102, false}, {2, "c", 102, false}},
        {{3, "a", 104, false}, {3, "a", 104, false}, {2, "b", 102, false}},
        {{2, "fails", 5, false}, {1, "b", 102, false}, {2, "b", 101, false}},
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        Bed bed;
        bed.configure = [](FakeController& c) { c.onOpen = [&c] { return c.id == "fails" ? 5 : 0; }; };
        for (const Step& s : rows[r]) {
            EXPECT_EQ(bed.rm.attachResource(s.id, ResourceType::Enum(s.type), ""), s.expected) << r << " " << s.id;
            if (s.closeAfter) {
                bed.rm.close(s.id, 0);
                pump();
            }
        }
        for (const auto& [id, weak] : bed.made)
            EXPECT_TRUE(id == "a" || id == "b" || id == "fails") << r;
        EXPECT_EQ(tessal::qt::TunnelTestSeam::resource(bed.rm, "fails"), std::nullopt);
    }
}

TEST(ResourceManager, ParameterTextByteForByte)
{
    struct Row {
        const char* url;
        const char* params;
        Strings v4;
        Strings v6;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"https://h/", "a=1&tunnel_host0=x&b=2", {}, {}, "a=1&b=2&tunnel_host0=h"},
        {"https://h/", "a=1&TUNNEL_PORT0=9", {}, {}, "a=1&tunnel_port0=443"},
        {"https://h/", "", {"10.0.0.0/8"}, {"fe80::/10"}, ""},
        {"https://h/", " a = 1 ", {}, {}, " a = 1 "},
        {"http://h:8080/", "a=1&&B=2&A=3&tunnel_port0=1", {}, {}, "a=3&B=2&tunnel_port0=8080"},
        {"http://h/", "tunnel_port0=1&", {}, {}, "tunnel_port0=80"},
        {"ftp://h/", "tunnel_port0=1&Tunnel_Host0=x", {}, {}, "tunnel_port0=1&tunnel_host0=h"},
        {"https://h/",
         "a=1",
         {"10.0.0.0/8", "192.168.0.0/16"},
         {},
         "a=1&localNetVulnerableIPv4_0=10.0.0.0/8&"
         "localNetVulnerableIPv4_1=192.168.0.0/16&localNetVulnerableIPv4count=2"},
        {"https://h/",
         "localNetVulnerableIPv6_0=old&a=1",
         {},
         {"fe80::/10"},
         "localNetVulnerableIPv6_0=fe80::/10&a=1&localNetVulnerableIPv6count=1"},
    };
    for (const Row& row : rows) {
        Bed bed;
        bed.rm.setSession(QUrl(row.url), "s");
        for (const auto& e : row.v4)
            bed.rm.vecv4InResourceManager.emplace_back(e.c_str());
        for (const auto& e : row.v6)
            bed.rm.vecv6InResourceManager.emplace_back(e.c_str());
        ASSERT_EQ(bed.rm.attachResource("r", ResourceType::network_access, row.params), 0);
        EXPECT_EQ(bed.fake("r")->params, row.expected) << row.params;
    }
    EXPECT_STREQ(ResourceManager::portFromUrl(QUrl("HTTPS://h")), "443");
    EXPECT_STREQ(ResourceManager::portFromUrl(QUrl("gopher://h:70")), "70");
    EXPECT_STREQ(ResourceManager::portFromUrl(QUrl("gopher://h")), "");
}

TEST(ResourceManager, ParameterRecordShowsSessionValuesShort)
{
    RecordingLog log;
    Bed bed;
    ASSERT_EQ(bed.rm.attachResource("r", ResourceType::network_access,
                                    "SESSION_ID=0123456789abcdef&MRHSession=fedcba9876543210&x=0123456789abcdef"),
              0);
    EXPECT_EQ(bed.fake("r")->params.find("SESSION_ID=0123456789abcdef&"), 0u); // the controller gets it whole
    EXPECT_TRUE(log.contains("Content of szParams: , SESSION_ID=89abcdef&MRHSession=76543210&"
                             "x=0123456789abcdef"))
        << log.text();
}

TEST(ResourceManager, CloseOfUnknownIdAndFailedClose)
{
    RecordingLog log;
    Bed bed;
    EXPECT_TRUE(bed.rm.closeAll());
    EXPECT_EQ(bed.rm.close("nope", 0), -1);
    EXPECT_TRUE(hasRecord(log, 2, "Failed to close resource nope, errror -1")) << log.text();
    EXPECT_TRUE(hasRecord(log, 2, "Unexpected resource id 'nope'"));
    EXPECT_THROW(bed.rm.getResourceDetails("nope"), UException);
    EXPECT_FALSE(bed.rm.isOpened("nope"));
    EXPECT_FALSE(bed.rm.isNotOpened("nope"));

    // Whatever way the controller fails, the close is a failure and the
    // resource ends at once with the code it was closed with.
    struct Row {
        const char* name;
        std::function<void(FakeController&)> failure;
        int result;
    };
    const Row rows[] = {
        {"code", [](FakeController& c) { c.closeResult = -7; }, -7},
        {"UException -9", [](FakeController& c) { c.closeThrows = [] { throw UException(-9, "gone"); }; }, -9},
        {"UException 0", [](FakeController& c) { c.closeThrows = [] { throw UException(0, "gone"); }; }, -1},
        {"break", [](FakeController& c) { c.closeThrows = [] { throw UBreakException(); }; }, -1},
        {"std::exception", [](FakeController& c) { c.closeThrows = [] { throw std::runtime_error("gone"); }; }, -1},
    };
    for (const Row& row : rows) {
        Bed failing;
        failing.configure = row.failure;
        ASSERT_EQ(failing.rm.attachResource("r", ResourceType::app_tunnel, ""), 0);
        EXPECT_EQ(failing.rm.close("r", 115), row.result) << row.name;
        EXPECT_TRUE(failing.rm.isEmpty()) << row.name;
        pump();
        EXPECT_EQ(failing.events, (Strings{"closed r 1 115"})) << row.name;
    }
}

TEST(ResourceManager, SweepsCloseWithTheRecordedCode)
{
    Bed bed;
    for (const char* id : {"reconnecting", "healthy", "expired", "nolocal"})
        ASSERT_EQ(bed.rm.attachResource(id, ResourceType::app_tunnel, ""), 0);
    bed.fake("reconnecting")->status = 110;
    bed.fake("expired")->status = 116;
    bed.fake("nolocal")->details.clear();
    bed.rm.checkStatus();
    pump();
    EXPECT_EQ(bed.events, (Strings{"closed expired 1 116"})); // the code, not the controller's 0
    EXPECT_EQ(tessal::qt::TunnelTestSeam::resource(bed.rm, "reconnecting")->status, 107);

    std::vector<tessal::qt::ResourceStats> stats = bed.rm.getStatistics();
    ASSERT_EQ(stats.size(), 2u); // "nolocal" has no tunnels yet
    EXPECT_EQ(stats[0].stats.send_client + stats[1].stats.send_client, 8);

    bed.fake("reconnecting")->queriesThrow = true;
    bed.fake("healthy")->queriesThrow = true;
    bed.events.clear();
    EXPECT_TRUE(bed.rm.getStatistics().empty());
    pump();
    std::sort(bed.events.begin(), bed.events.end());
    EXPECT_EQ(bed.events, (Strings{"closed healthy 1 -102", "closed reconnecting 1 107"}));
}

TEST(ResourceManager, LogLevelReachesEveryControllerAndNeverThrows)
{
    RecordingLog log;
    Bed bed;
    for (const char* id : {"a", "b"})
        ASSERT_EQ(bed.rm.attachResource(id, ResourceType::app_tunnel, ""), 0);
    bed.rm.setLogLevel(63);
    EXPECT_EQ(bed.fake("a")->logLevel + bed.fake("b")->logLevel, 126);
    EXPECT_NO_THROW(bed.rm.setLogLevel(99));
    EXPECT_TRUE(hasRecord(log, 1, "Failed to set log level 99 of resource a, not yet")) << log.text();
}

TEST(ResourceManager, EventsInsideOpenLeaveTheTableConsistent)
{
    struct Row {
        const char* name;
        std::function<void(Bed&)> during;
        int result;
        Strings events;
        Strings left;
    };
    const std::vector<Row> rows = {
        {"closeAll", [](Bed& b) { b.rm.closeAll(); }, 118, {"closed r 1 0"}, {}},
        {"own closed event", [](Bed& b) { b.fake("r")->listener->onTunnelClosed("r", 0); }, 0, {"closed r 1 0"}, {}},
        {"second attach",
         [](Bed& b) {
             EXPECT_EQ(b.rm.attachResource("r", ResourceType::app_tunnel, ""), 103);
             EXPECT_EQ(b.rm.attachResource("other", ResourceType::app_tunnel, ""), 0);
         },
         118,
         {},
         {"other"}},
        {"closed, then the same id again",
         [](Bed& b) {
             b.fake("r")->listener->onTunnelClosed("r", 0);
             pump();
             EXPECT_EQ(b.rm.attachResource("r", ResourceType::app_tunnel, ""), 0);
         },
         118,
         {"closed r 1 0"},
         {"r"}},
    };
    for (const Row& row : rows) {
        Bed bed;
        int depth = 0;
        bed.configure = [&](FakeController& c) {
            if (depth++ > 0)
                return; // only the first controller spins
            c.onOpen = [&bed, &row] {
                spinNested([&] { row.during(bed); });
                pump();
                return row.result;
            };
        };
        EXPECT_EQ(bed.rm.attachResource("r", ResourceType::app_tunnel, ""), row.result) << row.name;
        pump();
        EXPECT_EQ(bed.events, row.events) << row.name;
        Strings left;
        for (const char* id : {"r", "other"})
            if (tessal::qt::TunnelTestSeam::resource(bed.rm, id))
                left.push_back(id);
        EXPECT_EQ(left, row.left) << row.name;
    }
}

} // namespace
