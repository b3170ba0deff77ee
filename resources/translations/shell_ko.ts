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
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>리소스 &apos;%1&apos;이(가) 이미 실행 중입니다. 연결된 로컬 응용 프로그램을 다시 실행하시겠습니까:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>웹 사이트 &apos;%1&apos;에서 로컬 응용 프로그램을 실행하려고 합니다:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>신뢰할 수 있는 사이트 목록에 없는 웹 사이트 &apos;%1&apos;에서 로컬 응용 프로그램을 실행하려고 합니다:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>&quot;로그 파일 표시&quot; 링크를 너무 많이 클릭했습니다. 계속하시겠습니까?</translation>
    </message>
</context>
</TS>
