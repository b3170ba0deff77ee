<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - 证书警告</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>由于以下原因，无法验证站点 %1 的身份：</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>无错误</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>找不到颁发者</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>主题签名解密失败</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>颁发者公钥解码失败</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>主题签名验证失败</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>主题证书尚未生效</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>主题证书已过期</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>主题的“生效时间”字段无效</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>主题的“失效时间”字段无效</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>主题证书为自签名证书</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>根 CA 证书不受信任</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>无法获取本地颁发者证书</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>无法验证链中的第一个证书</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>主题证书已被吊销</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>无效的 CA 证书</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>超出路径长度</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>用途无效</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>证书不受信任</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>证书被拒绝</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>主题与颁发者不匹配</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>CA 颁发者序列号不匹配</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>没有对等方证书</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>主机名不匹配</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>不支持 SSL</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>证书已被列入黑名单</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>未指定的错误</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>所有应用程序策略</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>向远程计算机证明你的身份</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>保证远程计算机的身份</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>保护电子邮件</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>OCSP 签名</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>时间戳</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>数字签名</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>不可否认</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>密钥加密</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>数据加密</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>密钥协商</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>证书签名</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>CRL 签名</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>仅加密</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>仅解密</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>签名算法</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>颁发者</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>有效期从</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>有效期至</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>使用者</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>公钥</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>字段</translation>
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
        <translation>证书警告</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>是否继续？</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>查看证书...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>证书</translation>
    </message>
    <message>
        <source>General</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>证书信息</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>此证书的目的如下：</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>颁发给：</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>颁发者：</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>有效期从：</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>详细信息：</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
