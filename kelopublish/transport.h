#pragma once
// One HTTP exchange as the blog client sees it, and the transport that makes
// it. The transport does exactly one request: it never follows a redirect and
// never sends a request twice; the client decides about redirects (see
// blog_client.cpp), so those rules are the same on every platform and
// testable without a network.

#include "kelopublish/xmlrpc.h"

#include <cstdint>
#include <string>

namespace kelo {

// What went wrong below HTTP, or in producing the request.
enum class Trouble {
    None,
    NameNotResolved,   // the server name is unknown
    CannotConnect,     // refused, or nothing answers
    TimedOut,          // connecting, sending or waiting for the reply
    ConnectionLost,    // the connection broke while sending or before a whole reply came
    TlsUntrusted,      // the certificate's issuer is not trusted
    TlsExpired,        // outside its validity dates
    TlsWrongName,      // made out for another name
    TlsOther,          // any other failure of the secure channel
    RequestFailed,     // the request could not be produced (its text, or the capture file)
    ReplyTooLarge,     // the reply exceeded the limit we read
    Other,             // any other system error (systemError says which)
};

struct HttpRequest {
    bool post = true;               // false: GET without a body
    std::u16string url;
    xmlrpc::Request* body = nullptr; // POST: read from start to end, exactly Length() bytes
    // This request must reach the server at most once: no stack may resend it
    // on its own (a fresh connection, not kept alive afterwards).
    bool once = false;
    uint64_t maxReply = 16u << 20;  // bytes of reply body read at most
};

struct HttpReply {
    Trouble trouble = Trouble::None;
    unsigned long systemError = 0;  // the platform's code behind `trouble`
    // The whole request went out before the failure: the server may have
    // acted on it although we have no answer.
    bool requestSent = false;
    int status = 0;                 // HTTP status; 0 without a reply
    std::string contentType;        // as sent, lower case
    std::string location;           // the Location header of a redirect, as sent
    std::string body;
    std::string detail;             // what `RequestFailed` was about
};

class Transport {
public:
    virtual ~Transport() = default;
    virtual HttpReply Send(const HttpRequest& request) = 0;
};

} // namespace kelo
