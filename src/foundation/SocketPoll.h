#pragma once
// poll() for one descriptor, shared by the TCP and UDP sockets.

// Waits up to timeoutMs (negative: no limit) for events on fd; a signal
// restarts the wait with the time left. Returns poll()'s result and the
// descriptor's revents.
int pollRestarting(int fd, short events, int timeoutMs, short& revents);
