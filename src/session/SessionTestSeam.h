#pragma once
// What tests may change in the sessions' process-wide state, in one place.
// Nothing in the program calls these.

#include <functional>

#include <QString>

namespace tessal {
namespace qt {

class Session;

struct SessionTestSeam final {
    // Stands in for the window's open of an attached resource; an empty
    // function restores the window's own.
    using AttachCall = std::function<int(const QString& resourceName, const QString& resourceType)>;
    static void setAttachCall(AttachCall call);
    // How long the session's refusal report may take (15 seconds).
    static void setRefusalTimeout(Session& session, int milliseconds);
};

} // namespace qt
} // namespace tessal
