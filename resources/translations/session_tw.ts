<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>發生錯誤。請從瀏覽器重新啟動網路存取資源。</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1 已在另一個工作階段中連線到 %2</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>不允許透過 HTTP 通訊，請使用 HTTPS</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>無法開啟資源「%1」：%2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>您目前的網路不安全，請更換網路以建立 VPN</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>應用程式更新失敗：%1。
 是否繼續使用舊版本？</translation>
    </message>
</context>
</TS>
