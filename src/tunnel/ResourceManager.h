#pragma once

#include <QHash>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/String.h"
#include "foundation/UClasses.h"
#include "tunnel/ResourceType.h"
#include "tunnel/TunnelInterface.h"
#include "tunnel/TunnelTypes.h"
#include "tunnel/WebInterface.h"

namespace tessal {
namespace qt {

class WebInterfaceProxy;

// One entry of the statistics sweep: a resource id and its controller's counters.
struct ResourceStats {
    QString id;
    tessal::TunnelStats stats;
};

// The table of the resources (tunnels) one browser window runs, and the hub
// of their events: checks each request against the running resources,
// creates and opens the matching controller, re-emits the controllers' events
// (which reach it on the GUI thread through its WebInterfaceProxy) as signals
// carrying the resource kind, closes resources, and sweeps the open ones for
// their status and statistics. GUI thread only; no lock.
class ResourceManager : public QObject, public WebInterface
{
    Q_OBJECT
public:
    // The table's value, copied freely.
    struct Resource {
        QString name; // the resource id (the table's key)
        int type = ResourceType::invalid;
        int status = 0; // the last status check's result (110 recorded as 107)
        // The non-zero code the resource is being closed with (close, sweeps);
        // its closed event carries this code when the controller reports 0.
        int closeCode = 0;
        std::shared_ptr<TunnelInterface> controller;
    };

    // The resource a controller factory is asked to build a controller for.
    struct ControllerRequest {
        ResourceType::Enum type = ResourceType::invalid;
        WebInterface* listener = nullptr; // this manager's proxy; not owned
        QUrl serverUrl;
        QString sessionId;
        QString id;
    };
    // Builds the controller of one resource; only types 1 (app_tunnel) and 2
    // (network_access) are asked for. A null result answers 104.
    using ControllerFactory = std::function<std::shared_ptr<TunnelInterface>(const ControllerRequest&)>;

    enum class ParamMode {
        Replace, // only an existing item is replaced, moving to the end
        Set // an existing item takes the value in place; else appended
    };
    struct ParamChange {
        CString name;
        CString value;
        ParamMode mode;
    };

    ResourceManager();
    ~ResourceManager() override;
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // The production factory: VpnController for type 2, AppTunnelController
    // for type 1 (both with std::make_shared), null otherwise.
    static std::shared_ptr<TunnelInterface> createController(const ControllerRequest& request);
    // Replaces the factory (tests); an empty function restores the production one.
    void setControllerFactory(ControllerFactory factory);

    void setSession(const QUrl& serverUrl, const QString& sessionId);

    // 0 when the controller was opened; else a result code (101 to 105, 107,
    // 109, 117, or the controller's own).
    int attachResource(const QString& id, ResourceType::Enum type, const QString& params);
    // Asks the resource's controller to close; the entry goes when the
    // controller reports closed or error. A failure gives a direct onTunnelClosed.
    int close(const QString& id, int error);
    // True, doing nothing, for an empty table; else closes every resource with
    // code 0 (over a snapshot) and returns false.
    bool closeAll();
    void closeResources(const std::vector<std::pair<Resource, int>>& resources);

    // False for an unknown id.
    bool isOpened(const QString& id);
    bool isNotOpened(const QString& id);
    // An unknown id throws UException "Tunnel not found".
    UPropertyList getTunnelProperties(const QString& id);
    std::vector<tessal::TunnelEndpoint> getResourceDetails(const QString& id);
    tessal::AppLaunchConfig getLaunchConfig(const QString& id);

    // Passes the level to every resource's controller, open or not; never throws.
    void setLogLevel(int level);

    // Status sweep: closes every open resource whose status check failed.
    void checkStatus();
    // Statistics sweep: the counters of the open resources in table order;
    // closes those whose queries threw.
    std::vector<ResourceStats> getStatistics();

    // Table queries for the browser controller and tests.
    bool isEmpty() const;
    int resourceCount() const;

    // The parameter-text helpers of attach.
    static void setParam(const CString& name, const CString& value, CString& params, char separator, ParamMode mode);
    // The same as setParam for each change in turn, reading and writing the
    // text once.
    static void setParams(const std::vector<ParamChange>& changes, CString& params, char separator);
    static CString portFromUrl(const QUrl& url);

    // The session's unsafe local-network entries; the browser controller
    // appends to them before the first attach.
    std::vector<CString> vecv4InResourceManager;
    std::vector<CString> vecv6InResourceManager;

    // WebInterface: called by the proxy's slots (GUI thread).
    void onTunnelConnected(const QString& id) override;
    void onTunnelReconnecting(const QString& id) override;
    void onTunnelConnecting(const QString& id) override;
    void onTunnelClosed(const QString& id, int error) override;
    void onTunnelError(const QString& id, int error) override;

signals:
    void tunnelConnected(QString id, int resType);
    void tunnelReconnecting(QString id, int resType);
    void tunnelConnecting(QString id, int resType);
    void tunnelClosed(QString id, int resType, int error);
    void tunnelError(QString id, int resType, int error);

private:
    friend struct TunnelTestSeam;

    std::optional<Resource> lookup(const QString& id) const;
    int knownType(const QString& id) const;
    using SweepFunction = std::function<int(Resource&)>;

    Resource findResource(const QString& id) const;
    void forEachOpenedResource(const SweepFunction& function, std::vector<std::pair<Resource, int>>& failed);
    int checkOneResourceStatus(Resource& resource);
    int getStatsHelper(Resource& resource, std::vector<ResourceStats>& stats);
    // Removes the entry of id, but only while it still holds controller.
    void eraseIfHolds(const QString& id, const std::shared_ptr<TunnelInterface>& controller);
    // Takes the entry of a tunnel that ended out of the table; false for an
    // id it does not hold.
    bool takeEnded(const QString& id, int error, QString& name, int& type, int& code);

    QSharedPointer<WebInterfaceProxy> m_proxy;
    QHash<QString, Resource> m_resources;
    int m_mainResourceType = ResourceType::invalid;
    QUrl m_serverUrl;
    QString m_sessionId;
    ControllerFactory m_factory;
};

} // namespace qt
} // namespace tessal
