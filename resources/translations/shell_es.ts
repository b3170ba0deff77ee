<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>La versión de Qt es anterior a la esperada. Actual=%1, esperada=%2 o superior. Se cerrará la aplicación</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Error</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Advertencia</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Información</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>El recurso &apos;%1&apos; ya está en ejecución. ¿Desea volver a iniciar las aplicaciones locales asociadas?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>El sitio web &apos;%1&apos; está intentando ejecutar una o varias aplicaciones locales:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>El sitio web &apos;%1&apos;, que no está en su lista de sitios de confianza, está intentando ejecutar una o varias aplicaciones locales:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>Se ha hecho clic demasiadas veces en el enlace &quot;Mostrar archivo de registro&quot;. ¿Desea continuar?</translation>
    </message>
</context>
</TS>
