<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Unknown option: %1</source>
        <translation>Unbekannte Option: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>No such user: %1</source>
        <translation>Benutzer nicht vorhanden: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/auxiliary.cpp"/>
        <source>The IPv6 table could not be read</source>
        <translation>Die IPv6-Tabelle konnte nicht gelesen werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;About </source>
        <translation>&amp;Über </translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>%1 - %2 - %3</source>
        <translation>%1 - %2 - %3</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>Page Source of %1</source>
        <translation>Seitenquelltext von %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../../src/shell/WebView.cpp"/>
        <source>Please try again or contact your system administrator</source>
        <translation>Bitte versuchen Sie es erneut oder wenden Sie sich an Ihren Systemadministrator</translation>
    </message>
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
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Fehler</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Warnung</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Information</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>Möchten Sie die Browsereinstellungen bereinigen? Bitte schließen Sie alle laufenden Instanzen der Browser Firefox und Chrome, um fortzufahren:</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>You have one or more running Tunnels. Do you really want to close this window?</source>
        <translation>Es laufen ein oder mehrere Tunnel. Möchten Sie dieses Fenster wirklich schließen?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Application tunnels</source>
        <translation>Anwendungstunnel</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to retrieve Network access parameters</source>
        <translation>Die Netzwerkzugriffsparameter konnten nicht abgerufen werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to parse Network access parameters</source>
        <translation>Die Netzwerkzugriffsparameter konnten nicht gelesen werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/NAParamsXml.cpp"/>
        <source>The reply is nested deeper than %1 levels</source>
        <translation>Die Antwort ist tiefer als %1 Ebenen verschachtelt</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The reply is larger than %1 bytes</source>
        <translation>Die Antwort ist größer als %1 Bytes</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to open tunnel %1</source>
        <translation>Tunnel %1 konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource doesn&apos;t contain any tunnels associated with current platform</source>
        <translation>Die Ressource enthält keine Tunnel für diese Plattform</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Tunnel has been interrupted</source>
        <translation>Der Tunnel wurde unterbrochen</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to establish tunnel %1</source>
        <translation>Tunnel %1 konnte nicht aufgebaut werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The session reference number: %1
 Error: %2.
</source>
        <translation>Referenznummer der Sitzung: %1
 Fehler: %2.
</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to download resource page</source>
        <translation>Die Ressourcenseite konnte nicht geladen werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource page stopped working</source>
        <translation>Die Ressourcenseite funktioniert nicht mehr</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Its renderer ended twice within a minute.</source>
        <translation>Ihr Darstellungsprozess wurde zweimal innerhalb einer Minute beendet.</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Connection to %1 was interrupted</source>
        <translation>Die Verbindung zu %1 wurde unterbrochen</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The certificate of the server %1 was refused</source>
        <translation>Das Zertifikat des Servers %1 wurde abgelehnt</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your session could not be established</source>
        <translation>Ihre Sitzung konnte nicht hergestellt werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your resource could not be connected</source>
        <translation>Ihre Ressource konnte nicht verbunden werden</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Do you really want to close tunnel %1?</source>
        <translation>Möchten Sie den Tunnel %1 wirklich schließen?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source> This is the last resource. Application will be closed</source>
        <translation> Dies ist die letzte Ressource. Die Anwendung wird beendet</translation>
    </message>
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
