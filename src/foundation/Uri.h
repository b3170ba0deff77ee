#pragma once
// URI schemes the library knows, with their default ports.

class Uri
{
public:
    enum Scheme { Http = 1, Https = 2, Ftp = 3, File = 4 };

    struct SchemeInfo {
        int code;
        unsigned short port;
        const char* name;

        // Callers that only want the port use the record as a number.
        operator unsigned short() const { return port; }
    };

    // The record whose name equals scheme ignoring ASCII case; any other
    // scheme throws UException "Unknown scheme: '<scheme>'".
    static const SchemeInfo& getDefaultPort(const char* scheme);
};
