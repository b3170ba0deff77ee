<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Unknown option: %1</source>
        <translation>Opción desconocida: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>No such user: %1</source>
        <translation>No existe el usuario: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/auxiliary.cpp"/>
        <source>The IPv6 table could not be read</source>
        <translation>No se pudo leer la tabla IPv6</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Quit</source>
        <translation>&amp;Salir</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Help</source>
        <translation>A&amp;yuda</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;About </source>
        <translation>&amp;Acerca de </translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>%1 - %2 - %3</source>
        <translation>%1 - %2 - %3</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>Page Source of %1</source>
        <translation>Código fuente de la página %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>About %1</source>
        <translation>Acerca de %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Versión %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../../src/shell/WebView.cpp"/>
        <source>Please try again or contact your system administrator</source>
        <translation>Vuelva a intentarlo o póngase en contacto con el administrador del sistema</translation>
    </message>
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
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Error</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Advertencia</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Información</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>¿Desea limpiar las preferencias de los navegadores? Cierre todas las instancias en ejecución de los navegadores Firefox y Chrome para continuar:</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>You have one or more running Tunnels. Do you really want to close this window?</source>
        <translation>Tiene uno o más túneles en ejecución. ¿Realmente desea cerrar esta ventana?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Application tunnels</source>
        <translation>Túneles de aplicación</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to retrieve Network access parameters</source>
        <translation>No se pudieron obtener los parámetros de acceso a la red</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to parse Network access parameters</source>
        <translation>No se pudieron analizar los parámetros de acceso a la red</translation>
    </message>
    <message>
        <location filename="../../src/shell/NAParamsXml.cpp"/>
        <source>The reply is nested deeper than %1 levels</source>
        <translation>La respuesta está anidada a más de %1 niveles de profundidad</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The reply is larger than %1 bytes</source>
        <translation>La respuesta supera los %1 bytes</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to open tunnel %1</source>
        <translation>No se pudo abrir el túnel %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource doesn&apos;t contain any tunnels associated with current platform</source>
        <translation>El recurso no contiene túneles asociados a la plataforma actual</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Tunnel has been interrupted</source>
        <translation>El túnel se ha interrumpido</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to establish tunnel %1</source>
        <translation>No se pudo establecer el túnel %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The session reference number: %1
 Error: %2.
</source>
        <translation>Número de referencia de la sesión: %1
 Error: %2.
</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to download resource page</source>
        <translation>No se pudo descargar la página del recurso</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource page stopped working</source>
        <translation>La página del recurso dejó de funcionar</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Its renderer ended twice within a minute.</source>
        <translation>Su proceso de representación terminó dos veces en menos de un minuto.</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Connection to %1 was interrupted</source>
        <translation>Se interrumpió la conexión con %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The certificate of the server %1 was refused</source>
        <translation>Se rechazó el certificado del servidor %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your session could not be established</source>
        <translation>No se pudo establecer su sesión</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your resource could not be connected</source>
        <translation>No se pudo conectar su recurso</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Do you really want to close tunnel %1?</source>
        <translation>¿Realmente desea cerrar el túnel %1?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source> This is the last resource. Application will be closed</source>
        <translation> Este es el último recurso. La aplicación se cerrará</translation>
    </message>
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
