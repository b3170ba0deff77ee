<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>AddTrustedSiteDialog</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Security Alert</source>
        <translation>セキュリティの警告</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>The site [URL] is attempting to inspect your system's configuration.</source>
        <translation>サイト [URL] がお使いのシステムの構成を検査しようとしています。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>This site is not on your trusted site list.</source>
        <translation>このサイトは信頼済みサイトの一覧に含まれていません。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Always allow inspection from this site</source>
        <translation>このサイトからの検査を常に許可する</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Allow inspection only for this session</source>
        <translation>このセッションに限り検査を許可する</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Do not allow inspection</source>
        <translation>検査を許可しない</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.</source>
        <translation>サイト %1 がお使いのシステムから仮想プライベート ネットワーク (VPN) 接続を開始しようとしています。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to inspect your system's configuration.</source>
        <translation>サイト %1 がお使いのシステムの構成を検査しようとしています。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Always allow VPN connection from this site</source>
        <translation>このサイトからの VPN 接続を常に許可する</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Allow VPN connection only for this session</source>
        <translation>このセッションに限り VPN 接続を許可する</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Do not allow VPN connection</source>
        <translation>VPN 接続を許可しない</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source> - Security Warning</source>
        <translation> - セキュリティ警告</translation>
    </message>
</context>
</TS>
