<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Unknown option: %1</source>
        <translation>未知的選項：%1</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>No such user: %1</source>
        <translation>使用者不存在：%1</translation>
    </message>
    <message>
        <location filename="../../src/shell/auxiliary.cpp"/>
        <source>The IPv6 table could not be read</source>
        <translation>無法讀取 IPv6 表格</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;File</source>
        <translation>檔案(&amp;F)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Quit</source>
        <translation>結束(&amp;Q)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Help</source>
        <translation>說明(&amp;H)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;About </source>
        <translation>關於(&amp;A) </translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>%1 - %2 - %3</source>
        <translation>%1 - %2 - %3</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>Page Source of %1</source>
        <translation>%1 的頁面原始碼</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>About %1</source>
        <translation>關於 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;版本 %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../../src/shell/WebView.cpp"/>
        <source>Please try again or contact your system administrator</source>
        <translation>請再試一次或聯絡您的系統管理員</translation>
    </message>
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
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Error</source>
        <translation> - 錯誤</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - 警告</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Information</source>
        <translation> - 資訊</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source>Quit</source>
        <translation>結束</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>是否要清理瀏覽器偏好設定？請關閉所有執行中的 Firefox 和 Chrome 瀏覽器執行個體以繼續：</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>You have one or more running Tunnels. Do you really want to close this window?</source>
        <translation>有一個或多個通道正在執行。確定要關閉此視窗嗎?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Application tunnels</source>
        <translation>應用程式通道</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to retrieve Network access parameters</source>
        <translation>無法取得網路存取參數</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to parse Network access parameters</source>
        <translation>無法解析網路存取參數</translation>
    </message>
    <message>
        <location filename="../../src/shell/NAParamsXml.cpp"/>
        <source>The reply is nested deeper than %1 levels</source>
        <translation>回應的巢狀深度超過 %1 層</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The reply is larger than %1 bytes</source>
        <translation>回覆超過 %1 位元組</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to open tunnel %1</source>
        <translation>無法開啟通道 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource doesn&apos;t contain any tunnels associated with current platform</source>
        <translation>此資源不包含與目前平台關聯的通道</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Tunnel has been interrupted</source>
        <translation>通道已中斷</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to establish tunnel %1</source>
        <translation>無法建立通道 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The session reference number: %1
 Error: %2.
</source>
        <translation>工作階段參考編號: %1
 錯誤: %2。
</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to download resource page</source>
        <translation>無法下載資源頁面</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource page stopped working</source>
        <translation>資源頁面已停止運作</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Its renderer ended twice within a minute.</source>
        <translation>其轉譯程序在一分鐘內結束了兩次。</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Connection to %1 was interrupted</source>
        <translation>與 %1 的連線已中斷</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The certificate of the server %1 was refused</source>
        <translation>伺服器 %1 的憑證已被拒絕</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your session could not be established</source>
        <translation>無法建立您的工作階段</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your resource could not be connected</source>
        <translation>無法連線您的資源</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Do you really want to close tunnel %1?</source>
        <translation>確定要關閉通道 %1 嗎?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source> This is the last resource. Application will be closed</source>
        <translation> 這是最後一個資源。應用程式將會關閉</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>資源 &apos;%1&apos; 已在執行中，是否重新啟動相關的本機應用程式：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>網站 &apos;%1&apos; 正在嘗試執行本機應用程式：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>不在您的信任網站清單中的網站 &apos;%1&apos; 正在嘗試執行本機應用程式：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>「顯示記錄檔」連結的點擊次數過多。是否要繼續？</translation>
    </message>
</context>
</TS>
