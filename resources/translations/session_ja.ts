<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>エラーが発生しました。ブラウザーからネットワークアクセスリソースを再起動してください。</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1 は別のセッションで既に %2 に接続されています</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>HTTP での通信は許可されていません。HTTPS を使用してください</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>リソース '%1' を開けませんでした: %2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>現在のネットワークは脆弱です。VPN を確立するにはネットワークを変更してください</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>アプリケーションの更新に失敗しました: %1。
 古いバージョンを引き続き使用しますか?</translation>
    </message>
</context>
</TS>
