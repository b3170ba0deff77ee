#pragma once
// Single instance over the session bus: the serving process owns the name
// "com.tessal.tessalvpn" and receives launch URLs as the signal
// CreateSession; it also answers the desktop's org.freedesktop.Application.
// A launching process of this program calls the method CreateSession on the
// signal's interface instead, which is answered before the launch runs, so
// that no launch is lost to an instance that is quitting.

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tessal {
namespace qt {

class CustomQApplication;

extern const char* const kDBusServiceName;
extern const char* const kDBusObjectPath;
extern const char* const kDBusSignalInterface;
extern const char* const kDBusSignalName;

class DBusInterface : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit DBusInterface(CustomQApplication* app);

public slots:
    void Activate(const QMap<QString, QVariant>& platform_data);
    // Answered before the launch runs (an error when the process is quitting).
    void Open(const QStringList& uris, const QMap<QString, QVariant>& platform_data, const QDBusMessage& message);

private:
    CustomQApplication* app;
};

// The confirmed road of a forwarded launch: an empty reply when the launch is
// taken, an error when it is not.
class LaunchInterface : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tessal.tessalvpn.interface")
public:
    explicit LaunchInterface(CustomQApplication* app);

public slots:
    void CreateSession(const QString& url, const QDBusMessage& message);

private:
    CustomQApplication* app;
};

// Receives the launch signal CreateSession from any sender and path.
class LaunchSignalReceiver : public QObject
{
    Q_OBJECT
public:
    explicit LaunchSignalReceiver(CustomQApplication& app);

public slots:
    void CreateSession(const QString& url);

private:
    CustomQApplication& app;
};

// True when this process serves and start-up goes on; false when it is to
// end at once with exitCode (another instance took the URL, there was none,
// or nobody took it in time). Without a session bus the per-user lock is
// the guard (setupLocalInstance). "--cleanup" is never forwarded: that mode
// runs in the process that got it.
bool setupDBusService(CustomQApplication& app, int& exitCode);

} // namespace qt
} // namespace tessal
