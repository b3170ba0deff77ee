<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AddTrustedSiteDialog</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Security Alert</source>
        <translation>Sicherheitshinweis</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>The site [URL] is attempting to inspect your system's configuration.</source>
        <translation>Die Website [URL] versucht, die Konfiguration Ihres Systems zu überprüfen.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>This site is not on your trusted site list.</source>
        <translation>Diese Website ist nicht in Ihrer Liste vertrauenswürdiger Websites enthalten.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Always allow inspection from this site</source>
        <translation>Überprüfung durch diese Website immer zulassen</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Allow inspection only for this session</source>
        <translation>Überprüfung nur für diese Sitzung zulassen</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Do not allow inspection</source>
        <translation>Überprüfung nicht zulassen</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.</source>
        <translation>Die Website %1 versucht, von Ihrem System aus eine VPN-Verbindung (Virtual Private Network) herzustellen.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to inspect your system's configuration.</source>
        <translation>Die Website %1 versucht, die Konfiguration Ihres Systems zu überprüfen.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Always allow VPN connection from this site</source>
        <translation>VPN-Verbindung von dieser Website immer zulassen</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Allow VPN connection only for this session</source>
        <translation>VPN-Verbindung nur für diese Sitzung zulassen</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Do not allow VPN connection</source>
        <translation>VPN-Verbindung nicht zulassen</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source> - Security Warning</source>
        <translation> - Sicherheitswarnung</translation>
    </message>
</context>
</TS>
