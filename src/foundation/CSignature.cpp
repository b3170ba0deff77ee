#include "foundation/CSignature.h"

#include "foundation/Array.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UserFiles.h"
#include "foundation/str_helper.h"

#include "tessal_update_keys.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr const char* kLogFile = "/CSignature";

struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
using MdPtr = std::unique_ptr<EVP_MD, MdFree>;

std::vector<unsigned char> decodeBase64(const CString& text)
{
    CByteArray bytes;
    base64Decode(text, bytes);
    return std::vector<unsigned char>(bytes.GetData(), bytes.GetData() + bytes.GetSize());
}

} // namespace

CSignature::CSignature()
{
    m_hmac.hash = &m_hash;
    std::memset(m_hmac.outerPad, 0x5c, sizeof(m_hmac.outerPad));
    std::memset(m_hmac.innerPad, 0x36, sizeof(m_hmac.innerPad));
    for (size_t i = 0; i < sizeof(m_hmac.key); ++i) {
        m_hmac.key[i] = kTessalHmacKey[i];
        m_hmac.outerPad[i] ^= kTessalHmacKey[i];
        m_hmac.innerPad[i] ^= kTessalHmacKey[i];
    }
    m_hmac.keyLength = sizeof(m_hmac.key);

    // The text's length with its terminating NUL.
    m_certificateText = BIO_new_mem_buf(kTessalUpdateCertificate, static_cast<int>(sizeof(kTessalUpdateCertificate)));
    if (m_certificateText == nullptr)
        return;
    m_certificate = PEM_read_bio_X509(m_certificateText, nullptr, nullptr, nullptr);
    if (m_certificate == nullptr)
        return;
    m_publicKey = X509_get_pubkey(m_certificate);
    if (m_publicKey != nullptr && EVP_PKEY_get_base_id(m_publicKey) == EVP_PKEY_RSA)
        m_rsaKey = m_publicKey;
}

CSignature::~CSignature()
{
    EVP_PKEY_free(m_publicKey);
    X509_free(m_certificate);
    BIO_free(m_certificateText);
}

bool CSignature::VerifyDigest(const CString& signature, const CString& digest)
{
    if (m_rsaKey == nullptr)
        return false;
    const std::vector<unsigned char> sig = decodeBase64(signature);
    const std::vector<unsigned char> md = decodeBase64(digest);
    if (sig.empty())
        return false;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(m_rsaKey, nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_md5()) <= 0)
        return false;
    // The digest bytes are compared as an MD5 DigestInfo: only the 16 bytes that were signed pass.
    return EVP_PKEY_verify(ctx.get(), sig.data(), sig.size(), md.data(), md.size()) == 1;
}

CString CSignature::ComputeHmac(const CString& message)
{
    const int digestLength = m_hmac.hash->getDigestBits() / 8;
    std::vector<uint8_t> inner(sizeof(m_hmac.innerPad) + static_cast<size_t>(message.GetLength()));
    std::memcpy(inner.data(), m_hmac.innerPad, sizeof(m_hmac.innerPad));
    if (message.GetLength() > 0)
        std::memcpy(inner.data() + sizeof(m_hmac.innerPad), static_cast<const char*>(message),
                    static_cast<size_t>(message.GetLength()));
    uint8_t innerDigest[16] = {};
    m_hmac.hash->Digest(innerDigest, inner.data(), static_cast<int>(inner.size()));

    uint8_t outer[64 + 16] = {};
    std::memcpy(outer, m_hmac.outerPad, sizeof(m_hmac.outerPad));
    std::memcpy(outer + sizeof(m_hmac.outerPad), innerDigest, static_cast<size_t>(digestLength));
    m_hmac.hash->Digest(m_hmacResult, outer, static_cast<int>(sizeof(m_hmac.outerPad)) + digestLength);

    CString out;
    base64Encode(m_hmacResult, static_cast<int>(sizeof(m_hmacResult)), out);
    return out;
}

CString CSignature::DecryptSignature(const CString& signature)
{
    if (m_rsaKey == nullptr)
        return CString();
    const std::vector<unsigned char> sig = decodeBase64(signature);
    if (sig.empty())
        return CString();
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(m_rsaKey, nullptr));
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return CString();
    // Sized from the key, whatever its length.
    const int keySize = EVP_PKEY_get_size(m_rsaKey);
    if (keySize <= 0)
        return CString();
    std::vector<unsigned char> out(static_cast<size_t>(keySize));
    size_t outLength = out.size();
    if (EVP_PKEY_verify_recover(ctx.get(), out.data(), &outLength, sig.data(), sig.size()) != 1 || outLength == 0)
        return CString();
    CString hex;
    for (size_t i = 0; i < outLength; ++i)
        hex += formatString("%.2x", out[i]);
    return hex;
}

bool CSignature::VerifyFileSignature(std::string file, std::string signature)
{
    unsigned char digest[64] = {};
    unsigned int length = 0;
    if (!computeFileDigest("md5", file, digest, &length)) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("", "failed to get digest"));
        return false;
    }
    CString digestText;
    base64Encode(digest, static_cast<int>(length), digestText);
    return VerifyDigest(CString(signature.c_str()), digestText);
}

bool computeFileDigest(const char* digestName, const std::string& file, unsigned char* out, unsigned int* outLength)
{
    if (digestName == nullptr || out == nullptr || outLength == nullptr)
        return false;
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
    MdPtr md(EVP_MD_fetch(nullptr, digestName, nullptr));
    if (!md || EVP_MD_get_size(md.get()) > 64)
        return false;
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx)
        return false;
    // A regular file only, opened without blocking and never through a link:
    // a FIFO or a device in its place must not stop or flood the digest.
    struct stat status {};
    const UniqueFd in = openRegularFile(file, status);
    if (in.get() < 0 || static_cast<unsigned long long>(status.st_size) > kPackageFileLimit)
        return false;
    if (EVP_DigestInit_ex(ctx.get(), md.get(), nullptr) != 1)
        return false;
    if (!readInPieces(in.get(), kPackageFileLimit,
                      [&ctx](const char* piece, size_t size) { return EVP_DigestUpdate(ctx.get(), piece, size) == 1; }))
        return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return false;
    std::memcpy(out, digest, length);
    *outLength = length;
    return true;
}
