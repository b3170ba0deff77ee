<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>La version de Qt est inférieure à celle attendue. Actuelle=%1, attendue=%2 ou supérieure. Fermeture de l'application</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Erreur</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Avertissement</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Information</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>Voulez-vous nettoyer les préférences des navigateurs ? Veuillez fermer toutes les instances en cours des navigateurs Firefox et Chrome pour continuer :</translation>
    </message>
</context>
</TS>
