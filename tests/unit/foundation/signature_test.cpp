// CSignature against signatures made with the test-only key by the openssl tool.
#include "foundation/CSignature.h"
#include "foundation/str_helper.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const std::string kKeys = std::string(QT_TESTCASE_SOURCEDIR) + "/keys-TEST-ONLY/";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class SignatureTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tessal-signature-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Base64 of the RSA signature over the file's digest (MD5 unless named)
    // with the test-only key or the given one.
    std::string sign(const std::string& file, const std::string& digest = "md5", const std::string& key = std::string())
    {
        const std::string sig = file + ".sig";
        const std::string command = "openssl dgst -" + digest + " -sign '" +
                                    (key.empty() ? kKeys + "update_signing_TEST_ONLY.key" : key) + "' -out '" + sig +
                                    "' '" + file + "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const std::string raw = readFile(sig);
        CString out;
        base64Encode(raw.data(), static_cast<int>(raw.size()), out);
        return std::string(out);
    }
    static std::string md5Base64(const std::string& data)
    {
        unsigned char digest[16];
        unsigned int length = 0;
        EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
        CString out;
        base64Encode(digest, static_cast<int>(length), out);
        return std::string(out);
    }

    std::string m_dir;
};

TEST_F(SignatureTest, DigestSignedWithTheMatchingKeyVerifies)
{
    const std::string file = write("pkg", "package contents\n");
    const std::string signature = sign(file);
    CSignature s;
    ASSERT_TRUE(s.hasKey());
    EXPECT_TRUE(s.VerifyDigest(signature.c_str(), md5Base64("package contents\n").c_str()));
    // Flipped digest bit, other content, empty and garbage signatures.
    std::string digest = md5Base64("package contents\n");
    digest[3] = digest[3] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(s.VerifyDigest(signature.c_str(), digest.c_str()));
    EXPECT_FALSE(s.VerifyDigest(signature.c_str(), md5Base64("other").c_str()));
    EXPECT_FALSE(s.VerifyDigest("", md5Base64("package contents\n").c_str()));
    EXPECT_FALSE(s.VerifyDigest("!!!!", md5Base64("package contents\n").c_str()));
    EXPECT_FALSE(s.VerifyDigest(signature.c_str(), ""));
}

// Well-formed signatures that are not ours: another RSA key of the same size,
// or another digest than MD5.
TEST_F(SignatureTest, OtherKeyOrOtherDigestIsRefused)
{
    const std::string other = m_dir + "/other.key";
    ASSERT_EQ(
        std::system(
            ("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out '" + other + "' 2>/dev/null").c_str()),
        0);
    const std::string file = write("pkg", "package contents\n");
    CSignature s;
    for (const auto& [digest, key] : {std::pair{"md5", other}, {"sha256", ""}, {"sha1", ""}}) {
        const std::string signature = sign(file, digest, key);
        EXPECT_FALSE(signature.empty() || s.VerifyDigest(signature.c_str(), md5Base64("package contents\n").c_str()))
            << digest;
        EXPECT_FALSE(s.VerifyFileSignature(file, signature)) << digest;
    }
}

TEST_F(SignatureTest, LineBreaksAndBlanksInsideBase64DoNotMatter)
{
    const std::string file = write("pkg", "x");
    std::string signature = sign(file);
    for (size_t i = 64; i < signature.size(); i += 65)
        signature.insert(i, "\n");
    signature += "\r\n";
    std::string digest = md5Base64("x");
    digest.insert(4, " ");
    EXPECT_TRUE(CSignature().VerifyDigest(signature.c_str(), digest.c_str()));
}

TEST_F(SignatureTest, FileSignatureReadsTheFileAndFailsWhenItCannot)
{
    const std::string file = write("pkg", std::string(5000, 'z'));
    const std::string signature = sign(file);
    CSignature s;
    EXPECT_TRUE(s.VerifyFileSignature(file, signature));
    EXPECT_FALSE(s.VerifyFileSignature(m_dir + "/missing", signature));
    EXPECT_FALSE(s.VerifyFileSignature(m_dir, signature)); // a folder
    // The signature of empty input does not pass for a file that cannot be read.
    const std::string empty = write("empty", "");
    const std::string emptySignature = sign(empty);
    EXPECT_TRUE(s.VerifyFileSignature(empty, emptySignature));
    EXPECT_FALSE(s.VerifyFileSignature(m_dir + "/missing", emptySignature));
}

TEST_F(SignatureTest, DecryptRecoversTheMd5DigestInfo)
{
    const std::string file = write("pkg", "abc");
    const CString hex = CSignature().DecryptSignature(sign(file).c_str());
    // DigestInfo of MD5 followed by MD5("abc").
    EXPECT_STREQ(hex, "3020300c06082a864886f70d020505000410900150983cd24fb0d6963f7d28e17f72");
    EXPECT_STREQ(CSignature().DecryptSignature(""), "");
    EXPECT_STREQ(CSignature().DecryptSignature("AAAA"), "");
}

TEST_F(SignatureTest, HmacIsRfc2104WithTheBuiltInKey)
{
    const std::string key = readFile(kKeys + "update_hmac_TEST_ONLY.bin");
    ASSERT_EQ(key.size(), 64u);
    for (const std::string& message : {std::string(), std::string("message"), std::string(1000, 'm')}) {
        unsigned char expected[16];
        size_t length = 0;
        EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
        char md5[] = "MD5";
        OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, md5, 0),
                               OSSL_PARAM_construct_end()};
        ASSERT_EQ(EVP_MAC_init(ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size(), params), 1);
        EVP_MAC_update(ctx, reinterpret_cast<const unsigned char*>(message.data()), message.size());
        EVP_MAC_final(ctx, expected, &length, sizeof(expected));
        EVP_MAC_CTX_free(ctx);
        EVP_MAC_free(mac);
        CString expectedText;
        base64Encode(expected, 16, expectedText);

        CSignature s;
        EXPECT_STREQ(s.ComputeHmac(CString(message.data(), static_cast<int>(message.size()))), expectedText);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.lastHmac()), 16),
                  std::string(reinterpret_cast<const char*>(expected), 16));
    }
}

TEST_F(SignatureTest, UnknownDigestNameLeavesTheOutputAlone)
{
    const std::string file = write("pkg", "abc");
    unsigned char out[64];
    std::fill(out, out + 64, 0xee);
    unsigned int length = 77;
    EXPECT_FALSE(computeFileDigest("no-such-digest", file, out, &length));
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(out[0], 0xee);
    EXPECT_TRUE(computeFileDigest("sha512", file, out, &length));
    EXPECT_EQ(length, 64u);
}

} // namespace
