#pragma once
// Installs the application package with the package manager when the
// machine is marked as RPM-based, else with the desktop's opener, then ends
// the running instance.

#include "session/Installer.h"

namespace tessal {
namespace qt {

class LinuxInstaller final : public Installer
{
    Q_OBJECT

public:
    using Installer::Installer;

    void Install(std::string file) override;
};

} // namespace qt
} // namespace tessal
