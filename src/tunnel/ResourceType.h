#pragma once

#include <QString>

// The kinds of resource a session can run. The launch URL's "resourcetype"
// names one by its text.
namespace ResourceType {
enum Enum { optimized_tunnel = 0, app_tunnel = 1, network_access = 2, tunnel_once_usage = 3, invalid = 255 };
} // namespace ResourceType

// Exact (case-sensitive) text to kind; any other text throws UException.
ResourceType::Enum resourceTypeFromString(const QString& text);
