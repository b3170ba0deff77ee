#pragma once
// Unpacks a tar archive into a destination folder.

#include "session/Installer.h"

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
    QString m_destination;
    QString m_packageFile;
};

// The first tar program of the fixed list that exists, or empty.
std::string findTarUtility();

}  // namespace tessal::qt
