#include "foundation/m_inet.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

namespace {

const char kFile[] = "/m_inet";

// Address bytes of an AF_INET or AF_INET6 socket address; null otherwise.
unsigned char* addressBytes(sockaddr* sa, unsigned int& count)
{
    if (sa->sa_family == AF_INET) {
        count = 4;
        return reinterpret_cast<unsigned char*>(&reinterpret_cast<sockaddr_in*>(sa)->sin_addr);
    }
    if (sa->sa_family == AF_INET6) {
        count = 16;
        return reinterpret_cast<unsigned char*>(&reinterpret_cast<sockaddr_in6*>(sa)->sin6_addr);
    }
    count = 0;
    return nullptr;
}

} // namespace

int plen2mask(int prefixLength, sockaddr* mask)
{
    if (mask == nullptr) {
        ULOG(1, kFile, "plen2mask", "Invalid parameter");
        return -1;
    }
    if (unsigned(prefixLength) > 128) {
        ULOG(1, kFile, "plen2mask", makeArgFormat("%1, %2", "Incorrect prefix length", prefixLength));
        return -1;
    }
    unsigned int count = 0;
    unsigned char* bytes = addressBytes(mask, count);
    if (bytes == nullptr) {
        ULOG(2, kFile, "plen2mask", makeArgFormat("%1, %2", "Unexpected Family", int(mask->sa_family)));
        return -1;
    }
    // An IPv4 mask has 32 bits; a longer prefix would write past sin_addr.
    if (unsigned(prefixLength) > count * 8) {
        ULOG(1, kFile, "plen2mask", makeArgFormat("%1, %2", "Incorrect prefix length", prefixLength));
        return -1;
    }
    static const unsigned char partial[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
    std::memset(bytes, 0, count);
    const unsigned int full = unsigned(prefixLength) / 8;
    std::memset(bytes, 0xFF, full);
    if (full < count)
        bytes[full] = partial[prefixLength % 8];
    return 0;
}

int mask2plen(const unsigned char* mask, unsigned int count, unsigned char* prefixLength)
{
    if (mask == nullptr || prefixLength == nullptr) {
        ULOG(1, kFile, "mask2plen", "Invalid parameter");
        return -1;
    }
    if (count > 16) {
        ULOG(1, kFile, "mask2plen", makeArgFormat("%1, %2", "Incorrect byte count", count));
        return -1;
    }
    unsigned int sum = 0;
    bool ended = false; // a byte other than 0xFF has been seen
    for (unsigned int i = 0; i < count; ++i) {
        const unsigned char b = mask[i];
        int bits = -1;
        switch (b) {
        case 0x00: bits = 0; break;
        case 0x80: bits = 1; break;
        case 0xC0: bits = 2; break;
        case 0xE0: bits = 3; break;
        case 0xF0: bits = 4; break;
        case 0xF8: bits = 5; break;
        case 0xFC: bits = 6; break;
        case 0xFE: bits = 7; break;
        case 0xFF: bits = 8; break;
        default: break;
        }
        // After a partial or zero byte only zero bytes may follow, otherwise
        // the mask is not one leading run of ones and has no prefix length.
        if (bits < 0 || (ended && bits != 0)) {
            ULOG(1, kFile, "mask2plen", makeArgFormat("%1, %2", "Invalid byte", unsigned(b)));
            return -1;
        }
        if (bits != 8)
            ended = true;
        sum += unsigned(bits);
    }
    *prefixLength = static_cast<unsigned char>(sum);
    return 0;
}

int sock_mask2plen(const sockaddr* mask, unsigned char* prefixLength)
{
    if (mask == nullptr) {
        ULOG(1, kFile, "sock_mask2plen", "Invalid parameter");
        return -1;
    }
    if (mask->sa_family == AF_INET)
        return mask2plen(reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(mask)->sin_addr),
                         4, prefixLength);
    if (mask->sa_family == AF_INET6)
        return mask2plen(
            reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in6*>(mask)->sin6_addr), 16,
            prefixLength);
    ULOG(1, kFile, "sock_mask2plen", makeArgFormat("%1, %2", "Unexpected Family", int(mask->sa_family)));
    return -1;
}

int sock_pton(const char* text, sockaddr* address, socklen_t* length)
{
    int result = -1;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(nullptr, &freeaddrinfo);
    guardOperation(UCATCH_SITE(kFile, "sock_pton() - EXCEPTION", "sock_pton"), result, [&] {
        if (address == nullptr || length == nullptr)
            throw UException(-1, kFile, "sock_pton()", __LINE__, "EXCEPTION - %s", "Invalid argument");
        addrinfo hints;
        std::memset(&hints, 0, sizeof(hints));
        hints.ai_flags = AI_NUMERICHOST;
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* raw = nullptr;
        const int rc = ::getaddrinfo(text, nullptr, &hints, &raw);
        list.reset(raw);
        if (rc != 0 || raw == nullptr) {
            const int code = rc != 0 ? rc : EAI_NONAME;
            throw UException(code, kFile, "sock_pton()", __LINE__, "EXCEPTION - %s, %s, %s", "getaddrinfo failed",
                             text != nullptr ? text : "", static_cast<const char*>(toString(code)));
        }
        if (*length < raw->ai_addrlen) {
            result = 1;
        } else {
            std::memcpy(address, raw->ai_addr, raw->ai_addrlen);
            address->sa_family = sa_family_t(raw->ai_family);
            *length = raw->ai_addrlen;
            result = 0;
        }
    });
    return result;
}

CString sock_ntop(const sockaddr* address)
{
    CString result;
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "sock_ntop() - EXCEPTION", "sock_ntop"), code, [&] {
        if (address == nullptr)
            throw UException(-1, kFile, "sock_ntop()", __LINE__, "EXCEPTION - %s", "Invalid argument");
        const void* bytes;
        if (address->sa_family == AF_INET)
            bytes = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
        else if (address->sa_family == AF_INET6)
            bytes = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        else
            throw UException(-1, kFile, "sock_ntop()", __LINE__, "EXCEPTION - %s, %hu", "Unregonized Family",
                             static_cast<unsigned short>(address->sa_family));

        char text[46];
        if (::inet_ntop(address->sa_family, bytes, text, sizeof(text)) == nullptr) {
            const int e = errno;
            throw UException(-1, kFile, "sock_ntop()", __LINE__, "EXCEPTION - %s, %s", "inet_ntop fails",
                             std::strerror(e));
        }
        result = text;
        if (address->sa_family == AF_INET6) {
            const sockaddr_in6* a6 = reinterpret_cast<const sockaddr_in6*>(address);
            const uint32_t scope = a6->sin6_scope_id;
            if (scope != 0) {
                const unsigned char* b = a6->sin6_addr.s6_addr;
                const bool linkLocal = b[0] == 0xfe && (b[1] & 0xc0) == 0x80;
                const bool linkLocalMulticast = b[0] == 0xff && (b[1] & 0x0f) == 0x02;
                char name[IF_NAMESIZE];
                if ((linkLocal || linkLocalMulticast) && ::if_indextoname(scope, name) != nullptr)
                    result = makeArgFormat("%1%%%2", text, name).str();
                else
                    result = makeArgFormat("%1%%%2", text, static_cast<unsigned int>(scope)).str();
            }
        }
        code = 0;
    });
    if (code != 0)
        return CString();
    return result;
}
