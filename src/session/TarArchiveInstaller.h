#pragma once
// Unpacks a tar archive into a destination folder. The archive is unpacked
// into a new sibling folder and swapped in only when that succeeded, so a
// failed unpack leaves what the destination held before. Staging folders
// that a killed run left are swept at the next unpack.

#include "session/Installer.h"

#include <QByteArray>
#include <QString>

namespace tessal::qt {

class TarArchiveInstaller final : public Installer {
    Q_OBJECT

public:
    explicit TarArchiveInstaller(const QString& destination, QObject* parent = nullptr);

    void Install(std::string file) override;
    bool UnTar(const std::string& file, const QString& location);

    QString destination() const { return m_destination; }
    QString packageFile() const { return m_packageFile; }

private:
    bool unpackInPlace(const std::string& file);
    static bool swapIn(const QByteArray& staging, const QByteArray& target);
    static void removeStaleStaging(const QString& parent, const QString& name);
    static void removeTree(const QString& path);

    QString m_destination;
    QString m_packageFile;
};

// The first tar program of the fixed list that exists, or empty.
std::string findTarUtility();

}  // namespace tessal::qt
