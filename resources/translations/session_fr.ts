<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>Une erreur s'est produite. Veuillez relancer la ressource d'accès réseau depuis le navigateur.</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1 est déjà connecté à %2 dans une autre session</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>La communication via HTTP n'est pas autorisée, veuillez utiliser HTTPS</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>Impossible d'ouvrir la ressource '%1' : %2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>Votre réseau actuel est vulnérable. Veuillez changer de réseau pour établir le VPN</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>La mise à jour de l'application a échoué : %1.
 Voulez-vous continuer à utiliser l'ancienne version ?</translation>
    </message>
</context>
</TS>
