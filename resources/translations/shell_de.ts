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
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>Die Ressource &apos;%1&apos; wird bereits ausgeführt. Möchten Sie die zugehörige(n) lokale(n) Anwendung(en) erneut starten:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>Die Website &apos;%1&apos; versucht, eine oder mehrere lokale Anwendungen auszuführen:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>Die Website &apos;%1&apos;, die nicht in Ihrer Liste vertrauenswürdiger Sites steht, versucht, eine oder mehrere lokale Anwendungen auszuführen:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>Der Link &quot;Protokolldatei anzeigen&quot; wurde zu oft angeklickt. Möchten Sie fortfahren?</translation>
    </message>
</context>
</TS>
