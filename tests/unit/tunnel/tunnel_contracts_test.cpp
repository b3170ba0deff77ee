#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/UException.h"
#include "tunnel/ResourceErrors.h"
#include "tunnel/ResourceType.h"
#include "tunnel/WebInterfaceProxy.h"

namespace {

TEST(ResourceType, FromText)
{
    EXPECT_EQ(resourceTypeFromString("optimized_tunnel"), ResourceType::optimized_tunnel);
    EXPECT_EQ(resourceTypeFromString("app_tunnel"), ResourceType::app_tunnel);
    EXPECT_EQ(resourceTypeFromString("network_access"), ResourceType::network_access);
    EXPECT_EQ(resourceTypeFromString("tunnel_once_usage"), ResourceType::tunnel_once_usage);
    EXPECT_EQ(resourceTypeFromString("invalid"), 255);
    for (const char* text : {"Network_Access", "NETWORK_ACCESS", "", "network_access "}) {
        try {
            resourceTypeFromString(QString::fromUtf8(text));
            ADD_FAILURE() << text;
        } catch (const UException& e) {
            EXPECT_EQ(e.getCode(), -1);
            EXPECT_EQ(std::string(e.what()), std::string("EXCEPTION - Unknown resource id, ") + text);
        }
    }
}

TEST(ResourceErrors, TunnelCodeTexts)
{
    EXPECT_EQ(resourceErrorText(-102), "Cannot connect to Tunnel Server");
    EXPECT_EQ(resourceErrorText(0), "Unknown error");
    EXPECT_EQ(resourceErrorText(-4), "Unknown error");
    EXPECT_EQ(resourceErrorText(-1), "Unknown error");
    EXPECT_EQ(resourceErrorText(-103), "Unknown error");
    EXPECT_EQ(resourceErrorText(9), "SVPN internal error");
    EXPECT_EQ(resourceErrorText(14), "Tunnel Server finsihed by signal");
    EXPECT_EQ(resourceErrorText(30), "Unknown error");
    EXPECT_EQ(resourceErrorText(100), "Tunnel server started");
    EXPECT_STREQ(svpnErrorText(-2), svpnErrorText(1));
}

TEST(ResourceErrors, ResourceLayerTexts)
{
    EXPECT_EQ(resourceErrorText(101), "Only one VPN resource can be run at the same time");
    EXPECT_EQ(resourceErrorText(118), "An operation has been cancelled by the user");
    EXPECT_EQ(resourceErrorText(119), "Unknown error 119");
    EXPECT_EQ(resourceErrorText(100000), "Unknown error 100000");
}

TEST(ResourceErrors, RefusalsAreExactlyTheStartRefusals)
{
    std::vector<int> refusals;
    for (int code = -200; code <= 200; ++code)
        if (isResourceRequestRefusal(code))
            refusals.push_back(code);
    EXPECT_EQ(refusals, (std::vector<int>{101, 102, 103, 104, 112}));
}

TEST(ResourceErrors, TunnelServerStatusWords)
{
    EXPECT_EQ(mapTunnelServerError(static_cast<int>(0xC5002001u)), 116);
    EXPECT_EQ(mapTunnelServerError(static_cast<int>(0xC5002002u)), 115);
    EXPECT_EQ(mapTunnelServerError(static_cast<int>(0xC0000520u)), 117);
    EXPECT_EQ(mapTunnelServerError(0), 114);
    EXPECT_EQ(mapTunnelServerError(-1), 114);
}

struct RecordingListener : tessal::qt::WebInterface {
    std::vector<std::string> events;
    std::vector<QThread*> threads;
    void add(const std::string& e)
    {
        events.push_back(e);
        threads.push_back(QThread::currentThread());
    }
    void onTunnelConnected(const QString& id) override { add("connected " + id.toStdString()); }
    void onTunnelReconnecting(const QString& id) override { add("reconnecting " + id.toStdString()); }
    void onTunnelConnecting(const QString& id) override { add("connecting " + id.toStdString()); }
    void onTunnelClosed(const QString& id, int e) override
    {
        add("closed " + id.toStdString() + " " + std::to_string(e));
    }
    void onTunnelError(const QString& id, int e) override
    {
        add("error " + id.toStdString() + " " + std::to_string(e));
    }
};

void drainEvents(RecordingListener& listener, size_t expected)
{
    for (int i = 0; i < 200 && listener.events.size() < expected; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

TEST(WebInterfaceProxy, WorkerEventsArriveInOrderOnTheGuiThread)
{
    RecordingListener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    // A plain thread, as the tunnels' workers are; its join is a hand-over
    // the thread checker sees, where a QThread's wait is not.
    std::thread worker([&proxy] {
        proxy.onTunnelConnecting("r1");
        proxy.onTunnelConnected("r1");
        proxy.onTunnelReconnecting("r1");
        proxy.onTunnelError("r1", 12);
        proxy.onTunnelClosed("r1", 0);
    });
    worker.join();
    drainEvents(listener, 5);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"connecting r1", "connected r1", "reconnecting r1",
                                                         "error r1 12", "closed r1 0"}));
    for (QThread* t : listener.threads)
        EXPECT_EQ(t, QCoreApplication::instance()->thread());
}

TEST(WebInterfaceProxy, EventFromTheGuiThreadIsDeliveredLater)
{
    RecordingListener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    proxy.onTunnelClosed("r2", 115);
    EXPECT_TRUE(listener.events.empty());
    drainEvents(listener, 1);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"closed r2 115"}));
}

TEST(WebInterfaceProxy, AListenerThatThrowsDoesNotStopLaterEvents)
{
    struct Throwing : RecordingListener {
        void onTunnelConnected(const QString&) override { throw std::runtime_error("listener failed"); }
    } listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    proxy.onTunnelConnected("r4");
    proxy.onTunnelClosed("r4", 0);
    drainEvents(listener, 1);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"closed r4 0"}));
}

TEST(WebInterfaceProxy, PendingEventsOfADeletedProxyAreDropped)
{
    RecordingListener listener;
    {
        tessal::qt::WebInterfaceProxy proxy(&listener);
        proxy.onTunnelConnected("r3");
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(listener.events.empty());
}

} // namespace
