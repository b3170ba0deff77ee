#include "session/LinuxInstaller.h"

#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"

#include "foundation/m_system.h"
#include "session/LaunchHandOver.h"

#include <QCoreApplication>
#include <QFile>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "LinuxInstaller";
constexpr int kToolWaitMs = 30000;
} // namespace

void LinuxInstaller::Install(std::string file)
{
    const QString path = QString::fromStdString(file);
    if (!QFile::exists(path)) {
        emit Failure(QStringLiteral("Installation file (%1) doesn't exist").arg(path));
        return;
    }
    QString program;
    QStringList args;
    if (installedFromRpm()) {
        program = QStringLiteral("pkcon");
        args = {QStringLiteral("install-local"), QStringLiteral("-y"), QStringLiteral("-v"), path};
    } else {
        program = QStringLiteral("xdg-open");
        args = {path};
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Executing command", program + QLatin1Char(' ') + args.join(QLatin1Char(' '))));

    const InstallerRun run = runInstallerTool(program, args, kToolWaitMs);
    if (!run.ok) {
        // The package stays in the Downloads folder; the program goes on.
        emit Failure(run.error);
        return;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Quitting main application instance after auto-update");
    stopTakingLaunches();
    QCoreApplication::exit(0);
}

} // namespace qt
} // namespace tessal
