// What tests change in one session; nothing in the program calls these.
#include "session/SessionTestSeam.h"

#include "session/Session.h"

namespace tessal {
namespace qt {

void SessionTestSeam::setRefusalTimeout(Session& session, int milliseconds)
{
    session.refusalTimeoutMs = milliseconds;
}

} // namespace qt
} // namespace tessal
