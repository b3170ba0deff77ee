#pragma once
// Package signatures: RSA (PKCS #1 v1.5) over MD5 digests, checked with the
// public key of the certificate built into the program, and a keyed MD5 hash
// with the built-in HMAC key.

#include "foundation/MD5.h"
#include "foundation/String.h"

#include <cstdint>
#include <string>

typedef struct bio_st BIO;
typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

class CSignature
{
public:
    CSignature();
    ~CSignature();

    CSignature(const CSignature&) = delete;
    CSignature& operator=(const CSignature&) = delete;

    // signature and digest in Base64; true when the signature is valid for
    // exactly these digest bytes under the built-in key.
    bool VerifyDigest(const CString& signature, const CString& digest);
    // Base64 of HMAC-MD5 of the message's characters with the built-in key.
    CString ComputeHmac(const CString& message);
    // The signed bytes recovered from a Base64 signature, lower-case hex; empty on failure.
    CString DecryptSignature(const CString& signature);
    // MD5 of the file, then VerifyDigest. A file that cannot be read fails.
    bool VerifyFileSignature(std::string file, std::string signature);

    // True when the built-in certificate gave an RSA key.
    bool hasKey() const { return m_rsaKey != nullptr; }
    const uint8_t* lastHmac() const { return m_hmacResult; }

private:
    struct HmacContext {
        CHash* hash = nullptr;
        uint8_t key[64] = {};
        uint32_t keyLength = 0;
        uint8_t outerPad[64] = {};
        uint8_t innerPad[64] = {};
    };

    CMD5 m_hash;
    HmacContext m_hmac;
    uint8_t m_hmacResult[16] = {};
    BIO* m_certificateText = nullptr;
    X509* m_certificate = nullptr;
    EVP_PKEY* m_publicKey = nullptr;
    EVP_PKEY* m_rsaKey = nullptr; // m_publicKey when it is an RSA key, else null
};

// Digest of a file with the OpenSSL digest of that name. out must hold 64
// bytes. False for an unknown digest, a file that cannot be opened, is no
// regular file (a link as its name is not followed) or is far too large, or a
// read error; out and outLength are then left alone.
bool computeFileDigest(const char* digestName, const std::string& file, unsigned char* out, unsigned int* outLength);
