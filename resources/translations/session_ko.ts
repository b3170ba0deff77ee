<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Error occurred. Please relaunch network access resource from browser.</source>
        <translation>오류가 발생했습니다. 브라우저에서 네트워크 액세스 리소스를 다시 실행하십시오.</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>%1 application already connected under another session to %2</source>
        <translation>%1이(가) 이미 다른 세션으로 %2에 연결되어 있습니다</translation>
    </message>
    <message>
        <location filename="../../src/session/SessionManager.cpp"/>
        <source>Communication over HTTP is not allowed, please use HTTPS</source>
        <translation>HTTP를 통한 통신은 허용되지 않습니다. HTTPS를 사용하십시오</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Failed to open resource '%1': %2</source>
        <translation>리소스 '%1'을(를) 열지 못했습니다: %2</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Your current network is vulnerable,Please change the network to establish the VPN</source>
        <translation>현재 네트워크가 취약합니다. VPN을 연결하려면 네트워크를 변경하십시오</translation>
    </message>
    <message>
        <location filename="../../src/session/Session.cpp"/>
        <source>Application update failed: %1.
 Do you want to continue using old version?</source>
        <translation>응용 프로그램 업데이트에 실패했습니다: %1.
 이전 버전을 계속 사용하시겠습니까?</translation>
    </message>
</context>
</TS>
