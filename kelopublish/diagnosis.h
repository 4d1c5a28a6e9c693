#pragma once
// Why a call of the library failed, and the one or two sentences that tell
// the user what to do about it. Every kind of failure a user can act on has
// a sentence of its own; the texts name the addresses involved, never the
// password.

#include "kelopublish/transport.h"

#include <string>
#include <vector>

namespace kelo {

enum class Problem {
    None,
    UnsupportedService,
    NoServer,          // the account has no server
    BadAddress,        // the server or endpoint gives no http(s) address
    NameNotResolved,
    CannotConnect,
    TimedOut,
    ConnectionLost,
    TlsUntrusted,
    TlsExpired,
    TlsWrongName,
    TlsOther,
    Moved,             // a redirect we do not follow again: `newAddress`
    HttpsToHttp,       // a redirect from https to http: never followed
    HttpRefused,       // 401, 403: the host, its firewall or a security plug-in
    HttpNotFound,      // 404: no XML-RPC at this address
    HttpDisabled,      // 405, 501: XML-RPC switched off
    HttpServerError,   // other 5xx
    HttpOther,         // any other status that is not 200
    HtmlReply,         // a web page where XML-RPC was expected
    NotXmlRpc,         // anything else that is not an XML-RPC answer: `detail`
    LoginRefused,      // the authentication fault
    Fault,             // any other fault: `faultCode`, `faultString`
    MissingAnswer,     // a well-formed answer without what the call returns: `detail`
    CaptureMissing,    // the capture cannot be read: nothing was sent
    RequestFailed,     // the request could not be produced: `detail`
    ReplyTooLarge,
    ReplyLost,         // newPost sent, its answer lost, and the blog could not be asked
    ReplyLostNotPosted, // newPost sent, its answer lost, and the post is not on the blog
    Other,             // a system error: `systemError`
};

// A redirect that was followed, kept so the user can correct the setting.
struct Redirect {
    int status = 0;
    std::u16string from, to;
};

struct Failure {
    Problem problem = Problem::None;
    std::u16string url;         // the address that failed
    std::u16string newAddress;  // Moved, HttpsToHttp: where the server pointed
    int status = 0;             // the HTTP status, when one came
    int faultCode = 0;
    std::string faultString;    // UTF-8, as the server sent it
    std::string detail;         // UTF-8
    unsigned long systemError = 0;
    std::vector<Redirect> redirects;
    // Set for ReplyLost* when the cause of the loss was a web page or a
    // malformed answer rather than a broken connection.
    Problem lossCause = Problem::None;
};

// The problem behind a transport failure.
Problem ProblemOf(Trouble trouble);

// The problem behind a reply that came: its status, then its body when it
// is not XML-RPC. `response` is filled when the body reads as XML-RPC
// (a fault included); Problem::None then means a usable answer.
Problem ClassifyReply(const HttpReply& reply, xmlrpc::Response& response, std::string& detail);

// The problem behind a fault in an XML-RPC answer.
Problem ClassifyFault(int faultCode, const std::string& faultString);

// One or two sentences for the user; empty for Problem::None.
std::u16string Describe(const Failure& failure);

} // namespace kelo
