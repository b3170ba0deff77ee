<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>Software-Update auf Version %1 wird angewendet&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;HINWEIS: Dadurch werden alle Sitzungen getrennt und die Anwendung neu gestartet.&lt;br&gt;HINWEIS: Bitte aktualisieren Sie den Browser nach der Installation&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>Software-Update %1 ist verfügbar. Möchten Sie dieses Update herunterladen?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>Updates wurden nach %1 heruntergeladen. Möchten Sie sie installieren? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;HINWEIS: Bitte installieren Sie das passende Paket manuell, falls das systemeigene Installationsprogramm fehlschlägt.&lt;br&gt;HINWEIS: Dadurch werden alle Sitzungen getrennt und die Anwendung neu gestartet.&lt;br&gt;HINWEIS: Bitte aktualisieren Sie den Browser nach der Installation&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>Die Signatur des Software-Updates konnte nicht überprüft werden</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>EndPoint-Inspection-Komponenten werden aktualisiert</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>Update %1 v%2 wird heruntergeladen</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>Der Ordner „Downloads“ kann nicht verwendet werden: %1 wird von einem anderen Benutzer kontrolliert</translation>
    </message>
</context>
</TS>
