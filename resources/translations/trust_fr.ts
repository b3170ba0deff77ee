<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AddTrustedSiteDialog</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Security Alert</source>
        <translation>Alerte de sécurité</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>The site [URL] is attempting to inspect your system's configuration.</source>
        <translation>Le site [URL] tente d'inspecter la configuration de votre système.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>This site is not on your trusted site list.</source>
        <translation>Ce site ne figure pas dans votre liste de sites de confiance.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Always allow inspection from this site</source>
        <translation>Toujours autoriser l'inspection par ce site</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Allow inspection only for this session</source>
        <translation>Autoriser l'inspection pour cette session uniquement</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.ui"/>
        <source>Do not allow inspection</source>
        <translation>Ne pas autoriser l'inspection</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.</source>
        <translation>Le site %1 tente d'établir une connexion de réseau privé virtuel (VPN) à partir de votre système.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>The site %1 is attempting to inspect your system's configuration.</source>
        <translation>Le site %1 tente d'inspecter la configuration de votre système.</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Always allow VPN connection from this site</source>
        <translation>Toujours autoriser la connexion VPN depuis ce site</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Allow VPN connection only for this session</source>
        <translation>Autoriser la connexion VPN pour cette session uniquement</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source>Do not allow VPN connection</source>
        <translation>Ne pas autoriser la connexion VPN</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/AddTrustedSiteDialog.cpp"/>
        <source> - Security Warning</source>
        <translation> - Avertissement de sécurité</translation>
    </message>
</context>
</TS>
