#pragma once
// The self-updater of this platform: decides from the profile's Linux
// package list whether the application must, may or need not be replaced,
// fetches and verifies packages (and, for inspection sessions, a component
// first), and hands a verified application package to the installer. Every
// run ends with exactly one of the base's signals, unless the installer ends
// the program.

#include "session/AutoUpdater.h"
#include "session/ConnectivityProfileParser.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <string>

namespace tessal {
namespace qt {

template <class Package>
class UnixAutoUpdater : public AutoUpdater
{
public:
    UnixAutoUpdater(const int& sessionType, const QUrl& server, int silent);
    ~UnixAutoUpdater() override;

    void CheckForUpdates(const ConnectivityProfileParser& profile) override;

    void UpdateSelf();
    bool ShouldUpdateSelf();
    void UpdatePolicyServer();
    void UpdateOesisInspector();
    void DownloadServerFile(const QString& path);
    void InstallPackage(std::string& file);
    // False when the user declined or when the package could not be moved;
    // failed is set in the second case, which has already been reported.
    bool ConfirmInstall(std::string& file, bool& failed);
    static bool ReadTextFile(const std::string& path, QString& out);
    static std::string GetPackageSuffix();

    void FileDownloadSuccess(std::string file) override;
    void FileDownloadProgress(qlonglong total, qlonglong totalDownloaded) override;
    void InstallFailed(QString errMessage) override;
    void InstallSuccess() override;

    // Where a component is installed: "<settings folder>/components/<id>";
    // the components folder is made 0700 through descriptors (a folder made
    // in another user's folder is theirs). Empty when there is no settings
    // folder or the components folder cannot be had that way.
    static QString ComponentFolder(const std::string& id);

    const std::string& packageId() const { return m_packageId; }
    const QString& componentVersion() const { return m_componentVersion; }

private:
    // Where a run stands; a finished download is read by what was asked for.
    enum class Stage { Idle, ComponentVersion, ComponentSignature, ComponentPackage, ApplicationPackage, Done };

    bool isComponent() const;
    void updateComponent(const char* id, const char* versionPath, const char* signaturePath);
    void finish();
    // A downloaded file that has served its purpose leaves the download folder.
    static void discard(const std::string& file);
    void discardComponentPackage();
    // Root moves the package only into a folder no other user controls: in
    // theirs, they could swap the verified package before it is installed.
    // True, with the failure reported and failed set, when another user
    // controls one of the paths or a folder on the way to it.
    bool refuseFoldersOfOthers(const QStringList& paths, bool& failed);

    std::string m_packageId;
    const Package* m_current = nullptr; // into m_profile's Linux list
    QString m_signature;
    QString m_componentVersion;
    ConnectivityProfileParser m_profile;
    int m_silentFlag;
    Stage m_stage = Stage::Idle;
    QString m_signaturePath;
    std::string m_componentPackage; // downloaded component being installed
};

extern template class UnixAutoUpdater<MacPackage>;

} // namespace qt
} // namespace tessal
