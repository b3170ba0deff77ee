<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Версия Qt ниже ожидаемой. Текущая=%1, требуется=%2 или выше. Приложение будет закрыто</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Ошибка</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Предупреждение</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Информация</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>Ресурс &apos;%1&apos; уже запущен. Перезапустить связанные с ним локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>Веб-сайт &apos;%1&apos; пытается запустить локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>Веб-сайт &apos;%1&apos;, которого нет в вашем списке надежных сайтов, пытается запустить локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>Ссылка &quot;Показать файл журнала&quot; нажата слишком много раз. Продолжить?</translation>
    </message>
</context>
</TS>
