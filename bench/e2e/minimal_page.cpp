// The yardstick for the window benchmarks: the least a Qt WebEngine program
// needs to show the access server's resource page with one web-channel
// object on it, injected the way the client does. Prints "loaded <ms since
// the epoch>" when the page's load has finished and runs until its standard
// input closes. Prints "engine <ms>" first: how long the engine's start took.
// With --tunnel-data-ms N the bridge announces one connected resource and
// then sends it a traffic update every N ms, as the client does with a
// tunnel up (for the long-run comparison of the renderer).
//   minimal_page_bench URL [--tunnel-data-ms N]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
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
    const auto engineStart = std::chrono::steady_clock::now();
    QWebEngineView view;
    view.page(); // the profile and the engine start with the first page
    std::printf("engine %lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            std::chrono::steady_clock::now() - engineStart)
                                                            .count()));
    std::fflush(stdout);
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

    QTimer traffic;
    qlonglong sent = 0;
    QObject::connect(&traffic, &QTimer::timeout, [&] {
        sent += 1500;
        emit bridge.onTunnelData(QStringLiteral("demo_na"), sent, sent * 2, sent, sent * 2);
    });
    const bool feed = argc > 3 && std::strcmp(argv[2], "--tunnel-data-ms") == 0;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, [&](bool ok) {
        if (ok && feed && !traffic.isActive()) {
            // Once the page has had time to connect to the bridge.
            QTimer::singleShot(1000, [&] {
                emit bridge.onTunnelAdd(QStringLiteral("demo_na"), QStringLiteral("network_access"));
                emit bridge.onTunnelConnected(QStringLiteral("demo_na"), QString());
                traffic.start(std::atoi(argv[3]));
            });
        }
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
