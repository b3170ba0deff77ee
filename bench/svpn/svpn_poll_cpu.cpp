// Measures what a connected tunnel costs the client: the process's user and
// system time from /proc/self/stat over a window of polling, as a share of
// one core. The stand-in answers every poll with traffic counters and
// details, as a busy tunnel would.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tessal_config.h"
#include "tunnel/VpnController.h"
#include "tunnel/WebInterfaceProxy.h"

namespace {

struct Listener : tessal::qt::WebInterface {
    bool connected = false;
    bool ended = false;
    void onTunnelConnected(const QString&) override { connected = true; }
    void onTunnelReconnecting(const QString&) override {}
    void onTunnelConnecting(const QString&) override {}
    void onTunnelClosed(const QString&, int) override { ended = true; }
    void onTunnelError(const QString&, int) override { ended = true; }
};

// User plus system time of this process, in clock ticks.
long long cpuTicks()
{
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15) {
            stime = std::atoll(field.c_str());
            break;
        }
    }
    return utime + stime;
}

void stopDaemon()
{
    std::ifstream in(TESSAL_SYSTEM_PATH("/usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid"));
    int pid = 0;
    if (in >> pid && pid > 1)
        kill(pid, SIGTERM);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    stopDaemon();
    std::ofstream(TESSAL_SYSTEM_PATH("/opt/tessal/vpn/svpn.script"), std::ios::trunc)
        << "reply HTTP/1.1 200 OK\\r\\n\\r\\n&setloaded&sslcreate\n"
        << "reply HTTP/1.1 200 OK\\r\\n\\r\\n&settraffic,1000,2000,3000,4000"
           "&tunneldetails,0,TunnelPort=443\\nX-VPN-client-IP=10.0.0.2\n";

    Listener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    int result = 1;
    {
        tessal::qt::VpnController controller(&proxy, "bench");
        if (controller.open("SESSION_ID=benchmark") != 0) {
            std::fprintf(stderr, "the svpn stand-in could not be started\n");
            return 1;
        }
        QElapsedTimer wait;
        wait.start();
        while (!listener.connected && !listener.ended && wait.elapsed() < 10000) {
            app.processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        if (listener.connected) {
            const long long before = cpuTicks();
            QElapsedTimer window;
            window.start();
            // The GUI thread's share: it reads the counters every 500 ms, as the
            // browser window does once connected.
            while (window.elapsed() < seconds * 1000LL && !listener.ended) {
                app.processEvents(QEventLoop::AllEvents, 500);
                controller.getTraffic();
                controller.getProperties();
                QThread::msleep(500);
            }
            const double used = static_cast<double>(cpuTicks() - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
            const double elapsed = window.elapsed() / 1000.0;
            std::printf("svpn polling: %.3f s CPU in %.1f s = %.3f %% of one core (target < 0.5 %%)\n", used, elapsed,
                        100.0 * used / elapsed);
            result = listener.ended ? 1 : 0;
        } else {
            std::fprintf(stderr, "the tunnel did not connect\n");
        }
    }
    stopDaemon();
    return result;
}
