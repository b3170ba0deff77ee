<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Unknown option: %1</source>
        <translation>未知选项：%1</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>No such user: %1</source>
        <translation>用户不存在：%1</translation>
    </message>
    <message>
        <location filename="../../src/shell/auxiliary.cpp"/>
        <source>The IPv6 table could not be read</source>
        <translation>无法读取 IPv6 表</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;About </source>
        <translation>关于(&amp;A) </translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>%1 - %2 - %3</source>
        <translation>%1 - %2 - %3</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>Page Source of %1</source>
        <translation>%1 的页面源代码</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>About %1</source>
        <translation>关于 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;版本 %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../../src/shell/WebView.cpp"/>
        <source>Please try again or contact your system administrator</source>
        <translation>请重试或联系您的系统管理员</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Qt 版本低于预期。当前=%1，要求=%2 或更高。正在退出应用程序</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Error</source>
        <translation> - 错误</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - 警告</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Information</source>
        <translation> - 信息</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>是否要清理浏览器首选项？请关闭所有正在运行的 Firefox 和 Chrome 浏览器实例以继续：</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>You have one or more running Tunnels. Do you really want to close this window?</source>
        <translation>有一个或多个隧道正在运行。确实要关闭此窗口吗?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Application tunnels</source>
        <translation>应用程序隧道</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to retrieve Network access parameters</source>
        <translation>无法获取网络访问参数</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to parse Network access parameters</source>
        <translation>无法解析网络访问参数</translation>
    </message>
    <message>
        <location filename="../../src/shell/NAParamsXml.cpp"/>
        <source>The reply is nested deeper than %1 levels</source>
        <translation>响应的嵌套深度超过 %1 层</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The reply is larger than %1 bytes</source>
        <translation>回复超过 %1 字节</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to open tunnel %1</source>
        <translation>无法打开隧道 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource doesn&apos;t contain any tunnels associated with current platform</source>
        <translation>该资源不包含与当前平台关联的隧道</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Tunnel has been interrupted</source>
        <translation>隧道已中断</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to establish tunnel %1</source>
        <translation>无法建立隧道 %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The session reference number: %1
 Error: %2.
</source>
        <translation>会话参考编号: %1
 错误: %2。
</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to download resource page</source>
        <translation>无法下载资源页面</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource page stopped working</source>
        <translation>资源页面已停止工作</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Its renderer ended twice within a minute.</source>
        <translation>其渲染进程在一分钟内结束了两次。</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Connection to %1 was interrupted</source>
        <translation>与 %1 的连接已中断</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The certificate of the server %1 was refused</source>
        <translation>服务器 %1 的证书已被拒绝</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your session could not be established</source>
        <translation>无法建立您的会话</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your resource could not be connected</source>
        <translation>无法连接您的资源</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Do you really want to close tunnel %1?</source>
        <translation>确实要关闭隧道 %1 吗?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source> This is the last resource. Application will be closed</source>
        <translation> 这是最后一个资源。应用程序将关闭</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>资源 &apos;%1&apos; 已在运行，是否重新启动关联的本地应用程序：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>网站 &apos;%1&apos; 正在尝试运行本地应用程序：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>不在您的受信任站点列表中的网站 &apos;%1&apos; 正在尝试运行本地应用程序：</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>“显示日志文件”链接的点击次数过多。是否继续？</translation>
    </message>
</context>
</TS>
