<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - 憑證警告</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>由於下列原因，無法驗證網站 %1 的身分：</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>沒有錯誤</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>找不到發行者</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>主體簽章解密失敗</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>發行者公開金鑰解碼失敗</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>主體簽章驗證失敗</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>主體憑證尚未生效</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>主體憑證已過期</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>主體的「生效時間」欄位無效</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>主體的「到期時間」欄位無效</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>主體憑證為自我簽署憑證</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>根 CA 憑證不受信任</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>無法取得本機發行者憑證</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>無法驗證鏈中的第一個憑證</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>主體憑證已被撤銷</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>無效的 CA 憑證</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>超出路徑長度</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>用途無效</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>憑證不受信任</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>憑證被拒絕</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>主體與發行者不相符</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>CA 發行者序號不相符</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>沒有對等憑證</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>主機名稱不相符</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>不支援 SSL</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>憑證已列入黑名單</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>未指定的錯誤</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>所有應用程式原則</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>向遠端電腦證明您的身分</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>確保遠端電腦的身分</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>保護電子郵件訊息</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>OCSP 簽章</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>時間戳記</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>數位簽章</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>不可否認</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>金鑰加密</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>資料加密</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>金鑰協議</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>憑證簽章</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>CRL 簽章</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>僅加密</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>僅解密</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>序號</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>簽章演算法</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>發行者</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>有效期自</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>有效期至</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>主體</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>公開金鑰</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>欄位</translation>
    </message>
    <message>
        <source>value</source>
        <translation>值</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>憑證警告</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>是否要繼續？</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>檢視憑證...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>憑證</translation>
    </message>
    <message>
        <source>General</source>
        <translation>一般</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>憑證資訊</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>此憑證的預定用途如下：</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>簽發給：</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>簽發者：</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>有效期自：</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>詳細資料</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>詳細資料：</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
