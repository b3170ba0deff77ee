#pragma once

#include "foundation/Hash.h"

#include <cstdint>

// MD5 message digest (RFC 1321).
class CMD5 : public CHash
{
public:
    CMD5();
    ~CMD5() override;

    void Init() override;
    // Null data or a length below 1 is ignored.
    void Update(const uint8_t* data, int length) override;
    // Writes 16 bytes and clears the whole context; call Init before the next digest.
    void Final(uint8_t* digest) override;
    void Digest(uint8_t* digest, const uint8_t* data, int length) override;
    int getDigestBits() override;

private:
    void Transform(const uint8_t* block);

    uint32_t m_state[4];
    uint32_t m_count[2]; // bytes fed so far: low word, high word
    uint8_t m_buffer[64];
};
