#pragma once
// Unpacks a tar archive into a destination folder. The archive is unpacked
// into a new sibling folder and swapped in only when that succeeded, so a
// failed unpack leaves what the destination held before. Staging folders
// that a killed run left are swept at the next unpack.
//
// The folders are reached and changed only through descriptors, and when
// root unpacks into a folder another user controls, the work there is done
// as that folder's owner (tar, and the as-user program for the unpack
// around it): nothing in it becomes root's, and nothing the owner swaps in
// leads root elsewhere.

#include "session/Installer.h"

#include <QString>

#include <string>

namespace tessal {
namespace qt {

class TarArchiveInstaller final : public Installer
{
    Q_OBJECT

public:
    explicit TarArchiveInstaller(const QString& destination, QObject* parent = nullptr);

    void Install(std::string file) override;
    bool UnTar(const std::string& file, const QString& location);

    QString destination() const { return m_destination; }
    QString packageFile() const { return m_packageFile; }

private:
    bool unpackInPlace(const std::string& file);

    QString m_destination;
    QString m_packageFile;
};

// The first tar program of the fixed list that exists, or empty.
std::string findTarUtility();

// Unpacks archive with tar into staging, a new folder made in parent (at
// parentPath), and swaps it in for name there; sweeps what a killed unpack
// left. Empty when it succeeded, else a log record and its detail on two
// lines. Needs no toolkit and writes no log: the as-user program runs it.
std::string unpackStaged(int parent, const std::string& parentPath, const std::string& name, const std::string& staging,
                         int archive, int output, const std::string& tar);

} // namespace qt
} // namespace tessal
