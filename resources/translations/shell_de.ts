<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Die Qt-Version ist niedriger als erwartet. Aktuell=%1, erwartet=%2 oder höher. Die Anwendung wird beendet</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Fehler</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Warnung</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Information</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>Möchten Sie die Browsereinstellungen bereinigen? Bitte schließen Sie alle laufenden Instanzen der Browser Firefox und Chrome, um fortzufahren:</translation>
    </message>
</context>
</TS>
