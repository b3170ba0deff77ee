<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>도움말</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Qt 버전이 예상보다 낮습니다. 현재=%1, 필요=%2 이상. 애플리케이션을 종료합니다</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Error</source>
        <translation> - 오류</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - 경고</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source> - Information</source>
        <translation> - 정보</translation>
    </message>
    <message>
        <location filename="../../src/shell/Notification.cpp"/>
        <source>Quit</source>
        <translation>종료</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>브라우저 기본 설정을 정리하시겠습니까? 계속하려면 실행 중인 Firefox 및 Chrome 브라우저를 모두 닫으십시오:</translation>
    </message>
</context>
</TS>
