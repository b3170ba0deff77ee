<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>Application de la mise à jour logicielle version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;REMARQUE : toutes les sessions seront déconnectées et l'application redémarrera.&lt;br&gt;REMARQUE : veuillez actualiser le navigateur après l'installation&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>La mise à jour logicielle %1 est disponible. Voulez-vous télécharger cette mise à jour ?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>Mises à jour téléchargées dans %1. Voulez-vous les installer ? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;REMARQUE : installez manuellement le paquet approprié si le programme d'installation natif échoue.&lt;br&gt;REMARQUE : toutes les sessions seront déconnectées et l'application redémarrera.&lt;br&gt;REMARQUE : veuillez actualiser le navigateur après l'installation&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>Impossible de vérifier la signature de la mise à jour logicielle</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>Mise à jour des composants EndPoint Inspection</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>Téléchargement de la mise à jour %1 v%2</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>Impossible d'utiliser le dossier Téléchargements : %1 est contrôlé par un autre utilisateur</translation>
    </message>
</context>
</TS>
