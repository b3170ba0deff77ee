#include "tunnel/WebInterfaceProxy.h"

#include <utility>

#include "foundation/UException.h"

namespace tessal {
namespace qt {

namespace {

// No exception may leave a slot: the listener's failure is recorded here.
template <typename Call>
void deliver(const char* operation, Call&& call)
{
    int result = 0;
    guardOperation(UCATCH_SITE("WebInterfaceProxy", "WebInterfaceProxy - EXCEPTION", operation), result,
                   std::forward<Call>(call));
}

} // namespace

WebInterfaceProxy::WebInterfaceProxy(WebInterface* target) : QObject(nullptr), m_target(target)
{
    // Queued even for callers on the GUI thread: an event is never delivered
    // inside the call that reported it.
    connect(this, SIGNAL(onTunnelClosed_signal(QString, int)), this, SLOT(onTunnelClosed_slot(QString, int)),
            Qt::QueuedConnection);
    connect(this, SIGNAL(onTunnelError_signal(QString, int)), this, SLOT(onTunnelError_slot(QString, int)),
            Qt::QueuedConnection);
    connect(this, SIGNAL(onTunnelConnected_signal(QString)), this, SLOT(onTunnelConnected_slot(QString)),
            Qt::QueuedConnection);
    connect(this, SIGNAL(onTunnelReconnecting_signal(QString)), this, SLOT(onTunnelReconnecting_slot(QString)),
            Qt::QueuedConnection);
    connect(this, SIGNAL(onTunnelConnecting_signal(QString)), this, SLOT(onTunnelConnecting_slot(QString)),
            Qt::QueuedConnection);
}

// The callbacks may run on any thread; the id is copied into the posted event.
void WebInterfaceProxy::onTunnelClosed(const QString& id, int error)
{
    emit onTunnelClosed_signal(QString(id), error);
}
void WebInterfaceProxy::onTunnelError(const QString& id, int error)
{
    emit onTunnelError_signal(QString(id), error);
}
void WebInterfaceProxy::onTunnelConnected(const QString& id)
{
    emit onTunnelConnected_signal(QString(id));
}
void WebInterfaceProxy::onTunnelReconnecting(const QString& id)
{
    emit onTunnelReconnecting_signal(QString(id));
}
void WebInterfaceProxy::onTunnelConnecting(const QString& id)
{
    emit onTunnelConnecting_signal(QString(id));
}

void WebInterfaceProxy::onTunnelClosed_slot(QString id, int error)
{
    if (m_target)
        deliver("onTunnelClosed_slot", [&] { m_target->onTunnelClosed(id, error); });
}
void WebInterfaceProxy::onTunnelError_slot(QString id, int error)
{
    if (m_target)
        deliver("onTunnelError_slot", [&] { m_target->onTunnelError(id, error); });
}
void WebInterfaceProxy::onTunnelConnected_slot(QString id)
{
    if (m_target)
        deliver("onTunnelConnected_slot", [&] { m_target->onTunnelConnected(id); });
}
void WebInterfaceProxy::onTunnelReconnecting_slot(QString id)
{
    if (m_target)
        deliver("onTunnelReconnecting_slot", [&] { m_target->onTunnelReconnecting(id); });
}
void WebInterfaceProxy::onTunnelConnecting_slot(QString id)
{
    if (m_target)
        deliver("onTunnelConnecting_slot", [&] { m_target->onTunnelConnecting(id); });
}

} // namespace qt
} // namespace tessal
