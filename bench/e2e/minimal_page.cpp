// The yardstick for the window benchmarks: the least a Qt WebEngine program
// needs to show the access server's resource page with one web-channel
// object on it, injected the way the client does. Prints "loaded <ms since
// the epoch>" when the page's load has finished and runs until its standard
// input closes.
//   minimal_page_bench URL

#include <unistd.h>

#include <cstdio>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

// The signals the page listens to; nothing ever fires them here.
class Bridge : public QObject
{
    Q_OBJECT
signals:
    void onTunnelAdd(QString id, QString type);
    void onTunnelConnecting(QString id);
    void onTunnelConnected(QString id, QString conflicts);
    void onTunnelReconnecting(QString id);
    void onTunnelDisconnected(QString id);
    void onTunnelError(QString id, QString reason);
    void onTunnelData(QString id, qlonglong outLow, qlonglong inLow, qlonglong outTop, qlonglong inTop);
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: minimal_page_bench URL\n");
        return 2;
    }
    QWebEngineView view;
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channelJs.open(QIODevice::ReadOnly))
        return 1;
    QWebEngineScript script;
    script.setName(QStringLiteral("qwebchannel.js"));
    script.setSourceCode(QString::fromUtf8(channelJs.readAll()) +
                         QStringLiteral("\nvar external\nnew QWebChannel(qt.webChannelTransport, function(channel) {"
                                        "     external = channel.objects.external;});"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(false);
    script.setWorldId(QWebEngineScript::MainWorld);
    view.page()->scripts().insert(script);
    Bridge bridge;
    QWebChannel channel(view.page());
    view.page()->setWebChannel(&channel, QWebEngineScript::MainWorld);
    channel.registerObject(QStringLiteral("external"), &bridge);

    QObject::connect(view.page(), &QWebEnginePage::loadFinished, [](bool ok) {
        std::printf("%s %lld\n", ok ? "loaded" : "failed", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    view.resize(640, 480); // the client window's first size
    view.show();
    view.load(QUrl(QString::fromLocal8Bit(argv[1])));
    return app.exec();
}

#include "minimal_page.moc"
