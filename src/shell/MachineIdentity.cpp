#include "shell/MachineIdentity.h"

#include <QFile>

namespace tessal {
namespace qt {

std::string readMachineIdentity(const QString& root)
{
    static const char* const files[] = {
        "proc/sys/kernel/random/boot_id",
        "sys/class/dmi/id/product_serial",
        "sys/class/dmi/id/product_uuid",
        "var/lib/dbus/machine-id",
    };
    QString base = root;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    std::string identity;
    for (const char* name : files) {
        QFile f(base + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            identity += f.readAll().toStdString();
    }
    return identity;
}

std::string readMachineIdentity()
{
    return readMachineIdentity(QStringLiteral("/"));
}

} // namespace qt
} // namespace tessal
