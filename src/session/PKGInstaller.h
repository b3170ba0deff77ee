#pragma once
// Opens a package whose suffix is "pkg" with the package opener.

#include "session/Installer.h"

namespace tessal {
namespace qt {

class PKGInstaller final : public Installer
{
    Q_OBJECT

public:
    using Installer::Installer;

    void Install(std::string file) override;
};

} // namespace qt
} // namespace tessal
