<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>正在套用軟體更新版本 %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;注意：這將中斷所有工作階段並重新啟動應用程式。&lt;br&gt;注意：安裝後請重新整理瀏覽器&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>有可用的軟體更新 %1。是否要下載此更新？</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>更新已下載至 %1。是否要安裝？&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;注意：如果原生安裝程式失敗，請手動安裝適當的套件。&lt;br&gt;注意：這將中斷所有工作階段並重新啟動應用程式。&lt;br&gt;注意：安裝後請重新整理瀏覽器&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>軟體更新簽章驗證失敗</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>正在更新 EndPoint Inspection 元件</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>正在下載 %1 更新 v%2</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>無法使用「下載」資料夾：%1 由其他使用者控制</translation>
    </message>
</context>
</TS>
