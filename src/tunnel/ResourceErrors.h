#pragma once

#include <QString>

// Result codes: up to 100 belong to the tunnel programs and controllers,
// 101 to 118 to the resource layer; larger codes have no text of their own.

// Text of a tunnel code; "Unknown error" for codes without one.
const char* svpnErrorText(int code);

// User text of any result code.
QString resourceErrorText(int code);

// True for the codes that refuse a resource request before anything started.
bool isResourceRequestRefusal(int code);

// The tunnel server's session status word as a resource-layer code.
int mapTunnelServerError(int status);
