#pragma once
// Who holds the far end of a TCP connection made on this machine. A local
// companion (the tunnel server we started, the svpn daemon) is believed only
// once the socket that answers is proved to be its own: any local user can
// bind a loopback port first.
//
// The far end is found by the connection's four addresses through the
// kernel's socket diagnostics (NETLINK_SOCK_DIAG), or in /proc/net/tcp and
// tcp6 where the kernel has none: reading those walks every connection of the
// machine. Until the server has accepted the connection its socket has no
// inode yet; then every listener that could have taken that very connection
// (its family, address and port) stands in for it.

#include <sys/types.h>

enum class PeerRule {
    ProcessOnly, // a socket of the given process
    ProcessOrRoot, // that, or any socket owned by root
};

enum class PeerSource {
    Best, // socket diagnostics, /proc where the kernel has none
    SockDiag, // socket diagnostics alone (tests)
    ProcNet, // /proc/net/tcp and tcp6 alone (tests)
};

// Whether the far end of the connected socket fd is held by process pid (or,
// by the rule, by root). False when it cannot be proved: not found, no
// believable answer, or /proc unreadable.
bool localPeerHeldBy(int fd, pid_t pid, PeerRule rule = PeerRule::ProcessOnly, PeerSource source = PeerSource::Best);
