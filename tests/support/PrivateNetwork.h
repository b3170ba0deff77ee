#pragma once
// Tests that change routes or addresses do it inside a network namespace of
// their own, so the machine's tables stay untouched.

#include <functional>
#include <string>

namespace tessal {
namespace test {

// Runs body on a thread of its own inside a new network namespace (only that
// thread moves; the namespace goes away with it). Empty result: it ran;
// otherwise why it could not (the caller skips).
std::string inPrivateNetwork(const std::function<void()>& body);

// Who listens on 127.0.0.1:port in this network namespace ("pid 12 (svpn)"),
// or empty when nobody does.
std::string portHolder(unsigned short port);

// Brings the namespace's loopback interface up. Empty result: done;
// otherwise what failed.
std::string setLoopbackUp();

} // namespace test
} // namespace tessal
