#pragma once
// What the window's "MachineHash" cookie is derived from.

#include <QString>

#include <string>

namespace tessal {
namespace qt {

// The text the machine's identity cookie is derived from: the contents of
// the boot id, the DMI serial and UUID and the D-Bus machine id, those that
// can be read, in this order without separators.
std::string readMachineIdentity();
// The same, with the four files looked up under root instead of "/".
std::string readMachineIdentity(const QString& root);

} // namespace qt
} // namespace tessal
