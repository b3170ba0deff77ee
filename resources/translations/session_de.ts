<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>Ein Fehler ist aufgetreten. Bitte starten Sie die Netzwerkzugriffsressource erneut aus dem Browser.</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1 ist bereits unter einer anderen Sitzung mit %2 verbunden</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>Kommunikation über HTTP ist nicht erlaubt, bitte verwenden Sie HTTPS</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>Die Ressource '%1' konnte nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>Ihr aktuelles Netzwerk ist unsicher. Bitte wechseln Sie das Netzwerk, um die VPN-Verbindung herzustellen</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>Die Aktualisierung der Anwendung ist fehlgeschlagen: %1.
 Möchten Sie die alte Version weiterhin verwenden?</translation>
    </message>
</context>
</TS>
