#include "session/Session.h"

#include "dialogs/MessageBox.h"
#include "dialogs/QuitRequest.h"
#include "dialogs/ServerUrls.h"
#include "foundation/Helpers.h"
#include "session/InputParamsBase.h"
#include "session/SessionTestSeam.h"
#include "session/TrustedSitePrompt.h"
#include "session/UnixAutoUpdater.h"
#include "tunnel/ResourceErrors.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <algorithm>
#include <stdexcept>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "/Session";
constexpr int kNotTrustedForSession = 112;

SessionTestSeam::AttachCall& seamAttachCall()
{
    static SessionTestSeam::AttachCall call;
    return call;
}

} // namespace

Session::Session() : Session(SessionInfo(), 0) {}

Session::Session(const SessionInfo& info, int type)
    : QObject(nullptr), sessionInfo(info), sessionType(type), httpManager(info.sessionId.toUtf8().toStdString())
{
    connect(&profileManager, SIGNAL(ProfileDownloadSuccess()), this, SLOT(ProfileDownloadSuccess()));
    connect(&profileManager, SIGNAL(ProfileDownloadFailed(QString)), this, SLOT(ProfileDownloadFailed(QString)));
    refusalTimer.setSingleShot(true);
    connect(&refusalTimer, &QTimer::timeout, this, [this]() {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Refusal report got no answer in time"));
        fail(QStringLiteral("Site not trusted"));
    });
    httpManager.setCertificateDialogObserver([this](bool open) { holdRefusalTimer(open); });
}

Session::~Session() = default;

void Session::holdRefusalTimer(bool dialogOpen)
{
    if (dialogOpen) {
        if (refusalTimer.isActive()) {
            refusalRemainingMs = std::max(0, refusalTimer.remainingTime());
            refusalTimer.stop();
        }
        return;
    }
    if (refusalRemainingMs >= 0 && !ended)
        refusalTimer.start(refusalRemainingMs);
    refusalRemainingMs = -1;
}

std::string Session::trustedSiteTag() const
{
    return std::string(static_cast<const char*>(shortSecret(toCStringUtf8(sessionInfo.sessionId))));
}

std::string extractTagText(const std::string& text, const std::string& tag)
{
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    const size_t start = text.find(open);
    if (start == std::string::npos)
        return std::string();
    const size_t from = start + open.size();
    const size_t end = text.find(close, from);
    if (end == std::string::npos)
        throw std::runtime_error("Failed to find closing tag for " + tag);
    return text.substr(from, end - from);
}

ControllerStart startBrowserControllerGuarded(const char* operation, const std::function<void()>& start)
{
    bool started = false;
    // A break leaves it as it is, an in-house exception sets its code.
    int result = 0;
    guardOperation(UCATCH_SITE(kLogFile, "Exception for NA manager", operation), result, [&]() {
        start();
        started = true;
    });
    if (started)
        return ControllerStart::Started;
    return result == 0 ? ControllerStart::EndedSilently : ControllerStart::Failed;
}

void Session::finish()
{
    if (ended)
        return;
    ended = true;
    refusalTimer.stop();
    refusalRemainingMs = -1;
    emit Finished();
}

void Session::fail(const QString& message)
{
    if (ended)
        return;
    ended = true;
    refusalTimer.stop();
    refusalRemainingMs = -1;
    emit Error(message);
}

bool Session::endIfQuitting()
{
    if (!quitRequested())
        return false;
    fail(QStringLiteral("Application is quitting"));
    return true;
}

void Session::Start()
{
    if (endIfQuitting())
        return;
    // The launch flag never bypasses the gate: a site that is already trusted
    // passes it without a dialog, any other site is asked as usual.
    if (TrustedSiteListCheck())
        ProfileDownload();
}

bool Session::TrustedSiteListCheck()
{
    const std::string tag = trustedSiteTag();
    const QString site = sessionInfo.url.toString();
    const bool vpnMode = sessionType != EndpointInspection;
    if (CheckOrAskTrustedSite(site, vpnMode, tag))
        return true;
    // A question ended by a quit sends no refusal report either.
    if (endIfQuitting())
        return false;

    connect(&httpManager, SIGNAL(RequestFinished(Err::HttpNetworkManager, QString)), this,
            SLOT(SiteNotTrusted(Err::HttpNetworkManager, QString)));
    if (sessionType == EndpointInspection) {
        QUrl url(sessionInfo.url);
        url.setPath(QStringLiteral("/my.policy"));
        refusalTimer.start(refusalTimeoutMs);
        // The user has just refused this server: it may not send the client elsewhere.
        httpManager.setSameOriginRedirectionsOnly(true);
        httpManager.HttpPost(url, QStringLiteral("no-inspection-host=1"));
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("URL %1 is not in trusted site list. Skipping inspection", sessionInfo.url));
        return false;
    }
    fail(QStringLiteral("Site not trusted"));
    return false;
}

void Session::ProfileDownload()
{
    if (ended || endIfQuitting())
        return;
    const QUrl url = makeProfileUrl(sessionInfo.url);
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Profile download starting", url));
    profileManager.DownloadProfile(url);
    lookUpServerAhead(sessionInfo.url, this);
    browserController.prepareAhead(sessionInfo);
}

void Session::ProfileDownloadFailed(QString errMsg)
{
    if (ended)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Profile download failed", errMsg));
    // A network-access launch that cannot get its profile tells the user what
    // to do, as its other failures do; an inspection ends silently whatever
    // its outcome.
    if (sessionType == NetworkAccess && !endIfQuitting()) {
        ShowCriticalBox(QObject::tr("Error occurred. Please relaunch network access resource from browser.") +
                        QStringLiteral("<br>") + errMsg.toHtmlEscaped());
        // A quit that ended the box ends the program in order, as always.
        launchFailed = !quitRequested();
    }
    fail(errMsg);
}

void Session::ProfileDownloadSuccess()
{
    if (ended || endIfQuitting())
        return;
    if (!isServerIPValid()) {
        ShowCriticalBox(
            QObject::tr("Your current network is vulnerable,Please change the network to establish the VPN"));
        launchFailed = !quitRequested();
        fail(QStringLiteral("Virtual Server IP invalid, Hence quitting connection"));
        return;
    }
    if (getVulnerableNetworkInterfaceInfo() != 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unable to get the NetworkInterfaceInfo"));
        // The session cannot tell which local addresses are exposed: end it
        // rather than leave it waiting for nothing.
        fail(QStringLiteral("Unable to get the NetworkInterfaceInfo"));
        return;
    }
    ConnectAutoUpdater();
}

void Session::ConnectAutoUpdater()
{
    if (ended || endIfQuitting())
        return;
    autoUpdater = QSharedPointer<AutoUpdater>(new UnixAutoUpdater<MacPackage>(sessionType, sessionInfo.url, 0));
    connect(autoUpdater.data(), SIGNAL(UpdateSuccess()), this, SLOT(AutoUpdateSuccess()), Qt::QueuedConnection);
    connect(autoUpdater.data(), SIGNAL(UpdateFail(QString, bool)), this, SLOT(AutoUpdateFail(QString, bool)),
            Qt::QueuedConnection);
    connect(autoUpdater.data(), SIGNAL(UpdateIgnored()), this, SLOT(AutoUpdateIgnored()), Qt::QueuedConnection);
    connect(autoUpdater.data(), SIGNAL(InstallIgnored()), this, SLOT(AutoUpdateIgnored()), Qt::QueuedConnection);
    autoUpdater->CheckForUpdates(profileManager.GetParser());
}

bool Session::isServerIPValid()
{
    return SessionNetworkChecks::isServerIPValid(sessionInfo.url, profileManager.GetParser());
}

int Session::getVulnerableNetworkInterfaceInfo()
{
    return SessionNetworkChecks::getVulnerableNetworkInterfaceInfo(profileManager.GetParser());
}

void Session::AutoUpdateSuccess()
{
    if (ended)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Application is up-to-date"));
    StartAccessPolicyProcessing();
}

void Session::AutoUpdateIgnored()
{
    if (ended)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Application update ignored by user"));
    StartAccessPolicyProcessing();
}

void Session::AutoUpdateFail(QString message, bool ignore)
{
    if (ended || endIfQuitting())
        return;
    if (ignore) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Auto update of application failed: %1. Ignoring", message));
        StartAccessPolicyProcessing();
        return;
    }
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Auto update of application failed", message));

    int answer = QMessageBox::No;
    {
        MessageBox box;
        box.setWindowTitle(QCoreApplication::applicationName());
        box.setTextFormat(Qt::RichText);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Retry);
        box.setDefaultButton(QMessageBox::Yes);
        box.setIcon(QMessageBox::Warning);
        box.setText(QObject::tr("Application update failed: %1.\n Do you want to continue using old version?")
                        .arg(message.toHtmlEscaped()));
        answer = execQuestion(box, QMessageBox::No);
    }
    if (ended || endIfQuitting())
        return;
    if (answer == QMessageBox::Yes)
        StartAccessPolicyProcessing();
    else if (answer == QMessageBox::Retry)
        ProfileDownload();
    else
        fail(message);
}

void Session::StartAccessPolicyProcessing()
{
    // No window opens once the program is quitting.
    if (ended || endIfQuitting())
        return;
    if (sessionType != NetworkAccess) {
        fail(QStringLiteral("Unsupported session type"));
        return;
    }
    for (const CString& address : vectVulnerableIPv4s)
        sessionInfo.ipv4Addresses.push_back(QString::fromUtf8(static_cast<const char*>(address)));
    for (const CString& address : vectVulnerableIPv6s)
        sessionInfo.ipv6Addresses.push_back(QString::fromUtf8(static_cast<const char*>(address)));

    const ControllerStart outcome = startBrowserControllerGuarded(__PRETTY_FUNCTION__, [&]() {
        connect(&browserController, SIGNAL(realCloseMainWindow()), this, SIGNAL(Finished()), Qt::QueuedConnection);
        browserController.start(sessionInfo);
    });
    // A controller that did not start leaves nothing for the user to see or
    // close: the session ends, with an error unless the start was broken off.
    if (outcome == ControllerStart::EndedSilently)
        finish();
    else if (outcome == ControllerStart::Failed)
        fail(QStringLiteral("Exception occurred while start NA manager"));
}

void Session::SiteNotTrusted(Err::HttpNetworkManager, QString)
{
    fail(QStringLiteral("Site not trusted"));
}

void Session::RequestFinished(Err::HttpNetworkManager error, QString message)
{
    if (error != Err::Success)
        fail(message);
}

void SessionTestSeam::setAttachCall(AttachCall call)
{
    seamAttachCall() = std::move(call);
}

UFORCED_UNWIND_HANDLER AttachResourceResult Session::AttachResource(const QString& resourceName,
                                                                    const QString& resourceType)
{
    AttachResourceResult out;
    int code = 0;
    try {
        if (!IsSiteTrusted(sessionInfo.url.toString(), sessionType != EndpointInspection, trustedSiteTag()))
            code = kNotTrustedForSession;
        else if (seamAttachCall())
            code = seamAttachCall()(resourceName, resourceType);
        else
            code = browserController.openMainResource(resourceName, resourceType, QString());
    } catch (const UException& e) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("EXCEPTION caught: %1", e.what()));
        // Whatever its code, a throw means the resource was not opened.
        return {e.getCode() != 0 ? e.getCode() : -1,
                QObject::tr("Failed to open resource '%1': %2").arg(resourceName, QString::fromUtf8(e.what())), true};
    } catch (const std::exception& e) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("%1, %2", "Failed to attach resource", e.what()));
        return {-1, QObject::tr("Failed to open resource '%1': %2").arg(resourceName, QString::fromUtf8(e.what())),
                true};
    } catch (abi::__forced_unwind&) {
        ucatch::recordForcedUnwind(UCATCH_SITE(kLogFile, "Failed to attach resource", __PRETTY_FUNCTION__));
        throw;
    } catch (...) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("EXCEPTION caught: %1", "unknown exception"));
        return {-1,
                QObject::tr("Failed to open resource '%1': %2").arg(resourceName, QStringLiteral("unknown exception")),
                true};
    }
    if (code == 0)
        return out;
    out.code = code;
    if (isResourceRequestRefusal(code)) {
        out.message = resourceErrorText(code);
        out.notifyUser = true;
    } else {
        out.message = QObject::tr("Failed to open resource '%1': %2").arg(resourceName, resourceErrorText(code));
        out.notifyUser = false;
    }
    return out;
}

} // namespace qt
} // namespace tessal
