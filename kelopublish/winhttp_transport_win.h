#pragma once
// The library's HTTP: WinHTTP, the platform's own client, with the system's
// certificate store for TLS and the user's proxy settings.

#include "kelopublish/transport.h"

#include <windows.h>
#include <winhttp.h>

#include <map>
#include <string>

namespace kelo {

// Every time limit of the library, in milliseconds.
struct Timeouts {
    int resolve = 10000;     // looking up the server's name
    int connect = 15000;     // opening the connection (and the TLS handshake)
    int send = 30000;        // each piece of the request
    int receive = 30000;     // the answer to start, and each piece of it after
    int wholeReply = 120000; // reading one reply from its first byte to its last
    int autoProxy = 5000;    // finding the proxy by auto-detection or a configuration script
};

// The user's Internet settings, as Windows programs apply them.
struct ProxySettings {
    std::wstring proxy;          // "host:port" or a list; empty: direct
    std::wstring bypass;         // hosts reached directly
    bool autoDetect = false;
    std::wstring autoConfigUrl;  // a configuration script

    static ProxySettings ForCurrentUser();
};

class WinHttpTransport : public Transport {
public:
    explicit WinHttpTransport(ProxySettings proxy = ProxySettings::ForCurrentUser(), Timeouts timeouts = {});
    ~WinHttpTransport() override;
    WinHttpTransport(const WinHttpTransport&) = delete;
    WinHttpTransport& operator=(const WinHttpTransport&) = delete;

    HttpReply Send(const HttpRequest& request) override;

    // "Velluma/" and the version.
    static const wchar_t* UserAgent();

private:
    HINTERNET OpenSession(const std::wstring& proxy, const std::wstring& bypass) const;
    // The proxy that auto-detection or the script gives for `url`, found
    // within the time limit; false when there is none (then the named proxy
    // of the settings, if any, applies).
    bool AutoProxyFor(const std::wstring& url, const std::wstring& host, std::wstring& proxy, std::wstring& bypass);

    ProxySettings proxy_;
    Timeouts timeouts_;
    std::map<std::wstring, HINTERNET> sessions_;  // by proxy: kept between the calls of one operation
    struct AutoProxy { bool found; std::wstring proxy, bypass; };
    std::map<std::wstring, AutoProxy> autoProxyByHost_;
};

} // namespace kelo
