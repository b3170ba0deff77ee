#include "shell/DBusInterface.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "shell/CustomQApplication.h"

namespace tessal {
namespace qt {

const char* const kDBusServiceName = "com.tessal.tessalvpn";
const char* const kDBusObjectPath = "/com/tessal/tessalvpn";
const char* const kDBusSignalInterface = "com.tessal.tessalvpn.interface";
const char* const kDBusSignalName = "CreateSession";

namespace {

constexpr const char* kLogFile = "/DBusInterface";

bool isCleanupRequest(const QStringList& arguments)
{
    return arguments.size() >= 2 && arguments[1].compare(QLatin1String("--cleanup"), Qt::CaseInsensitive) == 0;
}

// A reply from the bus daemon comes after everything this connection sent
// before it, so once it is in, the forwarded signal has left the process.
void waitUntilSent(QDBusConnection& bus)
{
    bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                            QStringLiteral("/org/freedesktop/DBus"),
                                            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

} // namespace

DBusInterface::DBusInterface(CustomQApplication* app) : QDBusAbstractAdaptor(app), app(app)
{
}

void DBusInterface::Activate(const QMap<QString, QVariant>&)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("D-Bus Activate() method called"));
}

void DBusInterface::Open(const QStringList& uris, const QMap<QString, QVariant>&)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("D-Bus Open() method called"));
    if (uris.isEmpty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("No URIs provided"));
        return;
    }
    app->quitWhenNoSession = false;
    app->sessionManager.CreateAndLaunchSession(QUrl(uris.first(), QUrl::TolerantMode));
}

bool setupDBusService(CustomQApplication& app)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // Nothing can be forwarded without a bus, and nobody can forward to
        // us: the launch the user asked for goes on in this process.
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot connect to session bus"));
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Single-instance service '%1' not available, running as the only instance",
                                   kDBusServiceName));
        return true;
    }

    const QString service = QString::fromLatin1(kDBusServiceName);
    const QString path = QString::fromLatin1(kDBusObjectPath);
    const QString signalInterface = QString::fromLatin1(kDBusSignalInterface);
    const QString signalName = QString::fromLatin1(kDBusSignalName);
    const QStringList arguments = QCoreApplication::arguments();

    // Another instance may forward a URL the moment the name is ours, so the
    // receiver and the object are in place before the name is claimed.
    const bool connected = bus.connect(QString(), QString(), signalInterface, signalName, &app,
                                       SLOT(CreateSession(QString)));
    auto* adaptor = new DBusInterface(&app);
    const bool registered = bus.registerObject(path, &app, QDBusConnection::ExportAdaptors);

    if (bus.registerService(service)) {
        if (!registered) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot register object, path=%1", path));
            return false;
        }
        if (!connected)
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Cannot connect to session bus, ineterface=%1, slot=%2", signalInterface,
                                     signalName));
        return true;
    }

    // The name is taken: this process serves nobody.
    if (registered)
        bus.unregisterObject(path);
    delete adaptor;
    if (connected)
        bus.disconnect(QString(), QString(), signalInterface, signalName, &app, SLOT(CreateSession(QString)));

    if (isCleanupRequest(arguments))
        return true;

    if (arguments.size() < 2) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Application was launched without parameters, exiting"));
        return false;
    }

    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Service '%1' already running, dispatching message to running instance", service));
    QDBusMessage message = QDBusMessage::createSignal(path, signalInterface, signalName);
    message << arguments[1];
    if (!bus.send(message))
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to queue '%1' dbus message", signalName));
    else
        waitUntilSent(bus);
    return false;
}

} // namespace qt
} // namespace tessal
