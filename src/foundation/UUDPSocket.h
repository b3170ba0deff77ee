#pragma once

#include "foundation/String.h"
#include "foundation/UClasses.h"

#include <cstdint>
#include <netdb.h>
#include <sys/socket.h>

// Datagram socket. The peer is resolved once and kept until close().
class UUDPSocket : public UObject
{
public:
    UUDPSocket();
    ~UUDPSocket() override;

    UUDPSocket(const UUDPSocket&) = delete;
    UUDPSocket& operator=(const UUDPSocket&) = delete;

    virtual int isAvailable(unsigned int milliseconds);
    virtual int isWriteable();
    virtual void setPeerPort(uint16_t port);
    virtual uint16_t getPeerPort();
    virtual void setPeerHost(const char* host);
    virtual const char* getPeerHost();
    virtual void setLocalPort(uint16_t port);
    virtual uint16_t getLocalPort();
    virtual void setLocalHost(const char* host);
    virtual const char* getLocalHost();
    virtual int connect();
    virtual int send(const void* data, unsigned int length);
    virtual int send(const addrinfo* entry, const void* data, unsigned int length);
    // -2 for an empty datagram, 0 when nothing is there (or from another
    // source than the peer), -1 on failure.
    virtual int receive(void* buffer, unsigned int length);
    virtual int receive(void* buffer, unsigned int length, int* error);
    virtual int receive(void* buffer, unsigned int length, int* error, sockaddr* source, socklen_t* sourceLength);
    virtual CString receiveText(unsigned int length);
    virtual int writeString(const char* text);
    virtual int close();

    void PeerInit();
    static void PeerInit(addrinfo*& list, addrinfo*& entry, const char* host, uint16_t port, int family);
    void SocketInit(const addrinfo* entry);
    int bind();
    int bind(const char* host, uint16_t port);

    int getSocket() const { return m_socket; }

private:
    // A receive call's result: the byte count, -2 when the peer closed, 0
    // when nothing waits (*error tells why), -1 on an error (recorded).
    int receiveResult(ssize_t n, int* error);

    CString m_localHost;
    uint16_t m_localPort;
    CString m_peerHost;
    uint16_t m_peerPort;
    int m_socket;
    bool m_rebind;
    bool m_connected;
    addrinfo* m_peerEntry;
    addrinfo* m_peerList;
};
