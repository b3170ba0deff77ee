<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Unknown option: %1</source>
        <translation>Неизвестный параметр: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>No such user: %1</source>
        <translation>Пользователь не существует: %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/auxiliary.cpp"/>
        <source>The IPv6 table could not be read</source>
        <translation>Не удалось прочитать таблицу IPv6</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;File</source>
        <translation>&amp;Файл</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Quit</source>
        <translation>&amp;Выход</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;Help</source>
        <translation>&amp;Справка</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&amp;About </source>
        <translation>&amp;О программе </translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>%1 - %2 - %3</source>
        <translation>%1 - %2 - %3</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>Page Source of %1</source>
        <translation>Исходный код страницы %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>About %1</source>
        <translation>О программе %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/MainWindow.cpp"/>
        <source>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Version %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Версия %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../../src/shell/WebView.cpp"/>
        <source>Please try again or contact your system administrator</source>
        <translation>Повторите попытку или обратитесь к системному администратору</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <location filename="../../src/shell/CustomQApplication.cpp"/>
        <source>QT version is lower than expected. Current=%1, Expected=%2 or above. Quitting application</source>
        <translation>Версия Qt ниже ожидаемой. Текущая=%1, требуется=%2 или выше. Приложение будет закрыто</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Error</source>
        <translation> - Ошибка</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Warning</source>
        <translation> - Предупреждение</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source> - Information</source>
        <translation> - Информация</translation>
    </message>
    <message>
        <location filename="../../src/dialogs/Notification.cpp"/>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserPreferencesCleanup.cpp"/>
        <source>Do you want to perform browser preferences cleanup? Please close all running instances of Firefox and Chrome browsers to continue:</source>
        <translation>Выполнить очистку настроек браузеров? Чтобы продолжить, закройте все запущенные экземпляры браузеров Firefox и Chrome:</translation>
    </message>
</context>
<context>
    <name>tessal::qt::BrowserController</name>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>You have one or more running Tunnels. Do you really want to close this window?</source>
        <translation>Работает один или несколько туннелей. Действительно закрыть это окно?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Application tunnels</source>
        <translation>Туннели приложений</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to retrieve Network access parameters</source>
        <translation>Не удалось получить параметры сетевого доступа</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to parse Network access parameters</source>
        <translation>Не удалось разобрать параметры сетевого доступа</translation>
    </message>
    <message>
        <location filename="../../src/shell/NAParamsXml.cpp"/>
        <source>The reply is nested deeper than %1 levels</source>
        <translation>Ответ вложен глубже, чем на %1 уровней</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The reply is larger than %1 bytes</source>
        <translation>Ответ превышает %1 байт</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to open tunnel %1</source>
        <translation>Не удалось открыть туннель %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource doesn&apos;t contain any tunnels associated with current platform</source>
        <translation>Ресурс не содержит туннелей для текущей платформы</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Tunnel has been interrupted</source>
        <translation>Туннель прерван</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to establish tunnel %1</source>
        <translation>Не удалось установить туннель %1</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The session reference number: %1
 Error: %2.
</source>
        <translation>Номер сеанса: %1
 Ошибка: %2.
</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Failed to download resource page</source>
        <translation>Не удалось загрузить страницу ресурса</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The resource page stopped working</source>
        <translation>Страница ресурса перестала работать</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Its renderer ended twice within a minute.</source>
        <translation>Процесс отрисовки страницы дважды завершился в течение минуты.</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Connection to %1 was interrupted</source>
        <translation>Соединение с %1 прервано</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>The certificate of the server %1 was refused</source>
        <translation>Сертификат сервера %1 был отклонён</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your session could not be established</source>
        <translation>Не удалось установить сеанс</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Your resource could not be connected</source>
        <translation>Не удалось подключить ресурс</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source>Do you really want to close tunnel %1?</source>
        <translation>Действительно закрыть туннель %1?</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserController.cpp"/>
        <source> This is the last resource. Application will be closed</source>
        <translation> Это последний ресурс. Приложение будет закрыто</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Resource &apos;%1&apos; is already running, do you want to relaunch associated local application(s):</source>
        <translation>Ресурс &apos;%1&apos; уже запущен. Перезапустить связанные с ним локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; is attempting to run a local application(s):</source>
        <translation>Веб-сайт &apos;%1&apos; пытается запустить локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>Website &apos;%1&apos; which is not in your Trusted Sites List is attempting to run a local application(s):</source>
        <translation>Веб-сайт &apos;%1&apos;, которого нет в вашем списке надежных сайтов, пытается запустить локальные приложения:</translation>
    </message>
    <message>
        <location filename="../../src/shell/BrowserControllerApps.cpp"/>
        <source>&quot;Show log file&quot; link was clicked too many times. Do you want to continue?</source>
        <translation>Ссылка &quot;Показать файл журнала&quot; нажата слишком много раз. Продолжить?</translation>
    </message>
</context>
</TS>
