#pragma once
// What the resource page has been told about each tunnel, and the one way it
// is told: every tunnel event for the page goes out through here, on the
// bridge, and is kept. A document of the page that comes up later (the first
// one once its script listens, one after a reload, a crashed renderer or a
// navigation back) asks for it and hears every tunnel's state again in the
// order a first load would have heard it, with nothing told twice.

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <vector>

namespace tessal {
namespace qt {

class VpnWebBridge;

class PageTunnels : public QObject
{
    Q_OBJECT

public:
    explicit PageTunnels(VpnWebBridge& bridge);
    ~PageTunnels() override;

    // The name under which the page's script finds this object on the web channel.
    static const char* const kChannelName;

    void add(const QString& id, const QString& type);
    void connecting(const QString& id);
    void connected(const QString& id, const QString& conflicts);
    void reconnecting(const QString& id);
    // The resource is gone: the page forgets it.
    void disconnected(const QString& id);
    // Gone without a word to the page (the window ends, the session expired).
    void forget(const QString& id);
    void error(const QString& id, const QString& reason);
    void data(const QString& id, qlonglong outBytesLow, qlonglong inBytesLow, qlonglong outBytesTop,
              qlonglong inBytesTop);

    // Every tunnel's state as [signal name, arguments...] entries, in the
    // order the live run told them; empty for a document not of the server.
    Q_INVOKABLE QJsonArray tunnels() const;

private:
    struct Told {
        QString signal;
        QVariantList args;
    };
    struct Tunnel {
        QString id;
        // At most one entry per signal: a repeated one moves to the end.
        std::vector<Told> told;
        QVariantList traffic;
    };
    Tunnel& record(const QString& id);
    void tell(const QString& id, const char* signal, const QVariantList& args);

    VpnWebBridge& bridge;
    std::vector<Tunnel> tunnelsTold;
};

} // namespace qt
} // namespace tessal
