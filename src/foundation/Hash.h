#pragma once

#include <cstdint>

// Abstract incremental hash function.
class CHash
{
public:
    virtual ~CHash() = default;
    virtual void Init() = 0;
    virtual void Update(const uint8_t* data, int length) = 0;
    virtual void Final(uint8_t* digest) = 0;
    virtual void Digest(uint8_t* digest, const uint8_t* data, int length) = 0;
    virtual int getDigestBits() = 0;
};
