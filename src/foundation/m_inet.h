#pragma once

#include "foundation/String.h"

#include <sys/socket.h>

// Conversions between prefix lengths, netmasks and texts held in socket
// addresses. 0 on success, -1 on failure (with a log record) unless noted.

// Writes the netmask for prefixLength into the address bytes of mask, whose
// family (AF_INET or AF_INET6) the caller has set.
int plen2mask(int prefixLength, sockaddr* mask);

// Prefix length of count mask bytes (at most 16); the one bits must form a
// single leading run.
int mask2plen(const unsigned char* mask, unsigned int count, unsigned char* prefixLength);

// Prefix length of the netmask in an AF_INET or AF_INET6 socket address.
int sock_mask2plen(const sockaddr* mask, unsigned char* prefixLength);

// Numeric address text to socket address. length holds the buffer size on
// entry and the address length on success. Returns 0, 1 when the buffer is
// too small, or the getaddrinfo error code when the text is not numeric.
int sock_pton(const char* text, sockaddr* address, socklen_t* length);

// Numeric text of an IPv4 or IPv6 socket address, with the zone of a scoped
// IPv6 address; empty on failure.
CString sock_ntop(const sockaddr* address);
