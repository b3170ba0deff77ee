<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - 証明書の警告</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>次の理由により、サイト %1 の ID を確認できません:</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>エラーなし</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>発行者が見つかりません</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>サブジェクトの署名を復号できませんでした</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>発行者の公開鍵をデコードできませんでした</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>サブジェクトの署名を検証できませんでした</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>サブジェクトの証明書はまだ有効ではありません</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>サブジェクトの証明書の有効期限が切れています</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>サブジェクトの有効期間の開始フィールドが無効です</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>サブジェクトの有効期間の終了フィールドが無効です</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>サブジェクトの証明書は自己署名です</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>ルート CA 証明書は信頼されていません</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>ローカル発行者の証明書を取得できません</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>チェーンの最初の証明書を検証できません</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>サブジェクトの証明書は失効しています</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>CA 証明書が無効です</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>パスの長さを超えています</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>目的が無効です</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>証明書は信頼されていません</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>証明書は拒否されました</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>サブジェクトと発行者が一致しません</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>CA 発行者のシリアル番号が一致しません</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>ピア証明書がありません</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>ホスト名が一致しません</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>SSL はサポートされていません</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>証明書はブラックリストに登録されています</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>不明なエラー</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>すべてのアプリケーション ポリシー</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>リモート コンピューターに ID を証明します</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>リモート コンピューターの ID を保証します</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>電子メール メッセージを保護します</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>OCSP 署名</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>タイム スタンプ</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>デジタル署名</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>否認防止</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>キーの暗号化</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>データの暗号化</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>キーの共有</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>証明書の署名</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>CRL 署名</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>暗号化のみ</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>復号のみ</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>バージョン</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>シリアル番号</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>署名アルゴリズム</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>発行者</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>有効期間の開始</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>有効期間の終了</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>サブジェクト</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>公開キー</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>フィールド</translation>
    </message>
    <message>
        <source>value</source>
        <translation>値</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>証明書の警告</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>続行しますか?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>証明書の表示...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>証明書</translation>
    </message>
    <message>
        <source>General</source>
        <translation>全般</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>証明書の情報</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>この証明書の目的:</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>発行先:</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>発行者:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>有効期間:</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>詳細:</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
