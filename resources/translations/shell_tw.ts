<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>說明</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Qt 版本低於預期。目前=%1，需要=%2 或更高。正在結束應用程式</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - 錯誤</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - 警告</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - 資訊</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>結束</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>是否要清理瀏覽器偏好設定？請關閉所有執行中的 Firefox 和 Chrome 瀏覽器執行個體以繼續：</translation>
    </message>
</context>
</TS>
