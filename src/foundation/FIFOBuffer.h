#pragma once
// CStream: the library's abstract byte stream. CFIFOBuffer: a fixed-capacity
// ring of bytes with its own recursive lock; every operation holds the lock
// for its whole run, so "count, then copy" is atomic between threads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "foundation/UClasses.h"
#include "foundation/m_sync.h"

class CStream : public UObject
{
public:
    CStream();
    ~CStream() override;

    // Bytes read or written, or a failure code (not above 0).
    virtual int readBytes(size_t length, void* destination) = 0;
    virtual int writeBytes(size_t length, const void* source) = 0;
};

class CFIFOBuffer : public CStream
{
public:
    static const int kDefaultCapacity = 70000;

    CFIFOBuffer();
    explicit CFIFOBuffer(int capacity);
    ~CFIFOBuffer() override;
    CFIFOBuffer(const CFIFOBuffer&) = delete;
    CFIFOBuffer& operator=(const CFIFOBuffer&) = delete;

    // Empties the buffer and replaces its storage; a capacity that cannot be
    // allocated leaves a buffer of capacity 0 (and a record).
    void Init(int capacity);

    int count();
    int freeSpace();
    void clear();

    // Each gives the bytes moved, or -1 (nothing moved) when the buffer does
    // not hold the bytes or the room asked for.
    int push(const void* source, size_t length);
    int pop(void* destination, size_t length);
    // pop without removing.
    int read(void* destination, size_t length);
    // Removes without copying; 0 on success.
    int skip(size_t length);
    // Hand bytes to another stream's writeBytes, in at most two pieces, and
    // give the bytes it took; a stream that takes less than a piece gets the
    // rest on a later call. popToStream removes what the stream took (also
    // when it then fails, giving -1), readToStream leaves everything in place.
    // A stream that throws after taking bytes counts as having taken them.
    int popToStream(CStream* stream, size_t length);
    int readToStream(CStream* stream, size_t length);
    // Moves everything stored into target (replacing its buffer); 0 on success.
    int popToAutoMemory(AutoMemory& target);

    // Recursive; an unlock by a thread that does not hold the lock does nothing.
    void lock();
    void unlock();

    int readBytes(size_t length, void* destination) override;
    int writeBytes(size_t length, const void* source) override;

    int capacity() const { return m_iSize - 1; }

private:
    int storedCount() const;
    void copyOut(void* destination, size_t length) const;
    int sendToStream(CStream* stream, size_t length, bool remove, const char* function, const char* tag,
                     const char* operation, const char* lengthMessage);

    uint32_t m_lockDepth;
    unsigned char* m_data;
    AutoMemory m_storage;
    int32_t m_iHead;
    int32_t m_iTail;
    int32_t m_iSize;
    UCriticalSection m_lock;
    std::atomic<std::thread::id> m_owner;
};
