#include "tunnel/ResourceType.h"

#include "foundation/UException.h"

ResourceType::Enum resourceTypeFromString(const QString& text)
{
    static const struct {
        const char* text;
        ResourceType::Enum value;
    } kinds[] = {{"optimized_tunnel", ResourceType::optimized_tunnel},
                 {"app_tunnel", ResourceType::app_tunnel},
                 {"network_access", ResourceType::network_access},
                 {"tunnel_once_usage", ResourceType::tunnel_once_usage},
                 {"invalid", ResourceType::invalid}};
    for (const auto& kind : kinds)
        if (text == QLatin1String(kind.text))
            return kind.value;
    throw UException(-1, "ResourceType", "ResourceType::Enum resourceTypeFromString(const QString&)", 23,
                     "EXCEPTION - %s, %s", "Unknown resource id", text.toUtf8().constData());
}
