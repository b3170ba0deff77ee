<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AddTrustedSiteDialog</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Security Alert</source>
        <translation>安全警报</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>The site [URL] is attempting to inspect your system's configuration.</source>
        <translation>站点 [URL] 正在尝试检查您的系统配置。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>This site is not on your trusted site list.</source>
        <translation>此站点不在您的受信任站点列表中。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Always allow inspection from this site</source>
        <translation>始终允许此站点进行检查</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Allow inspection only for this session</source>
        <translation>仅允许本次会话进行检查</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Do not allow inspection</source>
        <translation>不允许检查</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.</source>
        <translation>站点 %1 正在尝试从您的系统启动虚拟专用网络 (VPN) 连接。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to inspect your system's configuration.</source>
        <translation>站点 %1 正在尝试检查您的系统配置。</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Always allow VPN connection from this site</source>
        <translation>始终允许来自此站点的 VPN 连接</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Allow VPN connection only for this session</source>
        <translation>仅允许本次会话的 VPN 连接</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Do not allow VPN connection</source>
        <translation>不允许 VPN 连接</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source> - Security Warning</source>
        <translation> - 安全警告</translation>
    </message>
</context>
</TS>
