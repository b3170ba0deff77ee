#pragma once
// What tests may change in the sessions' process-wide state, in one place.
// Nothing in the program calls these.

#include <functional>

#include <QString>

namespace tessal {
namespace qt {

struct SessionTestSeam final {
    // Stands in for the window's open of an attached resource; an empty
    // function restores the window's own.
    using AttachCall = std::function<int(const QString& resourceName, const QString& resourceType)>;
    static void setAttachCall(AttachCall call);
};

} // namespace qt
} // namespace tessal
