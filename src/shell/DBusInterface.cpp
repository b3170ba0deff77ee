#include "shell/DBusInterface.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QUrl>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/m_system.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/CustomQApplication.h"
#include "shell/SingleInstance.h"

namespace tessal {
namespace qt {

const char* const kDBusServiceName = "com.tessal.tessalvpn";
const char* const kDBusObjectPath = "/com/tessal/tessalvpn";
const char* const kDBusSignalInterface = "com.tessal.tessalvpn.interface";
const char* const kDBusSignalName = "CreateSession";

namespace {

constexpr const char* kLogFile = "DBusInterface";
constexpr int kRetryMs = 20;
// Failed claims of a name that nobody owns, in a row, before the bus counts
// as refusing it to this process (a confined one, say).
constexpr int kUnownedClaimsRefused = 3;
// How long one call to the bus daemon may take before the bus counts as
// not answering.
constexpr int kBusCallMs = 5000;
// Answers "no such method or object" in a row from the same steady owner
// before it counts as an instance of an earlier build.
constexpr int kOlderInstanceAnswers = 3;

// A reply from the bus daemon comes after everything this connection sent
// before it, so once it is in, the forwarded signal has left the process.
bool waitUntilSent(QDBusConnection& bus)
{
    return bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                   QStringLiteral("/org/freedesktop/DBus"),
                                                   QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")),
                    QDBus::Block, kBusCallMs)
               .type() == QDBusMessage::ReplyMessage;
}

// Sends the answer of a method call whose reply was held back.
bool answerCall(const QDBusMessage& call, bool taken)
{
    return QDBusConnection::sessionBus().send(
        taken ? call.createReply()
              : call.createErrorReply(QDBusError::Failed, QStringLiteral("Application is quitting")));
}

enum class Forwarded { Taken, NotTaken, Unanswered, OlderInstance, BusSilent };

// True for the error of a call nobody answered in time.
bool unanswered(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ErrorMessage &&
           (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout"));
}

// A call to the bus daemon itself, bounded; *silent tells of no answer.
QDBusMessage askBus(QDBusConnection& bus, const char* method, const QVariantList& arguments, bool* silent)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusCallMs);
    if (silent != nullptr)
        *silent = unanswered(reply);
    return reply;
}

// The unique name of the service's owner now; empty when nobody owns it or
// the bus did not say in time.
QString nameOwner(QDBusConnection& bus, const QString& service, bool* silent = nullptr)
{
    const QDBusMessage reply = askBus(bus, "GetNameOwner", {service}, silent);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    return reply.arguments().first().toString();
}

enum class Claim { Owned, Refused, Silent };

// Claims the name without queueing for it.
Claim claimName(QDBusConnection& bus, const QString& service)
{
    constexpr uint kDoNotQueue = 4;
    constexpr uint kPrimaryOwner = 1;
    constexpr uint kAlreadyOwner = 4;
    bool silent = false;
    const QDBusMessage reply = askBus(bus, "RequestName", {service, QVariant::fromValue(kDoNotQueue)}, &silent);
    if (silent)
        return Claim::Silent;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Claim::Refused;
    const uint answer = reply.arguments().first().toUInt();
    return answer == kPrimaryOwner || answer == kAlreadyOwner ? Claim::Owned : Claim::Refused;
}

bool isUnknownTarget(const QString& error)
{
    return error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
           error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
           error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject");
}

// Hands url to the name's present owner with the answered method call.
Forwarded forwardOverBus(QDBusConnection& bus, const QString& url)
{
    const QString service = QString::fromLatin1(kDBusServiceName);
    bool silent = false;
    const QString owner = nameOwner(bus, service, &silent);
    if (silent)
        return Forwarded::BusSilent;
    if (owner.isEmpty())
        return Forwarded::NotTaken;
    // Addressed to that owner alone, so that its answer can be told from the
    // next owner's.
    QDBusMessage call =
        QDBusMessage::createMethodCall(owner, QString::fromLatin1(kDBusObjectPath),
                                       QString::fromLatin1(kDBusSignalInterface), QString::fromLatin1(kDBusSignalName));
    call << url;
    for (int asked = 0;; ++asked) {
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage reply = bus.call(call, QDBus::Block, kHandOverReplyMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Forwarded::Taken;
        const QString error = reply.errorName();
        if (isUnknownTarget(error)) {
            // An owner that is going away has its objects gone before it
            // leaves, one coming up may not have them yet: only an owner that
            // keeps the name and keeps answering so is of an earlier build,
            // which only listens for the signal.
            if (nameOwner(bus, service) != owner)
                return Forwarded::NotTaken;
            if (asked >= kOlderInstanceAnswers - 1)
                return Forwarded::OlderInstance;
            QThread::msleep(kRetryMs);
            continue;
        }
        // The same error tells of an owner that went away without answering;
        // only the full wait means that it may still run the launch.
        if ((error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
             error == QLatin1String("org.freedesktop.DBus.Error.Timeout")) &&
            clock.elapsed() >= kHandOverReplyMs - 1000)
            return Forwarded::Unanswered;
        return Forwarded::NotTaken;
    }
}

// The unix-socket addresses the session bus may be reached at.
struct BusSocket {
    sockaddr_un address;
    socklen_t length;
};

std::vector<BusSocket> sessionBusSockets()
{
    std::vector<BusSocket> sockets;
    auto add = [&sockets](const QByteArray& path, bool abstract) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const int offset = abstract ? 1 : 0;
        if (path.isEmpty() || path.size() + offset >= static_cast<int>(sizeof address.sun_path))
            return;
        std::memcpy(address.sun_path + offset, path.constData(), static_cast<size_t>(path.size()));
        const size_t length =
            offsetof(sockaddr_un, sun_path) + static_cast<size_t>(offset + path.size()) + (abstract ? 0 : 1);
        sockets.push_back({address, static_cast<socklen_t>(length)});
    };
    const QByteArray addresses = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (addresses.isEmpty()) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty())
            add(runtime + "/bus", false);
        return sockets;
    }
    for (const QByteArray& entry : addresses.split(';')) {
        if (!entry.startsWith("unix:"))
            continue;
        for (const QByteArray& pair : entry.mid(5).split(',')) {
            const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1));
            if (pair.startsWith("path="))
                add(value, false);
            else if (pair.startsWith("abstract="))
                // Abstract names are not ended by a NUL: the length counts.
                add(value, true);
        }
    }
    return sockets;
}

// False when a session bus is there but does not answer: the toolkit's own
// connect would wait for it for ever. Asks the daemon to begin the
// handshake and hangs up at its first answer.
bool sessionBusAnswers()
{
    const std::vector<BusSocket> sockets = sessionBusSockets();
    if (sockets.empty())
        return true;
    const long long deadline = monotonicMs() + kBusCallMs;
    const QByteArray uid = QByteArray::number(static_cast<qulonglong>(::geteuid())).toHex();
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
    for (const BusSocket& bus : sockets) {
        const int fd = connectLocalBefore(bus.address, bus.length, deadline);
        if (fd < 0)
            continue;
        bool answered = false;
        if (::send(fd, hello.constData(), static_cast<size_t>(hello.size()), MSG_NOSIGNAL) == hello.size() &&
            waitForBefore(fd, POLLIN, deadline)) {
            char reply[64];
            answered = ::recv(fd, reply, sizeof reply, 0) > 0;
        }
        ::close(fd);
        if (answered)
            return true;
        // Connected but silent: this one is the bus, and it does not answer.
        return false;
    }
    // None to connect to: the toolkit's connect fails at once.
    return true;
}

// A bus that does not answer cannot guard the instance: the per-user lock does.
bool useLocalInstance(CustomQApplication& app, int& exitCode)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Session bus does not answer, using the per-user lock instead"));
    return setupLocalInstance(app, exitCode);
}

} // namespace

DBusInterface::DBusInterface(CustomQApplication* app) : QDBusAbstractAdaptor(app), app(app) {}

void DBusInterface::Activate(const QMap<QString, QVariant>&)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("D-Bus Activate() method called"));
}

void DBusInterface::Open(const QStringList& uris, const QMap<QString, QVariant>&, const QDBusMessage& message)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("D-Bus Open() method called"));
    if (uris.isEmpty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("No URIs provided"));
        return;
    }
    // The caller hears at once, not when the launch (and its questions) ends.
    message.setDelayedReply(true);
    runHandedOverLaunch(*app, uris.first(), [&message](bool taken) { return answerCall(message, taken); });
}

LaunchInterface::LaunchInterface(CustomQApplication* app) : QDBusAbstractAdaptor(app), app(app) {}

void LaunchInterface::CreateSession(const QString& url, const QDBusMessage& message)
{
    message.setDelayedReply(true);
    runHandedOverLaunch(*app, url, [&message](bool taken) { return answerCall(message, taken); });
}

LaunchSignalReceiver::LaunchSignalReceiver(CustomQApplication& app) : app(app) {}

void LaunchSignalReceiver::CreateSession(const QString& url)
{
    // A signal has nobody to answer to.
    runHandedOverLaunch(app, url, [](bool) { return true; });
}

namespace {

// The adaptors and the object on the bus: in place before the name is
// claimed (another instance may forward a URL the moment it is ours), and
// taken down again unless this process serves.
class BusObjects final
{
public:
    BusObjects(QDBusConnection& bus, CustomQApplication& app)
        : bus(bus),
          adaptor(new DBusInterface(&app)),
          launches(new LaunchInterface(&app)),
          registered(bus.registerObject(QString::fromLatin1(kDBusObjectPath), &app, QDBusConnection::ExportAdaptors))
    {}
    ~BusObjects()
    {
        if (kept)
            return;
        if (registered)
            bus.unregisterObject(QString::fromLatin1(kDBusObjectPath));
        delete adaptor;
        delete launches;
    }
    BusObjects(const BusObjects&) = delete;
    BusObjects& operator=(const BusObjects&) = delete;

    bool isRegistered() const { return registered; }
    void keep() { kept = true; }

private:
    QDBusConnection& bus;
    DBusInterface* adaptor;
    LaunchInterface* launches;
    const bool registered;
    bool kept = false;
};

// One receiver of the launch signal per claim: signals meant for another
// owner go with it.
class SignalReceiverForClaim final
{
public:
    SignalReceiverForClaim(QDBusConnection& bus, CustomQApplication& app)
        : bus(bus),
          receiver(std::make_unique<LaunchSignalReceiver>(app)),
          connected(bus.connect(QString(), QString(), QString::fromLatin1(kDBusSignalInterface),
                                QString::fromLatin1(kDBusSignalName), receiver.get(), SLOT(CreateSession(QString))))
    {}
    ~SignalReceiverForClaim() { drop(); }
    SignalReceiverForClaim(const SignalReceiverForClaim&) = delete;
    SignalReceiverForClaim& operator=(const SignalReceiverForClaim&) = delete;

    bool isConnected() const { return connected; }
    // The application object keeps the receiver and its connection.
    void keep(CustomQApplication& app) { receiver.release()->setParent(&app); }
    void drop()
    {
        if (!receiver)
            return;
        if (connected)
            bus.disconnect(QString(), QString(), QString::fromLatin1(kDBusSignalInterface),
                           QString::fromLatin1(kDBusSignalName), receiver.get(), SLOT(CreateSession(QString)));
        receiver.reset();
    }

private:
    QDBusConnection& bus;
    std::unique_ptr<LaunchSignalReceiver> receiver;
    const bool connected;
};

// What start-up does after one step on the bus.
enum class BusStep {
    Run, // start-up goes on (this process serves, or runs the cleanup)
    End, // the process ends with the exit code given
    BusSilent, // the bus stopped answering: the per-user lock guards
    NameRefused, // the bus keeps the name from this process: the same
    TryAgain, // the owner is going: claim the name once more
};

// The name is ours: serve by it, and by the per-user lock as well, which the
// next launch finds when the bus has gone.
BusStep serveClaimedName(CustomQApplication& app, BusObjects& objects, SignalReceiverForClaim& receiver, int& exitCode)
{
    const QString service = QString::fromLatin1(kDBusServiceName);
    if (!objects.isRegistered()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot register object, path=%1", QString::fromLatin1(kDBusObjectPath)));
        return BusStep::End;
    }
    if (!receiver.isConnected())
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot connect to session bus, ineterface=%1, slot=%2", kDBusSignalInterface,
                                 kDBusSignalName));
    // An instance whose bus went (or that never had one) still serves by the
    // lock: the launch goes to it, and this process serves nobody.
    if (holdInstanceLock(app, exitCode) == InstanceLock::HandedOver) {
        // Given up while the object still stands: a launch forwarded to this
        // process meanwhile fails over to the next owner, never into a void.
        QDBusConnection bus = QDBusConnection::sessionBus();
        askBus(bus, "ReleaseName", {service}, nullptr);
        return BusStep::End;
    }
    objects.keep();
    receiver.keep(app);
    whenLaunchesStop([service]() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        askBus(bus, "ReleaseName", {service}, nullptr);
    });
    serveLaunchesUntilQuit(app);
    return BusStep::Run;
}

// The name is taken: hands the launch to its owner.
BusStep forwardToOwner(QDBusConnection& bus, const QStringList& arguments, bool& announced, int& exitCode)
{
    const QString service = QString::fromLatin1(kDBusServiceName);
    // The cleanup runs where it was asked; without a URL there is nothing to hand over.
    if (isCleanupCommandLine(arguments))
        return BusStep::Run;
    if (arguments.size() < 2) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Application was launched without parameters, exiting"));
        return BusStep::End;
    }
    if (!announced) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Service '%1' already running, dispatching message to running instance", service));
        announced = true;
    }

    switch (forwardOverBus(bus, arguments[1])) {
    case Forwarded::Taken:
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Launch taken by the running instance"));
        return BusStep::End;
    case Forwarded::OlderInstance: {
        const QString owner = nameOwner(bus, service);
        QDBusMessage message =
            QDBusMessage::createSignal(QString::fromLatin1(kDBusObjectPath), QString::fromLatin1(kDBusSignalInterface),
                                       QString::fromLatin1(kDBusSignalName));
        message << arguments[1];
        const bool queued = bus.send(message);
        if (!queued)
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Failed to queue '%1' dbus message", kDBusSignalName));
        // Delivered only when the owner still held the name once the bus
        // had passed the signal on; nothing else confirms it.
        if (!queued || !waitUntilSent(bus) || owner.isEmpty() || nameOwner(bus, service) != owner) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("The running instance did not answer the launch request, giving up"));
            exitCode = 1;
        }
        return BusStep::End;
    }
    case Forwarded::Unanswered:
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("The running instance did not answer the launch request, giving up"));
        exitCode = 1;
        return BusStep::End;
    case Forwarded::BusSilent: return BusStep::BusSilent;
    case Forwarded::NotTaken: break;
    }
    return BusStep::TryAgain;
}

// Nobody took the launch: the owner is quitting (or just went), and once it
// has given up the name this process claims it. A name that nobody owns and
// the bus still refuses, or an owner that never goes, ends the waiting.
BusStep waitForTheName(QDBusConnection& bus, const QDeadlineTimer& deadline, int& unownedClaims, int& exitCode)
{
    const QString service = QString::fromLatin1(kDBusServiceName);
    bool silent = false;
    const bool owned = !nameOwner(bus, service, &silent).isEmpty();
    if (silent)
        return BusStep::BusSilent;
    if (owned) {
        unownedClaims = 0;
    } else if (++unownedClaims >= kUnownedClaimsRefused) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Service '%1' cannot be claimed, using the per-user lock instead", service));
        return BusStep::NameRefused;
    }
    if (deadline.hasExpired()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Nobody took the launch request and the service stays taken, giving up"));
        exitCode = 1;
        return BusStep::End;
    }
    QThread::msleep(kRetryMs);
    return BusStep::TryAgain;
}

// Claims the name until this process serves by it or has handed its launch
// over; what it put on the bus goes again unless it serves.
BusStep claimOrHandOver(QDBusConnection& bus, CustomQApplication& app, int& exitCode)
{
    const QStringList arguments = QCoreApplication::arguments();
    BusObjects objects(bus, app);
    const QDeadlineTimer deadline(kHandOverTryMs);
    bool announced = false;
    int unownedClaims = 0;
    for (;;) {
        SignalReceiverForClaim receiver(bus, app);
        const Claim claim = claimName(bus, QString::fromLatin1(kDBusServiceName));
        if (claim == Claim::Silent)
            return BusStep::BusSilent;
        if (claim == Claim::Owned)
            return serveClaimedName(app, objects, receiver, exitCode);
        // The name is taken: this process serves nobody, for now.
        receiver.drop();
        BusStep step = forwardToOwner(bus, arguments, announced, exitCode);
        if (step == BusStep::TryAgain)
            step = waitForTheName(bus, deadline, unownedClaims, exitCode);
        if (step != BusStep::TryAgain)
            return step;
    }
}

} // namespace

bool setupDBusService(CustomQApplication& app, int& exitCode)
{
    exitCode = 0;
    if (!sessionBusAnswers())
        return useLocalInstance(app, exitCode);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot connect to session bus"));
        return setupLocalInstance(app, exitCode);
    }
    switch (claimOrHandOver(bus, app, exitCode)) {
    case BusStep::Run: return true;
    case BusStep::BusSilent: return useLocalInstance(app, exitCode);
    case BusStep::NameRefused: return setupLocalInstance(app, exitCode);
    case BusStep::End:
    case BusStep::TryAgain: break;
    }
    return false;
}

} // namespace qt
} // namespace tessal
