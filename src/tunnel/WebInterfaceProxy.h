#pragma once

#include <QObject>
#include <QString>

#include "tunnel/WebInterface.h"

namespace tessal {
namespace qt {

// The one place where a tunnel event crosses to the GUI thread: every callback
// emits a signal that is connected, queued, to a slot of the proxy itself,
// and the slot calls the real listener. Create it on the GUI thread, without
// a parent, and never move it.
class WebInterfaceProxy final : public QObject, public WebInterface
{
    Q_OBJECT
public:
    explicit WebInterfaceProxy(WebInterface* target);

    void onTunnelClosed(const QString& id, int error) override;
    void onTunnelError(const QString& id, int error) override;
    void onTunnelConnected(const QString& id) override;
    void onTunnelReconnecting(const QString& id) override;
    void onTunnelConnecting(const QString& id) override;

signals:
    void onTunnelClosed_signal(QString id, int error);
    void onTunnelError_signal(QString id, int error);
    void onTunnelConnected_signal(QString id);
    void onTunnelReconnecting_signal(QString id);
    void onTunnelConnecting_signal(QString id);

private slots:
    void onTunnelClosed_slot(QString id, int error);
    void onTunnelError_slot(QString id, int error);
    void onTunnelConnected_slot(QString id);
    void onTunnelReconnecting_slot(QString id);
    void onTunnelConnecting_slot(QString id);

private:
    WebInterface* m_target; // not owned; called on the GUI thread only
};

} // namespace qt
} // namespace tessal
