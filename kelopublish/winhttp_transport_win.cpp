#include "kelopublish/winhttp_transport_win.h"

#include "kelopublish/addresses.h"
#include "kelopublish/tls_check_win.h"

#include <algorithm>
#include <cwctype>
#include <memory>
#include <vector>

#ifndef VELLUMA_VERSION
#error "VELLUMA_VERSION names the product's version (set by the build)"
#endif

namespace kelo {

namespace {

#define KELO_WIDEN2(text) L##text
#define KELO_WIDEN(text) KELO_WIDEN2(text)

// Closes a WinHTTP handle when the scope ends.
class Internet {
public:
    explicit Internet(HINTERNET handle = nullptr) : handle_(handle) {}
    ~Internet() { if (handle_) ::WinHttpCloseHandle(handle_); }
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring TakeGlobal(LPWSTR text) {
    std::wstring out = text ? text : L"";
    if (text) ::GlobalFree(text);
    return out;
}

void SetDword(HINTERNET handle, DWORD option, DWORD value) { ::WinHttpSetOption(handle, option, &value, sizeof value); }

// Reason flags of a failed certificate check, as the status callback reports
// them; `context` is the DWORD the request was sent with.
void CALLBACK SecureFailureCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context && info && length >= sizeof(DWORD))
        *reinterpret_cast<DWORD*>(context) |= *static_cast<DWORD*>(info);
}

Trouble TlsTroubleOf(DWORD flags) {
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) return Trouble::TlsUntrusted;
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return Trouble::TlsExpired;
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) return Trouble::TlsWrongName;
    return Trouble::TlsOther;
}

Trouble TroubleOf(DWORD error, DWORD secureFlags) {
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return Trouble::NameNotResolved;
    case ERROR_WINHTTP_CANNOT_CONNECT: return Trouble::CannotConnect;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT: return Trouble::TimedOut;  // Wine passes the socket's code through
    case WSAECONNREFUSED: return Trouble::CannotConnect;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_RESEND_REQUEST: return Trouble::ConnectionLost;
    case ERROR_WINHTTP_SECURE_INVALID_CA: return Trouble::TlsUntrusted;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return Trouble::TlsExpired;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return Trouble::TlsWrongName;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return TlsTroubleOf(secureFlags);
    default: return Trouble::Other;
    }
}

std::wstring QueryText(HINTERNET request, DWORD info) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(size / sizeof(wchar_t));
    return text;
}

// --- Auto-detection and configuration scripts, bounded in time ---------------
//
// WinHttpGetProxyForUrl blocks for as long as the network lets it (a WPAD
// search on a machine without a network can stall). It runs on a thread of
// its own that holds a reference on this module, so the library can be
// released while a stalled search goes on; the caller waits at most the
// time limit and goes on without the result.

struct AutoProxyJob {
    std::wstring url, autoConfigUrl;
    bool autoDetect = false;
    DWORD timeout = 0;
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Written by the thread before `done` is set.
    bool found = false;
    std::wstring proxy, bypass;

    ~AutoProxyJob() { if (done) ::CloseHandle(done); }
};

struct AutoProxyStart {
    std::shared_ptr<AutoProxyJob> job;
    HMODULE self;
};

void RunAutoProxy(AutoProxyJob& job) {
    Internet session(::WinHttpOpen(WinHttpTransport::UserAgent(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return;
    const int limit = static_cast<int>(job.timeout);
    ::WinHttpSetTimeouts(session.get(), limit, limit, limit, limit);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (job.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!job.autoConfigUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = job.autoConfigUrl.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!::WinHttpGetProxyForUrl(session.get(), job.url.c_str(), &options, &info)) return;
    job.proxy = TakeGlobal(info.lpszProxy);
    job.bypass = TakeGlobal(info.lpszProxyBypass);
    job.found = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !job.proxy.empty();
}

DWORD WINAPI AutoProxyThread(void* parameter) {
    HMODULE self = nullptr;
    {
        std::unique_ptr<AutoProxyStart> start(static_cast<AutoProxyStart*>(parameter));
        self = start->self;
        try {
            RunAutoProxy(*start->job);
        } catch (...) {
            // Out of memory: no proxy found, as if the search had failed.
            start->job->found = false;
        }
        ::SetEvent(start->job->done);
    }
    ::FreeLibraryAndExitThread(self, 0);
}

} // namespace

const wchar_t* WinHttpTransport::UserAgent() { return L"Velluma/" KELO_WIDEN(VELLUMA_VERSION); }

ProxySettings ProxySettings::ForCurrentUser() {
    ProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return settings;
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.autoConfigUrl = TakeGlobal(config.lpszAutoConfigUrl);
    settings.proxy = TakeGlobal(config.lpszProxy);
    settings.bypass = TakeGlobal(config.lpszProxyBypass);
    return settings;
}

WinHttpTransport::WinHttpTransport(ProxySettings proxy, Timeouts timeouts)
    : proxy_(std::move(proxy)), timeouts_(timeouts) {}

WinHttpTransport::~WinHttpTransport() {
    for (auto& [proxy, session] : sessions_) ::WinHttpCloseHandle(session);
}

HINTERNET WinHttpTransport::OpenSession(const std::wstring& proxy, const std::wstring& bypass) const {
    const bool named = !proxy.empty();
    HINTERNET session = ::WinHttpOpen(UserAgent(), named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      named ? proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                                      named && !bypass.empty() ? bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return nullptr;
    ::WinHttpSetTimeouts(session, timeouts_.resolve, timeouts_.connect, timeouts_.send, timeouts_.receive);
    return session;
}

bool WinHttpTransport::AutoProxyFor(const std::wstring& url, const std::wstring& host, std::wstring& proxy,
                                    std::wstring& bypass) {
    if (!proxy_.autoDetect && proxy_.autoConfigUrl.empty()) return false;
    auto known = autoProxyByHost_.find(host);
    if (known == autoProxyByHost_.end()) {
        AutoProxy result{false, {}, {}};
        auto job = std::make_shared<AutoProxyJob>();
        job->url = url;
        job->autoDetect = proxy_.autoDetect;
        job->autoConfigUrl = proxy_.autoConfigUrl;
        job->timeout = static_cast<DWORD>(timeouts_.autoProxy);
        HMODULE self = nullptr;
        if (job->done && ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                              reinterpret_cast<LPCWSTR>(&AutoProxyThread), &self)) {
            auto* start = new AutoProxyStart{job, self};
            HANDLE thread = ::CreateThread(nullptr, 0, AutoProxyThread, start, 0, nullptr);
            if (thread) {
                ::CloseHandle(thread);
                if (::WaitForSingleObject(job->done, job->timeout) == WAIT_OBJECT_0 && job->found)
                    result = {true, job->proxy, job->bypass};
            } else {
                delete start;
                ::FreeLibrary(self);
            }
        }
        known = autoProxyByHost_.emplace(host, std::move(result)).first;
    }
    if (!known->second.found) return false;
    proxy = known->second.proxy;
    bypass = known->second.bypass;
    return true;
}

HttpReply WinHttpTransport::Send(const HttpRequest& request) {
    HttpReply reply;
    const auto fail = [&reply](Trouble trouble, DWORD error) {
        reply.trouble = trouble;
        reply.systemError = error;
        return reply;
    };

    ParsedUrl url;
    if (!ParseUrl(request.url, url)) return fail(Trouble::Other, ERROR_WINHTTP_INVALID_URL);
    const std::wstring host = Wide(url.host), path = Wide(url.path), address = Wide(request.url);

    // A request that must reach the server at most once goes out on a new
    // connection: on a kept-alive one that the server closed meanwhile the
    // stack sends the request again by itself. Windows keeps connections per
    // session, so such a request gets a session of its own; Wine keeps them
    // for the whole process, so no request of ours leaves its connection
    // open for a later one (a post makes three or four requests: the cost
    // of a connection each is small beside the upload).
    //
    // The proxy is the session's (the stack settles it when connecting): the
    // one auto-detection or the script names for this address, else the
    // settings' own.
    std::wstring proxy = proxy_.proxy, bypass = proxy_.bypass;
    AutoProxyFor(address, host, proxy, bypass);
    Internet ownSession(request.once ? OpenSession(proxy, bypass) : nullptr);
    HINTERNET& shared = sessions_[proxy + L"|" + bypass];
    if (!request.once && !shared) shared = OpenSession(proxy, bypass);
    HINTERNET session = request.once ? ownSession.get() : shared;
    if (!session) return fail(Trouble::Other, ::GetLastError());

    Internet connection(::WinHttpConnect(session, host.c_str(), url.port, 0));
    if (!connection) return fail(TroubleOf(::GetLastError(), 0), ::GetLastError());
    Internet handle(::WinHttpOpenRequest(connection.get(), request.post ? L"POST" : L"GET", path.c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         (url.https ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_REFRESH));
    if (!handle) return fail(Trouble::Other, ::GetLastError());
    // Redirects are ours to decide (the stack would turn a POST into a GET).
    SetDword(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
    SetDword(handle.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_KEEP_ALIVE);
    // The wait for the answer's headers has a limit of its own (90 s unless set).
    SetDword(handle.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(timeouts_.receive));

    DWORD secureFlags = 0;
    ::WinHttpSetStatusCallback(handle.get(), SecureFailureCallback, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);

    const uint64_t total = request.body ? request.body->Length() : 0;
    if (total > 0xFFFFFFFFull) {
        reply.detail = "the capture is larger than 4 GB";
        return fail(Trouble::RequestFailed, 0);
    }
    const wchar_t* headers = request.post ? L"Content-Type: text/xml; charset=utf-8\r\n" : WINHTTP_NO_ADDITIONAL_HEADERS;
    const auto sendFailed = [&](DWORD error) {
        Trouble trouble = TroubleOf(error, secureFlags);
        // Some stacks report a refused certificate without its reason; we
        // then look at the certificate ourselves (nothing is sent that way).
        if (trouble == Trouble::TlsOther && secureFlags == 0 && proxy.empty())
            trouble = CheckServerCertificate(host, url.port, static_cast<unsigned long>(timeouts_.connect));
        return fail(trouble, error);
    };
    if (!::WinHttpSendRequest(handle.get(), headers, request.post ? static_cast<DWORD>(-1L) : 0,
                              WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(total),
                              reinterpret_cast<DWORD_PTR>(&secureFlags)))
        return sendFailed(::GetLastError());

    if (request.body) {
        // The body goes out in pieces as the request produces them.
        std::vector<char> chunk(64 * 1024);
        for (;;) {
            size_t got = 0;
            if (!request.body->Read(chunk.data(), chunk.size(), got)) {
                reply.detail = request.body->error();
                return fail(Trouble::RequestFailed, 0);
            }
            if (got == 0) break;
            DWORD written = 0;
            if (!::WinHttpWriteData(handle.get(), chunk.data(), static_cast<DWORD>(got), &written) || written != got)
                return sendFailed(::GetLastError());
        }
    }
    reply.requestSent = true;

    if (!::WinHttpReceiveResponse(handle.get(), nullptr)) {
        const DWORD error = ::GetLastError();
        return fail(TroubleOf(error, secureFlags), error);
    }
    DWORD status = 0, size = sizeof status;
    ::WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    reply.status = static_cast<int>(status);
    std::wstring contentType = QueryText(handle.get(), WINHTTP_QUERY_CONTENT_TYPE);
    std::transform(contentType.begin(), contentType.end(), contentType.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    reply.contentType = Narrow(contentType);
    reply.location = Narrow(QueryText(handle.get(), WINHTTP_QUERY_LOCATION));

    const ULONGLONG started = ::GetTickCount64();
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::WinHttpReadData(handle.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got)) {
            const DWORD error = ::GetLastError();
            return fail(TroubleOf(error, secureFlags), error);
        }
        if (got == 0) break;
        if (reply.body.size() + got > request.maxReply) return fail(Trouble::ReplyTooLarge, 0);
        reply.body.append(chunk.data(), got);
        if (::GetTickCount64() - started > static_cast<ULONGLONG>(timeouts_.wholeReply))
            return fail(Trouble::TimedOut, ERROR_WINHTTP_TIMEOUT);
    }
    return reply;
}

} // namespace kelo
