#include "tunnel/ResourceErrors.h"

#include <cstdint>

namespace {

const char* const kUnknownError = "Unknown error";

const char* resourceLayerText(int code)
{
    switch (code) {
    case 101: return "Only one VPN resource can be run at the same time";
    case 102: return "Only one type of resource can be run at the same time";
    case 103: return "Resource already running";
    case 104: return "Unknown resource type";
    case 105: return "Failed to run TunnelServer";
    case 106: return "Failed to connect to TunnelServer";
    case 107: return "TunnelServer can't connect to Corvel";
    case 108: return "TunnelServer can't establish tunnel";
    case 109: return "TunnelServer haven't responded in given time";
    case 110: return "TunnelServer is reconnecting";
    case 111: return "TunnelServer returned unexpected result";
    case 112: return "User hasn't accepted the trusted sites dialog yet";
    case 113: return "Resource page is not loaded yet. Ignoring open resource request";
    case 114: return "Session was closed by the server. Generic Error";
    case 115: return "Session was closed by client's request";
    case 116: return "Session was closed by the server";
    case 117: return "Session is invalid";
    case 118: return "An operation has been cancelled by the user";
    default: return nullptr;
    }
}

} // namespace

const char* svpnErrorText(int code)
{
    switch (code) {
    case -102: return "Cannot connect to Tunnel Server";
    case -101: return "Wrong configuration";
    case -100: return "Cannot create new thread";
    case -7: return "Tunnel server cannot be stopped";
    case -6: return "Tunnel server cannot be started";
    case -5: return "Tunnel server installed";
    case -3: return "Tunnel Server is not installed";
    case -2: return "Tunnel Server already launched";
    case 1: return "Tunnel Server already launched";
    case 2: return "Wrong Tunnel Server version";
    case 3: return "Tunnel Server corrupted";
    case 4: return "Wrong Tunnel configuration";
    case 5: return "Tunnel Server cannot be launched";
    case 6: return "Invalid Session ID";
    case 7:
    case 8:
    case 9:
    case 10:
    case 11: return "SVPN internal error";
    case 12: return "Routing table cannot be patched";
    case 13: return "Routing table changed";
    case 14: return "Tunnel Server finsihed by signal";
    case 15: return "Failed to build internal channel";
    case 16: return "Connection to remote server cannot be established";
    case 17: return "PPPD cannot be started";
    case 18: return "Read from remote server failed";
    case 19: return "Write to remote server failed";
    case 20: return "Read from pppd failed";
    case 21: return "Write to pppd failed";
    case 22: return "Cannot read from plugin";
    case 23: return "Cannot read commands from Tunnel Server";
    case 24: return "Cannot send data to plugin";
    case 25: return "Tunnel Server Internal error";
    case 26: return "Tunnel Server HTTP server cannot be started";
    case 27: return "Session Expired";
    case 28: return "Network I/O operation has been failed";
    case 29: return "Wrong response from server";
    case 100: return "Tunnel server started";
    default: return kUnknownError;
    }
}

QString resourceErrorText(int code)
{
    if (code <= 100)
        return QString::fromUtf8(svpnErrorText(code));
    if (const char* text = resourceLayerText(code))
        return QString::fromUtf8(text);
    return QStringLiteral("Unknown error %1").arg(code);
}

bool isResourceRequestRefusal(int code)
{
    switch (code) {
    case 101:
    case 102:
    case 103:
    case 104:
    case 112: return true;
    default: return false;
    }
}

int mapTunnelServerError(int status)
{
    switch (static_cast<uint32_t>(status)) {
    case 0xC5002001u: return 116;
    case 0xC5002002u: return 115;
    case 0xC0000520u: return 117;
    default: return 114;
    }
}
