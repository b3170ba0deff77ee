#include "foundation/MD5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t* d)
{
    std::string s;
    char b[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(b, sizeof b, "%02x", d[i]);
        s += b;
    }
    return s;
}

// The digest, checked to fill exactly the length the hash declares (the
// signature code sizes its buffers by it).
std::string md5Of(const std::string& m)
{
    CMD5 h;
    const int length = h.getDigestBits() / 8;
    if (length != 16)
        return "declared length " + std::to_string(length);
    uint8_t d[17];
    d[16] = 0xa5;
    h.Digest(d, reinterpret_cast<const uint8_t*>(m.data()), int(m.size()));
    if (d[16] != 0xa5)
        return "wrote past the declared length";
    return hex(d);
}

std::string oracle(const std::vector<uint8_t>& m)
{
    uint8_t d[16];
    unsigned int n = 0;
    EVP_Digest(m.data(), m.size(), d, &n, EVP_md5(), nullptr);
    return hex(d);
}

std::vector<uint8_t> pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 131 + 7);
    return v;
}

} // namespace

TEST(Md5, Rfc1321TestSuite)
{
    struct {
        const char* msg;
        const char* digest;
    } const vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& v : vectors)
        EXPECT_EQ(md5Of(v.msg), v.digest) << '"' << v.msg << '"';
}

TEST(Md5, PaddingBoundariesMatchOracle)
{
    for (size_t n : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 1000u, 4096u}) {
        auto m = pattern(n);
        CMD5 h;
        uint8_t d[16];
        h.Digest(d, m.data(), int(m.size()));
        EXPECT_EQ(hex(d), oracle(m)) << n << " bytes";
    }
}

TEST(Md5, PiecewiseUpdatesGiveTheSameDigest)
{
    const auto m = pattern(1000);
    const std::string want = oracle(m);
    for (size_t piece : {1u, 63u, 64u, 65u, 7u, 129u}) {
        CMD5 h;
        for (size_t off = 0; off < m.size(); off += piece) {
            size_t n = std::min(piece, m.size() - off);
            h.Update(m.data() + off, int(n));
        }
        uint8_t d[16];
        h.Final(d);
        EXPECT_EQ(hex(d), want) << "pieces of " << piece;
    }
}

TEST(Md5, IgnoresNullAndNonPositiveLengths)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    CMD5 h;
    h.Update(abc, 0);
    h.Update(abc, -5);
    h.Update(nullptr, 3);
    h.Update(abc, 3);
    uint8_t d[16];
    h.Final(d);
    EXPECT_EQ(hex(d), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, FinalClearsTheContext)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    CMD5 h;
    uint8_t d[16];
    h.Digest(d, abc, 3);
    // Without Init the chaining value is zero, so this is not the MD5 of "abc".
    h.Update(abc, 3);
    h.Final(d);
    EXPECT_NE(hex(d), "900150983cd24fb0d6963f7d28e17f72");
    h.Init();
    h.Update(abc, 3);
    h.Final(d);
    EXPECT_EQ(hex(d), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, WorksThroughTheHashInterface)
{
    CMD5 md5;
    CHash& h = md5;
    const std::string m = "message digest";
    uint8_t d[16];
    h.Digest(d, reinterpret_cast<const uint8_t*>(m.data()), int(m.size()));
    EXPECT_EQ(hex(d), "f96b697d7cb7938d525a2f31aaf161d0");
}
