#pragma once

#include "foundation/String.h"
#include "foundation/UClasses.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// Blocking TCP client socket. Failures leave their reason in the UObject
// last-error fields: errno, or 108 (peer closed), 110 (timed out),
// 125 (connect cancelled).
class USocketBlocking : public UObject
{
public:
    USocketBlocking();
    ~USocketBlocking() override;

    USocketBlocking(const USocketBlocking&) = delete;
    USocketBlocking& operator=(const USocketBlocking&) = delete;

    virtual int shutdown(int how);
    // 1 readable, 0 timed out, -1 failed.
    virtual int isAvailable(unsigned int milliseconds);
    virtual int isWriteable();
    virtual bool isValid();
    virtual int setPort(uint16_t port);
    virtual uint16_t getPort();
    virtual int setHost(const char* host);
    virtual const char* getHost();
    virtual const char* getPeerAddressText();
    virtual int attach(int descriptor, bool external);
    virtual int getSocket();
    virtual int connect(int timeout);
    virtual int send(const void* data, unsigned int length);
    virtual int receive(void* buffer, unsigned int length);
    virtual int close(bool closeExternal);
    virtual int reserved1();
    virtual int reserved2();
    // Negative timeout: no limit.
    virtual CString readln(int timeout);
    // 0 when every byte went out, -1 otherwise.
    virtual int writeString(const char* text);
    virtual int writeLine(const char* text);
    virtual uint64_t* getCounters();
    virtual uint64_t getUnsentBytes();
    virtual void resetCounters();

    static void setSocketOptions(int descriptor);

protected:
    int _close(bool closeExternal);
    // Sets the last-error fields from a system error number.
    void setLastErrno(int error);
    // Sets the last-error fields from a getaddrinfo result.
    void setLastResolverError(int result, int savedErrno);
    // Records a failed getaddrinfo result and throws "Unable to resolve" under
    // function and line.
    [[noreturn]] void throwResolveFailure(int result, int savedErrno, const char* function, int line);

    uint16_t m_port;
    CString m_host;
    std::atomic<int> m_socket;
    int m_externalSocket;
    uint32_t m_peerAddress; // network byte order
    uint64_t m_counters[4];
};

// TCP client socket whose connect is bounded by a time-out and can be
// cancelled from another thread by close().
class USocketEx : public USocketBlocking
{
public:
    USocketEx();
    ~USocketEx() override;

    int connect(int timeout) override;
    int close(bool closeExternal) override;

private:
    enum WaitResult { Connected, Failed, Cancelled, TimedOut };

    int connectTimed(int timeout);
    WaitResult waitForConnect(int timeout, int& failure);
    // Stores a new descriptor, or -1, under the cancel lock.
    void setDescriptor(int descriptor);
    // Closes the descriptor being connected, under the cancel lock.
    void closeConnecting();

    std::atomic<bool> m_cancel;
    // Guards the descriptor while a connect runs, so that a cancelling thread
    // never shuts down a descriptor number that has already been reused.
    std::mutex m_cancelLock;
    bool m_connecting;
    std::thread::id m_connectThread;
};

// Static helpers beside the TCP classes.
class USocketHelper
{
public:
    // IPv4 address in network byte order, 0 when the text does not resolve.
    static unsigned long inet_addr(const char* text);
    // Listens on host:port and returns the descriptor of one accepted connection.
    static int accept(const CString& host, uint16_t port);
    // The local IPv4 address (dotted text) from which the system would reach
    // the dotted IPv4 address host; throws UException on failure. Defined
    // with the route table, which it asks.
    static CString getBestSourceIPForHost(const char* host);
};
