<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>ソフトウェア更新バージョン %1 を適用しています&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;注意: すべてのセッションが切断され、アプリケーションが再起動されます。&lt;br&gt;注意: インストール後にブラウザーを更新してください&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>ソフトウェア更新 %1 が利用可能です。この更新をダウンロードしますか?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>更新が %1 にダウンロードされました。インストールしますか? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;注意: ネイティブ インストーラーが失敗した場合は、適切なパッケージを手動でインストールしてください。&lt;br&gt;注意: すべてのセッションが切断され、アプリケーションが再起動されます。&lt;br&gt;注意: インストール後にブラウザーを更新してください&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>ソフトウェア更新の署名を検証できませんでした</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>EndPoint Inspection コンポーネントを更新しています</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>%1 の更新 v%2 をダウンロードしています</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>ダウンロード フォルダーを使用できません: %1 は別のユーザーが管理しています</translation>
    </message>
</context>
</TS>
