#include "foundation/MD5.h"

#include <cstring>

namespace {

inline uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint32_t loadLE(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void storeLE(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z)
{
    return (x & y) | (~x & z);
}
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z)
{
    return (x & z) | (y & ~z);
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z)
{
    return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z)
{
    return y ^ (x | ~z);
}

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline void step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t)
{
    a = b + rotl(a + Fn(b, c, d) + x + t, s);
}

} // namespace

CMD5::CMD5()
{
    Init();
}

CMD5::~CMD5() = default;

void CMD5::Init()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_count[0] = 0;
    m_count[1] = 0;
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

void CMD5::Update(const uint8_t* data, int length)
{
    if (data == nullptr || length < 1)
        return;

    const uint32_t len = uint32_t(length);
    const uint32_t used = m_count[0] & 63;
    m_count[0] += len;
    if (m_count[0] < len)
        ++m_count[1];

    uint32_t offset = 0;
    if (used != 0) {
        const uint32_t room = 64 - used;
        if (len < room) {
            std::memcpy(m_buffer + used, data, len);
            return;
        }
        std::memcpy(m_buffer + used, data, room);
        Transform(m_buffer);
        offset = room;
    }
    for (; offset + 64 <= len; offset += 64)
        Transform(data + offset);
    if (offset < len)
        std::memcpy(m_buffer, data + offset, len - offset);
}

void CMD5::Final(uint8_t* digest)
{
    const uint32_t bitsLow = m_count[0] << 3;
    const uint32_t bitsHigh = (m_count[1] << 3) | (m_count[0] >> 29);

    uint32_t used = m_count[0] & 63;
    m_buffer[used++] = 0x80;
    if (used > 56) {
        std::memset(m_buffer + used, 0, 64 - used);
        Transform(m_buffer);
        used = 0;
    }
    std::memset(m_buffer + used, 0, 56 - used);
    storeLE(m_buffer + 56, bitsLow);
    storeLE(m_buffer + 60, bitsHigh);
    Transform(m_buffer);

    if (digest != nullptr) {
        for (int i = 0; i < 4; ++i)
            storeLE(digest + 4 * i, m_state[i]);
    }

    // Leave nothing of the message behind.
    volatile uint8_t* wipe = reinterpret_cast<volatile uint8_t*>(this->m_state);
    for (size_t i = 0; i < sizeof(m_state); ++i)
        wipe[i] = 0;
    wipe = reinterpret_cast<volatile uint8_t*>(this->m_count);
    for (size_t i = 0; i < sizeof(m_count); ++i)
        wipe[i] = 0;
    wipe = this->m_buffer;
    for (size_t i = 0; i < sizeof(m_buffer); ++i)
        wipe[i] = 0;
}

void CMD5::Digest(uint8_t* digest, const uint8_t* data, int length)
{
    Init();
    Update(data, length);
    Final(digest);
}

int CMD5::getDigestBits()
{
    return 128;
}

void CMD5::Transform(const uint8_t* block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = loadLE(block + 4 * i);

    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];

    // Round 1
    step<F>(a, b, c, d, x[0], 7, 0xd76aa478);
    step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    step<F>(c, d, a, b, x[2], 17, 0x242070db);
    step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);
    step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    step<F>(c, d, a, b, x[6], 17, 0xa8304613);
    step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    step<F>(a, b, c, d, x[8], 7, 0x698098d8);
    step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    step<F>(c, d, a, b, x[10], 17, 0xffff5bb1);
    step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    step<F>(a, b, c, d, x[12], 7, 0x6b901122);
    step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    step<F>(c, d, a, b, x[14], 17, 0xa679438e);
    step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    // Round 2
    step<G>(a, b, c, d, x[1], 5, 0xf61e2562);
    step<G>(d, a, b, c, x[6], 9, 0xc040b340);
    step<G>(c, d, a, b, x[11], 14, 0x265e5a51);
    step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    step<G>(a, b, c, d, x[5], 5, 0xd62f105d);
    step<G>(d, a, b, c, x[10], 9, 0x02441453);
    step<G>(c, d, a, b, x[15], 14, 0xd8a1e681);
    step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    step<G>(a, b, c, d, x[9], 5, 0x21e1cde6);
    step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
    step<G>(c, d, a, b, x[3], 14, 0xf4d50d87);
    step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
    step<G>(a, b, c, d, x[13], 5, 0xa9e3e905);
    step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
    step<G>(c, d, a, b, x[7], 14, 0x676f02d9);
    step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    // Round 3
    step<H>(a, b, c, d, x[5], 4, 0xfffa3942);
    step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    step<H>(c, d, a, b, x[11], 16, 0x6d9d6122);
    step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    step<H>(a, b, c, d, x[1], 4, 0xa4beea44);
    step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);
    step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);
    step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);
    step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);
    step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8);
    step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    // Round 4
    step<I>(a, b, c, d, x[0], 6, 0xf4292244);
    step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    step<I>(c, d, a, b, x[14], 15, 0xab9423a7);
    step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    step<I>(a, b, c, d, x[12], 6, 0x655b59c3);
    step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    step<I>(c, d, a, b, x[10], 15, 0xffeff47d);
    step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);
    step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    step<I>(c, d, a, b, x[6], 15, 0xa3014314);
    step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    step<I>(a, b, c, d, x[4], 6, 0xf7537e82);
    step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}
