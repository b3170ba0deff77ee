#include "tunnel/ResourceManager.h"

#include <cctype>
#include <stdexcept>
#include <string>

#include <boost/system/system_error.hpp>

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"
#include "tunnel/AppTunnelController.h"
#include "tunnel/TunnelServerClient.h"
#include "tunnel/UTunnelManagerHelpers.h"
#include "tunnel/VpnController.h"
#include "tunnel/WebInterfaceProxy.h"

namespace tessal {
namespace qt {

namespace {

const char* const kSource = "ResourceManager";
const int kVerbose = 48;
const int kError = 1;
const int kWarning = 2;

// Raised by the attach of a type that has no controller.
const int kUnknownType = 104;

// The parameter text for the log: every value whose name holds "session"
// (any case) in the short form, the last eight characters.
CString forRecord(const CString& params)
{
    UPropertyList items;
    parseKeyValueList(items, static_cast<const char*>(params), '&', '=');
    CString out;
    for (int i = 0; i < items.getCount(); ++i) {
        const UHashTableItem* item = items.getItem(i);
        if (i > 0)
            out += '&';
        out += item->m_key;
        out += '=';
        out += containsNoCase(item->m_key, "session") ? shortSecret(item->m_value) : item->m_value;
    }
    return out;
}

} // namespace

ResourceManager::ResourceManager() : QObject(nullptr)
{
    // Created here, on the GUI thread, without a parent: its slots run on this thread.
    m_proxy = QSharedPointer<WebInterfaceProxy>(new WebInterfaceProxy(this));
}

ResourceManager::~ResourceManager()
{
    // Closes nothing. Controllers go before the proxy (their listener); the
    // table is emptied first, so that an event delivered while a controller
    // is destroyed finds a whole object with no entries.
    QHash<QString, Resource> table;
    table.swap(m_resources);
    table.clear();
}

std::shared_ptr<TunnelInterface> ResourceManager::createController(const ControllerRequest& request)
{
    switch (request.type) {
    case ResourceType::network_access: return std::make_shared<VpnController>(request.listener, request.id);
    case ResourceType::app_tunnel:
        return std::make_shared<AppTunnelController>(request.listener, request.serverUrl, request.sessionId,
                                                     request.id);
    default: return nullptr;
    }
}

void ResourceManager::setControllerFactory(ControllerFactory factory)
{
    m_factory = std::move(factory);
}

void ResourceManager::setSession(const QUrl& serverUrl, const QString& sessionId)
{
    m_serverUrl = serverUrl;
    m_sessionId = sessionId;
}

bool ResourceManager::isEmpty() const
{
    return m_resources.isEmpty();
}

int ResourceManager::resourceCount() const
{
    return static_cast<int>(m_resources.size());
}

std::optional<ResourceManager::Resource> ResourceManager::lookup(const QString& id) const
{
    const auto it = m_resources.constFind(id);
    if (it == m_resources.constEnd())
        return std::nullopt;
    return *it;
}

// ---------------------------------------------------------------------------
// Parameter text

void ResourceManager::setParam(const CString& name, const CString& value, CString& params, char separator,
                               ParamMode mode)
{
    setParams({ParamChange{name, value, mode}}, params, separator);
}

void ResourceManager::setParams(const std::vector<ParamChange>& changes, CString& params, char separator)
{
    if (params.IsEmpty())
        return;
    UPropertyList items;
    parseKeyValueList(items, static_cast<const char*>(params), separator, '=');
    bool changed = false;
    for (const ParamChange& change : changes) {
        if (change.name.IsEmpty() || change.value.IsEmpty())
            continue;
        if (change.mode == ParamMode::Replace) {
            int index = -1;
            for (int i = 0; i < items.getCount() && index < 0; ++i)
                if (compareNoCase(items.getItem(i)->m_key, change.name) == 0)
                    index = i;
            if (index < 0)
                continue; // the text stays as it was
            items.removeAt(index);
            items.setProperty(change.name, change.value);
        } else if (UHashTableItem* item = items.findProperty(change.name)) {
            item->m_value = change.value;
        } else {
            items.setProperty(change.name, change.value);
        }
        changed = true;
    }
    if (!changed)
        return;
    CString out;
    for (int i = 0; i < items.getCount(); ++i) {
        const UHashTableItem* item = items.getItem(i);
        if (i > 0)
            out += separator;
        out += item->m_key;
        out += '=';
        out += item->m_value;
    }
    params = out;
}

CString ResourceManager::portFromUrl(const QUrl& url)
{
    if (url.port() >= 1)
        return CString(std::to_string(url.port()).c_str());
    const QString scheme = url.scheme();
    if (equalsNoCase(scheme, QStringLiteral("https")))
        return CString("443");
    if (equalsNoCase(scheme, QStringLiteral("http")))
        return CString("80");
    return CString();
}

// ---------------------------------------------------------------------------
// Attach

int ResourceManager::attachResource(const QString& id, ResourceType::Enum type, const QString& params)
{
    // One kind of resource per manager, and one network-access resource.
    if (m_mainResourceType != ResourceType::invalid) {
        if (type == ResourceType::network_access)
            return m_mainResourceType == ResourceType::network_access ? 101 : 102;
        if (type != m_mainResourceType)
            return 102;
    }
    // An id already attached is not attached again.
    if (m_resources.contains(id))
        return 103;
    // The manager's kind: sticky, even when the request fails below.
    m_mainResourceType = type;

    // A controller of the resource's kind.
    if (type != ResourceType::network_access && type != ResourceType::app_tunnel)
        return kUnknownType;
    ControllerRequest request;
    request.type = type;
    request.listener = m_proxy.data();
    request.serverUrl = m_serverUrl;
    request.sessionId = m_sessionId;
    request.id = id;
    // Held here across open: events delivered in open's nested loops may drop
    // the table's copy.
    const std::shared_ptr<TunnelInterface> controller = m_factory ? m_factory(request) : createController(request);
    if (!controller)
        return kUnknownType;

    // In the table before open, so that events delivered meanwhile find it.
    Resource resource;
    resource.name = id;
    resource.type = type;
    resource.status = 0;
    resource.controller = controller;
    m_resources.insert(id, resource);

    // The parameters: the server's host and port, and the local networks,
    // applied in one pass over the text (it may be megabytes long).
    CString szParams = toCStringUtf8(params);
    std::vector<ParamChange> changes{
        {"tunnel_host0", toCStringUtf8(m_serverUrl.host(QUrl::FullyDecoded)), ParamMode::Replace},
        {"tunnel_port0", portFromUrl(m_serverUrl), ParamMode::Replace}};
    auto addNetworks = [&](const std::vector<CString>& entries, const char* label, const char* prefix,
                           const char* countName) {
        if (entries.empty())
            return;
        for (size_t i = 0; i < entries.size(); ++i) {
            ULOG(kVerbose, kSource, __PRETTY_FUNCTION__, makeArgFormat("%1, %2", label, entries[i]).str());
            changes.push_back({CString(prefix) + CString(std::to_string(i).c_str()), entries[i], ParamMode::Set});
        }
        changes.push_back({countName, CString(std::to_string(entries.size()).c_str()), ParamMode::Set});
    };
    addNetworks(vecv4InResourceManager, "ipv4 Address: ", "localNetVulnerableIPv4_", "localNetVulnerableIPv4count");
    addNetworks(vecv6InResourceManager, "ipv6 Address: ", "localNetVulnerableIPv6_", "localNetVulnerableIPv6count");
    setParams(changes, szParams, '&');

    ULOG(kVerbose, kSource, __PRETTY_FUNCTION__,
         makeArgFormat("%1, %2", "Content of szParams: ", forRecord(szParams)).str());

    // Open; each failure becomes its error code.
    int result = 0;
    std::string text;
    try {
        result = controller->open(std::string(static_cast<const char*>(szParams)));
    } catch (const TunnelServerTimeoutException& e) {
        result = 107;
        text = e.what();
    } catch (const InvalidSidException& e) {
        result = 117;
        text = e.what();
    } catch (const boost::system::system_error& e) {
        const bool timedOut = e.code().value() == 110 && e.code().category() == boost::system::system_category();
        result = timedOut ? 109 : 105;
        text = e.what();
    } catch (const std::exception& e) {
        result = 105;
        text = e.what();
    }

    if (result != 0) {
        ULOG(kError, kSource, __PRETTY_FUNCTION__,
             makeArgFormat("Failed to open resource '%1', error:%2, %3", id, result, text).str());
        // Only this attach's entry: a nested close may have removed it, and a
        // nested attach may have entered another under the same id.
        eraseIfHolds(id, controller);
    }
    return result;
}

void ResourceManager::eraseIfHolds(const QString& id, const std::shared_ptr<TunnelInterface>& controller)
{
    const auto it = m_resources.find(id);
    if (it != m_resources.end() && it->controller == controller)
        m_resources.erase(it);
}

// ---------------------------------------------------------------------------
// Close

ResourceManager::Resource ResourceManager::findResource(const QString& id) const
{
    const auto it = m_resources.constFind(id);
    if (it == m_resources.constEnd())
        throw UException(-1, kSource, __PRETTY_FUNCTION__, __LINE__, "EXCEPTION - %s, %s", "Tunnel not found",
                         id.toUtf8().constData());
    return *it;
}

int ResourceManager::close(const QString& id, int error)
{
    if (error == 0)
        ULOG(kVerbose, kSource, __PRETTY_FUNCTION__, makeArgFormat("Closing resource %1...", id).str());
    else
        ULOG(kVerbose, kSource, __PRETTY_FUNCTION__,
             makeArgFormat("Closing resource %1, error code %2...", id, error).str());

    int result = 0;
    bool returned = false;
    const CString context(makeArgFormat("Failed to find/close resource %1", id).str());
    guardOperation(UCATCH_SITE(kSource, static_cast<const char*>(context), __PRETTY_FUNCTION__), result, [&] {
        const Resource resource = findResource(id); // the copy keeps the controller alive
        if (error != 0) {
            // The closed event that follows carries this code, not the controller's 0.
            auto it = m_resources.find(id);
            if (it != m_resources.end() && it->closeCode == 0)
                it->closeCode = error;
        }
        result = resource.controller->close();
        returned = true;
    });
    // A controller that threw has not closed, whatever the code it threw
    // (0, or a break): no closed event is coming for it.
    if (!returned && result == 0)
        result = -1;

    if (result != 0) {
        ULOG(kWarning, kSource, __PRETTY_FUNCTION__,
             makeArgFormat("Failed to close resource %1, errror %2", id, result).str());
        onTunnelClosed(id, error);
    }
    return result;
}

bool ResourceManager::closeAll()
{
    if (m_resources.isEmpty())
        return true;
    const QList<QString> ids = m_resources.keys(); // the table may change under each close
    for (const QString& id : ids)
        close(id, 0);
    return false;
}

void ResourceManager::closeResources(const std::vector<std::pair<Resource, int>>& resources)
{
    for (const auto& entry : resources)
        close(entry.first.name, entry.second);
}

// ---------------------------------------------------------------------------
// Queries

bool ResourceManager::isOpened(const QString& id)
{
    const auto it = m_resources.constFind(id);
    if (it == m_resources.constEnd())
        return false;
    const std::shared_ptr<TunnelInterface> controller = it->controller;
    return controller->isOpened();
}

bool ResourceManager::isNotOpened(const QString& id)
{
    const auto it = m_resources.constFind(id);
    if (it == m_resources.constEnd())
        return false;
    const std::shared_ptr<TunnelInterface> controller = it->controller;
    return !controller->isOpened();
}

UPropertyList ResourceManager::getTunnelProperties(const QString& id)
{
    return findResource(id).controller->getProperties();
}

std::vector<tessal::TunnelEndpoint> ResourceManager::getResourceDetails(const QString& id)
{
    return findResource(id).controller->getResourceDetails();
}

tessal::AppLaunchConfig ResourceManager::getLaunchConfig(const QString& id)
{
    return findResource(id).controller->getLaunchConfig();
}

void ResourceManager::setLogLevel(int level)
{
    const QList<Resource> resources = m_resources.values();
    for (const Resource& resource : resources) {
        int result = 0;
        const CString context(makeArgFormat("Failed to set log level %1 of resource %2", level, resource.name).str());
        // One controller's failure must not keep the level from the others, nor
        // leave the slot that called us.
        guardOperation(UCATCH_SITE(kSource, static_cast<const char*>(context), __PRETTY_FUNCTION__), result,
                       [&] { resource.controller->setLogLevel(level); });
    }
}

// ---------------------------------------------------------------------------
// Sweeps

void ResourceManager::forEachOpenedResource(const SweepFunction& function,
                                            std::vector<std::pair<Resource, int>>& failed)
{
    // Over a snapshot: a controller's query may run a nested loop that changes
    // the table. Each entry is taken afresh and only an entry that still holds
    // the same controller is visited and updated.
    const QList<QString> ids = m_resources.keys();
    for (const QString& id : ids) {
        auto it = m_resources.find(id);
        if (it == m_resources.end())
            continue;
        Resource resource = *it;
        if (!resource.controller->isOpened())
            continue;
        int code = 0;
        bool threw = false;
        try {
            if (!function)
                throw std::runtime_error("empty sweep function");
            code = function(resource);
        } catch (const std::runtime_error&) {
            threw = true;
        }
        // The function's record of the status goes back into the table's own entry.
        it = m_resources.find(id);
        if (it != m_resources.end() && it->controller == resource.controller)
            it->status = resource.status;
        if (threw)
            failed.emplace_back(resource, resource.status != 0 ? resource.status : -102);
        else if (code != 0)
            failed.emplace_back(resource, code);
    }
}

int ResourceManager::checkOneResourceStatus(Resource& resource)
{
    const int status = resource.controller->checkStatus();
    if (status == 110) { // the tunnel server is reconnecting: not a failure
        resource.status = 107;
        return 0;
    }
    resource.status = status;
    return status;
}

int ResourceManager::getStatsHelper(Resource& resource, std::vector<ResourceStats>& stats)
{
    if (resource.type != ResourceType::network_access && resource.controller->getResourceDetails().empty())
        return 0;
    stats.push_back(ResourceStats{resource.name, resource.controller->getTraffic()});
    return 0;
}

void ResourceManager::checkStatus()
{
    std::vector<std::pair<Resource, int>> failed;
    forEachOpenedResource([this](Resource& resource) { return checkOneResourceStatus(resource); }, failed);
    closeResources(failed);
}

std::vector<ResourceStats> ResourceManager::getStatistics()
{
    std::vector<ResourceStats> stats;
    std::vector<std::pair<Resource, int>> failed;
    forEachOpenedResource([this, &stats](Resource& resource) { return getStatsHelper(resource, stats); }, failed);
    closeResources(failed);
    return stats;
}

// ---------------------------------------------------------------------------
// Events

// The type of a known resource, or -1 after the "Unexpected resource id" record.
int ResourceManager::knownType(const QString& id) const
{
    const auto it = m_resources.constFind(id);
    if (it == m_resources.constEnd()) {
        ULOG(kWarning, kSource, __PRETTY_FUNCTION__, makeArgFormat("Unexpected resource id '%1'", id).str());
        return -1;
    }
    return it->type;
}

void ResourceManager::onTunnelConnected(const QString& id)
{
    const int type = knownType(id);
    if (type >= 0)
        emit tunnelConnected(id, type);
}

void ResourceManager::onTunnelReconnecting(const QString& id)
{
    const int type = knownType(id);
    if (type >= 0)
        emit tunnelReconnecting(id, type);
}

void ResourceManager::onTunnelConnecting(const QString& id)
{
    const int type = knownType(id);
    if (type >= 0)
        emit tunnelConnecting(id, type);
}

bool ResourceManager::takeEnded(const QString& id, int error, QString& name, int& type, int& code)
{
    const auto it = m_resources.find(id);
    if (it == m_resources.end())
        return false;
    type = it->type;
    // A resource closed with a failure code ends with that code, not with the
    // controller's normal 0.
    code = error == 0 ? it->closeCode : error;
    name = id; // id may refer into the entry's own text
    m_resources.erase(it);
    return true;
}

void ResourceManager::onTunnelClosed(const QString& id, int error)
{
    QString name;
    int type = 0;
    int code = 0;
    if (!takeEnded(id, error, name, type, code)) {
        ULOG(kWarning, kSource, __PRETTY_FUNCTION__, makeArgFormat("Unexpected resource id '%1'", id).str());
        return;
    }
    emit tunnelClosed(name, type, code);
}

void ResourceManager::onTunnelError(const QString& id, int error)
{
    QString name;
    int type = 0;
    int code = 0;
    if (!takeEnded(id, error, name, type, code)) {
        ULOG(kWarning, kSource, __PRETTY_FUNCTION__, makeArgFormat("Unexpected resource id '%1'", id).str());
        return;
    }
    emit tunnelError(name, type, code);
}

} // namespace qt
} // namespace tessal
