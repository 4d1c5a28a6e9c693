#pragma once
// Why a server's certificate is refused, for the stacks that refuse it
// without saying why (Wine's WinHTTP reports only a failed secure channel).

#include "kelopublish/transport.h"

#include <string>

namespace kelo {

// Makes a TLS handshake with `host`, takes the certificate it presents and
// checks it against the system store and the name, as WinHTTP does; then
// closes the connection. No request is sent on it. Each step waits at most
// `timeoutMs`. TlsUntrusted, TlsExpired or TlsWrongName for a certificate
// that fails; TlsOther when it passes or cannot be looked at.
Trouble CheckServerCertificate(const std::wstring& host, unsigned short port, unsigned long timeoutMs);

} // namespace kelo
