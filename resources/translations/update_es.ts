<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>Aplicando la actualización de software a la versión %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTA: Se desconectarán todas las sesiones y se reiniciará la aplicación.&lt;br&gt;NOTA: Actualice el navegador después de la instalación&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>Hay disponible una actualización de software %1. ¿Desea descargar esta actualización?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>Actualizaciones descargadas en %1. ¿Desea instalarlas? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTA: Instale manualmente el paquete adecuado si el instalador nativo falla.&lt;br&gt;NOTA: Se desconectarán todas las sesiones y se reiniciará la aplicación.&lt;br&gt;NOTA: Actualice el navegador después de la instalación&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>No se pudo verificar la firma de la actualización de software</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>Actualizando los componentes de EndPoint Inspection</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>Descargando la actualización de %1 v%2</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>No se puede usar la carpeta Descargas: %1 está controlada por otro usuario</translation>
    </message>
</context>
</TS>
