#pragma once
// Single instance over the session bus: the serving process owns the name
// "com.tessal.tessalvpn" and receives launch URLs as the signal
// CreateSession; it also answers the desktop's org.freedesktop.Application.

#include <QDBusAbstractAdaptor>
#include <QMap>
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
    void Open(const QStringList& uris, const QMap<QString, QVariant>& platform_data);

private:
    CustomQApplication* app;
};

// True when this process serves and start-up goes on (also without a session
// bus: then it runs as the only instance); false when it is to end at once
// with exit code 0 (another instance took the URL, or there was none).
// "--cleanup" is never forwarded: that mode runs in the process that got it.
bool setupDBusService(CustomQApplication& app);

} // namespace qt
} // namespace tessal
