#pragma once
// What tests may change in the process-wide state of what asks the user, in
// one place. Nothing in the program calls these.

#include "dialogs/QuitRequest.h"

namespace tessal {
namespace qt {

struct DialogsTestSeam final {
    // Forgets a quit asked for, so that one test program can ask twice.
    static void forgetQuitRequest() { QuitRequest::instance().requestedFlag = false; }
};

} // namespace qt
} // namespace tessal
