#include "shell/PageTunnels.h"

#include <algorithm>

#include <QJsonValue>

#include "shell/VpnWebBridge.h"

namespace tessal {
namespace qt {

const char* const PageTunnels::kChannelName = "tunnelState";

PageTunnels::PageTunnels(VpnWebBridge& pageBridge) : bridge(pageBridge) {}

PageTunnels::~PageTunnels() = default;

PageTunnels::Tunnel& PageTunnels::record(const QString& id)
{
    const auto found =
        std::find_if(tunnelsTold.begin(), tunnelsTold.end(), [&](const Tunnel& t) { return t.id == id; });
    if (found != tunnelsTold.end())
        return *found;
    tunnelsTold.push_back(Tunnel{id, {}, {}});
    return tunnelsTold.back();
}

void PageTunnels::tell(const QString& id, const char* signal, const QVariantList& args)
{
    std::vector<Told>& told = record(id).told;
    const QString name = QString::fromLatin1(signal);
    told.erase(std::remove_if(told.begin(), told.end(), [&](const Told& t) { return t.signal == name; }), told.end());
    told.push_back(Told{name, args});
}

void PageTunnels::add(const QString& id, const QString& type)
{
    tell(id, "onTunnelAdd", {id, type});
    emit bridge.onTunnelAdd(id, type);
}

void PageTunnels::connecting(const QString& id)
{
    tell(id, "onTunnelConnecting", {id});
    emit bridge.onTunnelConnecting(id);
}

void PageTunnels::connected(const QString& id, const QString& conflicts)
{
    tell(id, "onTunnelConnected", {id, conflicts});
    emit bridge.onTunnelConnected(id, conflicts);
}

void PageTunnels::reconnecting(const QString& id)
{
    tell(id, "onTunnelReconnecting", {id});
    emit bridge.onTunnelReconnecting(id);
}

void PageTunnels::disconnected(const QString& id)
{
    forget(id);
    emit bridge.onTunnelDisconnected(id);
}

void PageTunnels::forget(const QString& id)
{
    tunnelsTold.erase(
        std::remove_if(tunnelsTold.begin(), tunnelsTold.end(), [&](const Tunnel& t) { return t.id == id; }),
        tunnelsTold.end());
}

void PageTunnels::error(const QString& id, const QString& reason)
{
    tell(id, "onTunnelError", {id, reason});
    emit bridge.onTunnelError(id, reason);
}

void PageTunnels::data(const QString& id, qlonglong outBytesLow, qlonglong inBytesLow, qlonglong outBytesTop,
                       qlonglong inBytesTop)
{
    // Traffic of a tunnel the page knows of; none comes for another.
    const auto found =
        std::find_if(tunnelsTold.begin(), tunnelsTold.end(), [&](const Tunnel& t) { return t.id == id; });
    if (found != tunnelsTold.end())
        found->traffic = {id, outBytesLow, inBytesLow, outBytesTop, inBytesTop};
    emit bridge.onTunnelData(id, outBytesLow, inBytesLow, outBytesTop, inBytesTop);
}

QJsonArray PageTunnels::tunnels() const
{
    QJsonArray out;
    if (!bridge.servesCurrentDocument())
        return out;
    const auto entry = [&](const QString& signal, const QVariantList& args) {
        QJsonArray e{signal};
        for (const QVariant& a : args)
            e.append(QJsonValue::fromVariant(a));
        out.append(e);
    };
    for (const Tunnel& t : tunnelsTold) {
        for (const Told& told : t.told)
            entry(told.signal, told.args);
        if (!t.traffic.isEmpty())
            entry(QStringLiteral("onTunnelData"), t.traffic);
    }
    return out;
}

} // namespace qt
} // namespace tessal
