#include "kelopublish/tls_check_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace kelo {

namespace {

class Socket {
public:
    Socket() = default;
    ~Socket() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Connect(const std::wstring& host, unsigned short port, DWORD timeout) {
        ADDRINFOW hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        ADDRINFOW* found = nullptr;
        if (::GetAddrInfoW(host.c_str(), std::to_wstring(port).c_str(), &hints, &found) != 0) return false;
        for (ADDRINFOW* a = found; a && socket_ == INVALID_SOCKET; a = a->ai_next) {
            SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (s == INVALID_SOCKET) continue;
            ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) socket_ = s;
            else ::closesocket(s);
        }
        ::FreeAddrInfoW(found);
        return socket_ != INVALID_SOCKET;
    }

    bool SendAll(const void* data, unsigned long size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const int sent = ::send(socket_, p, static_cast<int>(size), 0);
            if (sent <= 0) return false;
            p += sent;
            size -= static_cast<unsigned long>(sent);
        }
        return true;
    }

    int Receive(char* buffer, int size) { return ::recv(socket_, buffer, size, 0); }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

class WinsockSession {
public:
    WinsockSession() { ok_ = ::WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~WinsockSession() {
        if (ok_) ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const { return ok_; }

private:
    WSADATA data_{};
    bool ok_ = false;
};

// The certificate the server presents in a handshake whose own check of it
// is left to us (the handshake only; nothing else is sent).
PCCERT_CONTEXT PresentedCertificate(const std::wstring& host, unsigned short port, DWORD timeout) {
    Socket socket;
    if (!socket.Connect(host, port, timeout)) return nullptr;

    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    CredHandle credential{};
    TimeStamp expiry{};
    if (::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                    &credentials, nullptr, nullptr, &credential, &expiry) != SEC_E_OK)
        return nullptr;

    CtxtHandle context{};
    bool haveContext = false;
    const ULONG wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                         ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
    std::vector<char> received;
    std::vector<char> buffer(16 * 1024);
    SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
    bool needInput = false;
    for (int round = 0; round < 32; ++round) {
        if (needInput) {
            const int got = socket.Receive(buffer.data(), static_cast<int>(buffer.size()));
            if (got <= 0) break;
            received.insert(received.end(), buffer.data(), buffer.data() + got);
        }
        SecBuffer inBuffers[2] = {{static_cast<unsigned long>(received.size()), SECBUFFER_TOKEN, received.data()},
                                  {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc in{SECBUFFER_VERSION, 2, inBuffers};
        SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc out{SECBUFFER_VERSION, 1, &outBuffer};
        ULONG attributes = 0;
        status = ::InitializeSecurityContextW(&credential, haveContext ? &context : nullptr,
                                              const_cast<wchar_t*>(host.c_str()), wanted, 0, 0,
                                              haveContext ? &in : nullptr, 0, haveContext ? nullptr : &context, &out,
                                              &attributes, nullptr);
        haveContext = true;
        if (outBuffer.cbBuffer && outBuffer.pvBuffer) {
            const bool sent = socket.SendAll(outBuffer.pvBuffer, outBuffer.cbBuffer);
            ::FreeContextBuffer(outBuffer.pvBuffer);
            if (!sent) break;
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
            continue;
        }
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_OK) break;
        // Keep what the package did not consume for the next round.
        if (inBuffers[1].BufferType == SECBUFFER_EXTRA && inBuffers[1].cbBuffer <= received.size())
            received.erase(received.begin(), received.end() - inBuffers[1].cbBuffer);
        else
            received.clear();
        if (status == SEC_E_OK) break;
        needInput = received.empty();
    }

    PCCERT_CONTEXT certificate = nullptr;
    if (status == SEC_E_OK)
        ::QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
    if (haveContext) ::DeleteSecurityContext(&context);
    ::FreeCredentialsHandle(&credential);
    return certificate;
}

} // namespace

Trouble CheckServerCertificate(const std::wstring& host, unsigned short port, unsigned long timeoutMs) {
    WinsockSession winsock;
    if (!winsock.ok()) return Trouble::TlsOther;
    PCCERT_CONTEXT certificate = PresentedCertificate(host, port, timeoutMs);
    if (!certificate) return Trouble::TlsOther;

    LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    Trouble trouble = Trouble::TlsOther;
    if (::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0, nullptr, &chain)) {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS result{};
        result.cbSize = sizeof result;
        if (::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
            switch (static_cast<HRESULT>(result.dwError)) {
            case CERT_E_UNTRUSTEDROOT:
            case CERT_E_CHAINING:
            case TRUST_E_CERT_SIGNATURE: trouble = Trouble::TlsUntrusted; break;
            case CERT_E_EXPIRED:
            case CERT_E_VALIDITYPERIODNESTING: trouble = Trouble::TlsExpired; break;
            case CERT_E_CN_NO_MATCH: trouble = Trouble::TlsWrongName; break;
            default: break;
            }
        }
        ::CertFreeCertificateChain(chain);
    }
    ::CertFreeCertificateContext(certificate);
    return trouble;
}

} // namespace kelo
