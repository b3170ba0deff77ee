<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>AddTrustedSiteDialog</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Security Alert</source>
        <translation>安全性警示</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>The site [URL] is attempting to inspect your system's configuration.</source>
        <translation>網站 [URL] 正在嘗試檢查您的系統設定。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>This site is not on your trusted site list.</source>
        <translation>此網站不在您的信任網站清單中。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Always allow inspection from this site</source>
        <translation>一律允許此網站進行檢查</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Allow inspection only for this session</source>
        <translation>僅允許此工作階段進行檢查</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Do not allow inspection</source>
        <translation>不允許檢查</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.</source>
        <translation>網站 %1 正在嘗試從您的系統啟動虛擬私人網路 (VPN) 連線。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to inspect your system's configuration.</source>
        <translation>網站 %1 正在嘗試檢查您的系統設定。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Always allow VPN connection from this site</source>
        <translation>一律允許來自此網站的 VPN 連線</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Allow VPN connection only for this session</source>
        <translation>僅允許此工作階段的 VPN 連線</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Do not allow VPN connection</source>
        <translation>不允許 VPN 連線</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source> - Security Warning</source>
        <translation> - 安全性警告</translation>
    </message>
</context>
</TS>
