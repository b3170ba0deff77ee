<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>Применяется обновление программного обеспечения до версии %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;ПРИМЕЧАНИЕ: все сеансы будут отключены, а приложение перезапущено.&lt;br&gt;ПРИМЕЧАНИЕ: после установки обновите страницу в браузере&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>Доступно обновление программного обеспечения %1. Загрузить это обновление?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>Обновления загружены в %1. Установить их? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;ПРИМЕЧАНИЕ: если встроенный установщик не сработает, установите соответствующий пакет вручную.&lt;br&gt;ПРИМЕЧАНИЕ: все сеансы будут отключены, а приложение перезапущено.&lt;br&gt;ПРИМЕЧАНИЕ: после установки обновите страницу в браузере&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>Не удалось проверить подпись обновления программного обеспечения</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>Обновление компонентов EndPoint Inspection</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>Загрузка обновления %1 v%2</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>Невозможно использовать папку «Загрузки»: %1 находится под управлением другого пользователя</translation>
    </message>
</context>
</TS>
