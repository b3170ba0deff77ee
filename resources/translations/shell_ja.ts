<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>ヘルプ</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Qt のバージョンが想定より古いです。現在=%1、必要=%2 以上。アプリケーションを終了します</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - エラー</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - 警告</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - 情報</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>リソース &apos;%1&apos; は既に実行中です。関連するローカル アプリケーションを再起動しますか:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>Web サイト &apos;%1&apos; がローカル アプリケーションを実行しようとしています:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>信頼済みサイトの一覧にない Web サイト &apos;%1&apos; がローカル アプリケーションを実行しようとしています:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>「ログ ファイルを表示」リンクのクリック回数が多すぎます。続行しますか?</translation>
    </message>
</context>
</TS>
