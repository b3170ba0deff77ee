#include "shell/DisplayPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "DisplayPlatform";

struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    QByteArray function;
    QByteArray category;
    int line;
    QString text;
};

// The toolkit calls the handler from any thread; the state is the process's.
std::mutex heldMutex;
std::vector<HeldMessage> held;
QtMessageHandler previousHandler = nullptr;
std::string triedPlatforms;

void passOn(const HeldMessage& message)
{
    const QMessageLogContext context(message.file.isEmpty() ? nullptr : message.file.constData(), message.line,
                                     message.function.isEmpty() ? nullptr : message.function.constData(),
                                     message.category.isEmpty() ? nullptr : message.category.constData());
    if (previousHandler != nullptr)
        previousHandler(message.type, context, message.text);
    else
        std::fprintf(stderr, "%s\n", qFormatLogMessage(message.type, context, message.text).toLocal8Bit().constData());
}

[[noreturn]] void noDisplay(const QString& toolkitMessage)
{
    std::vector<HeldMessage> before;
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        before.swap(held);
    }
    for (const HeldMessage& message : before)
        ULOG_WARNING(kLogFile, "DisplayPlatform", makeArgFormat("Toolkit: %1", message.text));
    ULOG_ERROR(kLogFile, "DisplayPlatform",
               makeArgFormat("No display could be opened with the platforms '%1': %2", triedPlatforms,
                             toolkitMessage.section(QLatin1Char('\n'), 0, 0)));
    std::fprintf(stderr,
                 "tessalvpn: no display could be opened (platforms tried: %s); "
                 "a Wayland or X11 session is needed, or QT_QPA_PLATFORM\n",
                 triedPlatforms.c_str());
    // Inside the toolkit's half-built application object: nothing more may run.
    std::_Exit(1);
}

void releaseHeld()
{
    std::vector<HeldMessage> messages;
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        messages.swap(held);
    }
    for (const HeldMessage& message : messages)
        passOn(message);
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // Once a platform is open the messages go their usual way, a fatal one too.
    if (!QGuiApplication::platformName().isEmpty()) {
        releaseHeld();
        passOn({type, QByteArray(context.file), QByteArray(context.function), QByteArray(context.category),
                context.line, text});
        return;
    }
    // Before that, a fatal message is the toolkit's only way to say that no
    // platform opened.
    if (type == QtFatalMsg)
        noDisplay(text);
    std::lock_guard<std::mutex> lock(heldMutex);
    held.push_back({type, QByteArray(context.file), QByteArray(context.function), QByteArray(context.category),
                    context.line, text});
}

bool isPlatformArgument(const char* argument)
{
    if (argument == nullptr)
        return false;
    // The toolkit takes its options with one dash or two.
    const char* name = std::strncmp(argument, "--", 2) == 0 ? argument + 1 : argument;
    return std::strcmp(name, "-platform") == 0;
}

} // namespace

QByteArray platformsToTry(const QByteArray& userPlatform, bool platformArgument, const QByteArray& waylandDisplay)
{
    if (!userPlatform.isEmpty() || platformArgument)
        return {};
    return waylandDisplay.isEmpty() ? QByteArrayLiteral("xcb;wayland") : QByteArrayLiteral("wayland;xcb");
}

DisplayPlatform::DisplayPlatform(int argc, char** argv)
{
    bool platformArgument = false;
    for (int i = 1; i < argc; ++i)
        platformArgument = platformArgument || isPlatformArgument(argv[i]);
    const QByteArray userPlatform = qgetenv("QT_QPA_PLATFORM");
    m_platforms = platformsToTry(userPlatform, platformArgument, qgetenv("WAYLAND_DISPLAY")).toStdString();

    m_argv.assign(argv, argv + argc);
    if (!m_platforms.empty()) {
        // Right after the program name: the toolkit strips both before
        // anyone reads the arguments.
        m_option = "-platform";
        m_argv.insert(m_argv.begin() + (argc > 0 ? 1 : 0), {m_option.data(), m_platforms.data()});
        triedPlatforms = m_platforms;
    } else {
        triedPlatforms = userPlatform.isEmpty() ? std::string("as given by -platform") : userPlatform.toStdString();
    }
    m_argc = static_cast<int>(m_argv.size());
    m_argv.push_back(nullptr);

    previousHandler = qInstallMessageHandler(holdMessage);
    m_watching = true;
}

DisplayPlatform::~DisplayPlatform()
{
    opened();
}

void DisplayPlatform::opened()
{
    if (!m_watching)
        return;
    m_watching = false;
    qInstallMessageHandler(previousHandler);
    releaseHeld();
}

} // namespace qt
} // namespace tessal
