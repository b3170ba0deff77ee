#include "session/TrustedSitePrompt.h"

#include <QByteArray>

#include "dialogs/AddTrustedSiteDialog.h"
#include "dialogs/MessageBox.h"
#include "session/TrustedSiteList.h"

namespace tessal {
namespace qt {

namespace {

sl::TrustedSiteList* store()
{
    // Start-up created the store with its folder; later calls only fetch it.
    return sl::TrustedSiteList::Instance(nullptr, "trusted_sites.xml");
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

bool CheckOrAskTrustedSite(const QString& site, bool vpnMode, const std::string& sessionKey)
{
    sl::TrustedSiteList* list = store();
    const std::string siteText = utf8(site);
    if (list->IsTrusted(siteText, sessionKey))
        return true;

    int answer = AddTrustedSiteDialog::DoNotAllow;
    {
        // "Always allow" is result 0, which is also what a dialog ended from
        // outside returns: only a pressed button may grant.
        AddTrustedSiteDialog dialog(nullptr, vpnMode, site);
        answer = execQuestion(dialog, AddTrustedSiteDialog::DoNotAllow);
    }
    switch (answer) {
    case AddTrustedSiteDialog::AlwaysAllow: list->AddPermanent(siteText); return true;
    case AddTrustedSiteDialog::AllowForSession: list->AddForSession(siteText, sessionKey); return true;
    default: return false;
    }
}

bool IsSiteTrusted(const QString& site, bool /*vpnMode*/, const std::string& sessionKey)
{
    return store()->IsTrusted(utf8(site), sessionKey);
}

bool IsSitePermanentlyTrusted(const QString& site, bool /*unused*/)
{
    return store()->IsTrustedPermanently(utf8(site));
}

} // namespace qt
} // namespace tessal
