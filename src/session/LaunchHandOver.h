#pragma once
// Whether the process still takes launches handed over by other processes of
// the user. Every road of such a launch asks here before it answers; every
// quit stops the taking first, so that no launch is answered "taken" by a
// process that is about to end. What serves those roads (the bus name, the
// local channel) registers here what it gives up then.

#include <functional>

namespace tessal {
namespace qt {

// False once the process has decided to quit.
bool takingLaunches();
// Called before every quit: nothing is taken any more, and what serves the
// roads is given up. Later calls do nothing.
void stopTakingLaunches();
// Adds what stopTakingLaunches gives up (run at once when it already ran).
void whenLaunchesStop(std::function<void()> action);

} // namespace qt
} // namespace tessal
