#include "session/PKGInstaller.h"

#include "foundation/IUErrorLog.h"
#include "foundation/m_system.h"
#include "session/LaunchHandOver.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "PKGInstaller";
} // namespace

void PKGInstaller::Install(std::string file)
{
    const QString given = QString::fromStdString(file);
    const QFileInfo info(given);
    QString package = given;
    if (info.suffix() != QLatin1String("pkg")) {
        package = info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('_') + info.suffix() +
                  QStringLiteral(".pkg");
        QFile::remove(package);
        if (!QFile::rename(given, package)) {
            emit Failure(QStringLiteral("Failed to rename %1 to %2").arg(info.absoluteFilePath(), package));
            return;
        }
    }
    const QString program = QStringLiteral("open");
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Installation starting (pkg file, cmd)", given, program + QLatin1Char(' ') + package));
    // Started through the one child set-up, not as our child.
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty() ||
        startDetached({QFile::encodeName(path).toStdString(), QFile::encodeName(package).toStdString()}) < 0) {
        emit Failure(QStringLiteral("Couldn't launch installer"));
        return;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Quitting main application instance for auto-update");
    stopTakingLaunches();
    QCoreApplication::exit(0);
    emit Success();
}

} // namespace qt
} // namespace tessal
