<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Applying software update version %1&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;/font&gt;</source>
        <translation>소프트웨어 업데이트 버전 %1을(를) 적용하는 중입니다&lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;참고: 모든 세션의 연결이 끊어지고 응용 프로그램이 다시 시작됩니다.&lt;br&gt;참고: 설치 후 브라우저를 새로 고치십시오&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update %1 is available. Do you want to download this update?</source>
        <translation>소프트웨어 업데이트 %1을(를) 사용할 수 있습니다. 이 업데이트를 다운로드하시겠습니까?</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updates downloaded at %1. Do you want to install it? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;NOTE: Please install appropriate package manually if native installer fail.&lt;br&gt;NOTE: This will disconnect all sessions &amp; restart application.&lt;br&gt;NOTE: Please refresh browser after installation&lt;br&gt;&lt;/font&gt;</source>
        <translation>업데이트가 %1에 다운로드되었습니다. 설치하시겠습니까? &lt;br&gt;&lt;br&gt;&lt;font size='2'&gt;참고: 기본 설치 프로그램이 실패하면 해당 패키지를 수동으로 설치하십시오.&lt;br&gt;참고: 모든 세션의 연결이 끊어지고 응용 프로그램이 다시 시작됩니다.&lt;br&gt;참고: 설치 후 브라우저를 새로 고치십시오&lt;br&gt;&lt;/font&gt;</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Software update failed to verify signature</source>
        <translation>소프트웨어 업데이트의 서명을 확인하지 못했습니다</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Updating EndPoint Inspection Components</source>
        <translation>EndPoint Inspection 구성 요소를 업데이트하는 중</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>Downloading %1 update v%2</source>
        <translation>%1 업데이트 v%2 다운로드 중</translation>
    </message>
    <message>
        <location filename="../../src/session/UnixAutoUpdater.cpp"/>
        <source>The Downloads folder cannot be used: %1 is controlled by another user</source>
        <translation>다운로드 폴더를 사용할 수 없습니다: %1은(는) 다른 사용자가 관리합니다</translation>
    </message>
</context>
</TS>
