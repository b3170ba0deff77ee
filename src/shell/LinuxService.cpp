#include "shell/LinuxService.h"

#include <cstdlib>
#include <iostream>

#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <openssl/opensslv.h>

#include <QLibrary>
#include <QSslSocket>

#include "foundation/IUErrorLog.h"
#include "foundation/LogSettings.h"
#include "foundation/UArgFormat.h"
#include "foundation/UserFiles.h"
#include "tessal_update_signing.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "LinuxService";
}

void preloadOpenSslLibraries()
{
    // The QLibrary objects go away here; the libraries stay loaded.
    QLibrary crypto(QStringLiteral("crypto"), QStringLiteral("3"));
    if (!crypto.load())
        std::cerr << "Failed to load crypto library" << std::endl;
    QLibrary ssl(QStringLiteral("ssl"), QStringLiteral("3"));
    if (!ssl.load())
        std::cerr << "Failed to load ssl library" << std::endl;
}

std::vector<std::pair<std::string, std::string>> ownToolkitFolders(const std::string& ownHome)
{
    const std::string home = ownHome.empty() || ownHome == "/" ? std::string() : ownHome;
    return {{"XDG_CACHE_HOME", home + "/.cache"},
            {"XDG_CONFIG_HOME", home + "/.config"},
            {"XDG_DATA_HOME", home + "/.local/share"},
            {"XDG_STATE_HOME", home + "/.local/state"}};
}

void keepToolkitFoldersOwn()
{
    const char* home = std::getenv("HOME");
    if (::geteuid() != 0 || home == nullptr || home[0] == '\0' || !othersControlPath(home))
        return;
    PasswordEntry own;
    const std::string ownHome = passwordEntry(::geteuid(), own) ? own.home : std::string("/root");
    for (const auto& [name, folder] : ownToolkitFolders(ownHome))
        ::setenv(name.c_str(), folder.c_str(), 1);
    // fontconfig reads "~/.fonts.conf" and its like by HOME whatever the XDG
    // folders say; without a home it keeps to the system's configuration.
    FcConfigEnableHome(FcFalse);
}

void setupLogs(const std::string& logPath, const std::string& module)
{
    const CString home = getHomeFolder();
    IUErrorLog* log = g_pErrorLog.load();
    if (log == nullptr)
        return;

    log->setProperty("module_name", module.c_str());
    const std::string path = std::string(static_cast<const char*>(home)) + logPath;
    log->open(path.c_str(), "a");
    log->setLogLevel(readLogLevel(module.c_str()));

#if TESSAL_UPDATE_SIGNING_TEST_ONLY
    // Whoever reads the log must see that updates signed with a key anyone
    // holds would be accepted by this build.
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Development build: update packages are checked against the test-only "
                               "signing certificate (SHA-256 %1)",
                               TESSAL_UPDATE_CERTIFICATE_SHA256));
#endif
}

void logTlsLibraries()
{
    IUErrorLog* log = g_pErrorLog.load();
    if (log == nullptr || log->getLogLevel() < ULOG_LEVEL_VERBOSE)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("QT - OpenSSL supported: %1. Lib in use: %2. Build: %3",
                               QSslSocket::supportsSsl() ? "true" : "false", QSslSocket::sslLibraryVersionString(),
                               QSslSocket::sslLibraryBuildVersionString()));
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Tessal - OpenSSL build version: %1", OPENSSL_VERSION_TEXT));
}

} // namespace qt
} // namespace tessal
