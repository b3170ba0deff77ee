#pragma once
// Who holds the far end of a TCP connection made on this machine. A local
// companion (the tunnel server we started, the svpn daemon) is believed only
// once the socket that answers is proved to be its own: any local user can
// bind a loopback port first.
//
// The far end is found in /proc/net/tcp and tcp6 by the connection's four
// addresses. Until the server has accepted the connection its socket has no
// inode yet; then every listener that may accept it stands in for it.

#include <sys/types.h>

enum class PeerRule {
    ProcessOnly, // a socket of the given process
    ProcessOrRoot, // that, or any socket owned by root
};

// Whether the far end of the connected socket fd is held by process pid (or,
// by the rule, by root). False when it cannot be proved: not found, or /proc
// unreadable.
bool localPeerHeldBy(int fd, pid_t pid, PeerRule rule = PeerRule::ProcessOnly);
