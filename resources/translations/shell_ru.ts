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
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>Выполнить очистку настроек браузеров? Чтобы продолжить, закройте все запущенные экземпляры браузеров Firefox и Chrome:</translation>
    </message>
</context>
</TS>
