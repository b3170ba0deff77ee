// Certificate texts on certificates made at test time, and the reasons text
// built from the toolkit's certificate errors.
#include "AccessServer.h"
#include "dialogs/CertificateDetails.h"

#include <QSslCertificate>
#include <QSslKey>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tessal::qt;
using tessal::test::TestCertificates;

namespace {

QSslCertificate load(const QString& path)
{
    const QList<QSslCertificate> list = QSslCertificate::fromPath(path);
    return list.isEmpty() ? QSslCertificate() : list.first();
}

class CertificateDetailsTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        certs = new TestCertificates;
        TestCertificates::Blueprint full;
        full.name = "full";
        full.key = "rsa";
        full.subject = "/CN=full.example/O=Tests";
        full.serial = "0x0123456789ABCDEF0123456789ABCDEF01";
        full.extensions = {
            "extendedKeyUsage = serverAuth, clientAuth, emailProtection, OCSPSigning, timeStamping, codeSigning",
            "keyUsage = digitalSignature, keyEncipherment, keyCertSign, decipherOnly, keyAgreement"};
        TestCertificates::Blueprint plain;
        plain.name = "plain";
        plain.subject = "/O=No Common Name";
        plain.serial = "7";
        made =
            certs->makeCertificate(full, &fullCert, &fullKey) && certs->makeCertificate(plain, &plainCert, &plainKey);
        if (!made)
            ADD_FAILURE() << certs->error().toStdString();
    }
    static void TearDownTestSuite() { delete certs; }
    void SetUp() override { ASSERT_TRUE(made); }

    static inline TestCertificates* certs = nullptr;
    static inline bool made = false;
    static inline QString fullCert, fullKey, plainCert, plainKey;
};

TEST_F(CertificateDetailsTest, ExtendedKeyUsagePurposes)
{
    const QMap<int, QString> purposes = extendedKeyUsageTexts(load(fullCert));
    const QMap<int, QString> expected = {{1, "Proves your identity to a remote computer"},
                                         {2, "Ensures the identity of a remote computer"},
                                         {3, "Protects e-mail messages"},
                                         {4, "OCSP signing"},
                                         {5, "Time Stamping"}};
    EXPECT_EQ(purposes, expected); // code signing adds nothing
    const QMap<int, QString> none = extendedKeyUsageTexts(load(plainCert));
    EXPECT_EQ(none, (QMap<int, QString>{{0, "All application policies"}}));
}

TEST_F(CertificateDetailsTest, KeyUsageBits)
{
    const QMap<int, QString> bits = keyUsageTexts(load(fullCert));
    const QMap<int, QString> expected = {{0, "Digital signature"},
                                         {2, "Key encipherment"},
                                         {4, "Key agreement"},
                                         {5, "Key certificate sign"},
                                         {8, "Decipher only"}};
    EXPECT_EQ(bits, expected);
    EXPECT_TRUE(keyUsageTexts(load(plainCert)).isEmpty());
}

TEST_F(CertificateDetailsTest, SerialAlgorithmAndKey)
{
    const QSslCertificate full = load(fullCert);
    EXPECT_EQ(serialNumberText(full, true), QByteArray("0123456789ABCDEF0123456789ABCDEF01"));
    EXPECT_EQ(serialNumberText(full, false), QByteArray("387165715252267757836693082728079159041"));
    EXPECT_EQ(serialNumberText(load(plainCert), true), QByteArray("07"));
    EXPECT_EQ(signatureAlgorithmName(full), "sha256WithRSAEncryption");
    EXPECT_EQ(signatureAlgorithmName(load(plainCert)), "ecdsa-with-SHA256");

    // An elliptic-curve key is shown as its SubjectPublicKeyInfo: 91 bytes for P-256.
    const QString ec = publicKeyDerHex(load(plainCert));
    EXPECT_EQ(ec.size(), 91 * 3 - 1);
    EXPECT_TRUE(ec.startsWith("30 59 30 13 06 07 2A 86 48 CE 3D 02 01"));
    const QString rsa = publicKeyDerHex(full);
    EXPECT_FALSE(rsa.isEmpty());
    EXPECT_EQ(rsa, QString::fromLatin1(hexBytesText(full.publicKey().toDer(), ' ')));
}

TEST_F(CertificateDetailsTest, NullCertificateGivesEmptyTexts)
{
    const QSslCertificate none{QByteArray()};
    EXPECT_TRUE(signatureAlgorithmName(none).isEmpty());
    EXPECT_TRUE(serialNumberText(none, true).isEmpty());
    EXPECT_TRUE(publicKeyDerHex(none).isEmpty());
    EXPECT_TRUE(keyUsageTexts(none).isEmpty());
    EXPECT_EQ(certificateExtension(none, 126), nullptr);
}

TEST(CertificateTexts, HexBytes)
{
    EXPECT_EQ(hexBytesText(QByteArray("\x0a\xbc\xff", 3), ':'), QByteArray("0A:BC:FF"));
    EXPECT_EQ(hexBytesText(QByteArray("\x01", 1), ':'), QByteArray("01"));
    EXPECT_EQ(hexBytesText(QByteArray(), ' '), QByteArray());
}

TEST(CertificateTexts, ReasonsForEveryAcceptedKind)
{
    const QList<QPair<QSslError::SslError, QString>> accepted = {
        {QSslError::CertificateExpired, "Subject certificate is expired"},
        {QSslError::SelfSignedCertificate, "Subject certificate is self signed"},
        {QSslError::SelfSignedCertificateInChain, "Root CA certificate is untrusted"},
        {QSslError::UnableToGetLocalIssuerCertificate, "Unable to get local issuer certificate"},
        {QSslError::UnableToVerifyFirstCertificate, "Unable to verify first certificate in chain"},
        {QSslError::InvalidPurpose, "Invalid purpose"},
        {QSslError::CertificateUntrusted, "Certificate is untrusted"},
        {QSslError::HostNameMismatch, "Host name mismatch"},
    };
    for (const auto& [kind, text] : accepted)
        EXPECT_EQ(sslErrorsText({QSslError(kind)}), "- " + text + "\n") << kind;

    EXPECT_EQ(sslErrorsText({QSslError(QSslError::NoError)}), "");
    EXPECT_EQ(sslErrorsText({QSslError(QSslError::CertificateExpired), QSslError(QSslError::HostNameMismatch)}),
              "- Subject certificate is expired\n- Host name mismatch\n");
}

TEST(CertificateTexts, EveryOtherKindThrows)
{
    for (int v = -1; v <= 24; ++v) {
        const auto kind = static_cast<QSslError::SslError>(v);
        if (v == 0 || v == 6 || v == 9 || v == 10 || v == 11 || v == 12 || v == 16 || v == 17 || v == 22)
            continue;
        const QSslError e(kind);
        try {
            sslErrorsText({QSslError(QSslError::CertificateExpired), e});
            ADD_FAILURE() << "no throw for " << v;
        } catch (const std::runtime_error& ex) {
            EXPECT_EQ(std::string(ex.what()), "Unhandled ssl error: " + e.errorString().toStdString());
        }
    }
}

TEST(CertificateTexts, SingleErrorTexts)
{
    EXPECT_EQ(sslErrorText(QSslError(QSslError::CertificateNotYetValid)), "Subject certificate is Not yet valid");
    EXPECT_EQ(sslErrorText(QSslError(QSslError::UnspecifiedError)), "Unspecified error");
    EXPECT_EQ(sslErrorText(QSslError(QSslError::AuthorityIssuerSerialNumberMismatch)), "CA issuer serial mismatch");
    // A value outside the table falls back to the toolkit's own text.
    const QSslError ocsp(QSslError::OcspNoResponseFound);
    EXPECT_EQ(sslErrorText(ocsp), ocsp.errorString());
}

} // namespace
