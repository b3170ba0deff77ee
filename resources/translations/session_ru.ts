<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>Произошла ошибка. Перезапустите ресурс сетевого доступа из браузера.</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1 уже подключено к %2 в другом сеансе</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>Обмен данными по HTTP запрещён, используйте HTTPS</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>Не удалось открыть ресурс '%1': %2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>Ваша текущая сеть небезопасна. Смените сеть, чтобы установить VPN-подключение</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>Не удалось обновить приложение: %1.
 Продолжить использовать старую версию?</translation>
    </message>
</context>
</TS>
