#include "kelopublish/diagnosis.h"

#include "core/text.h"

#include <algorithm>
#include <cctype>

namespace kelo {

Problem ProblemOf(Trouble trouble) {
    switch (trouble) {
    case Trouble::None: return Problem::None;
    case Trouble::NameNotResolved: return Problem::NameNotResolved;
    case Trouble::CannotConnect: return Problem::CannotConnect;
    case Trouble::TimedOut: return Problem::TimedOut;
    case Trouble::ConnectionLost: return Problem::ConnectionLost;
    case Trouble::TlsUntrusted: return Problem::TlsUntrusted;
    case Trouble::TlsExpired: return Problem::TlsExpired;
    case Trouble::TlsWrongName: return Problem::TlsWrongName;
    case Trouble::TlsOther: return Problem::TlsOther;
    case Trouble::RequestFailed: return Problem::RequestFailed;
    case Trouble::ReplyTooLarge: return Problem::ReplyTooLarge;
    case Trouble::Other: return Problem::Other;
    }
    return Problem::Other;
}

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// A body that starts (after white space and a byte order mark) like a web
// page: what hosts, firewalls and security plug-ins answer instead.
bool LooksLikeHtml(const HttpReply& reply) {
    if (reply.contentType.find("text/html") != std::string::npos) return true;
    std::string_view body = reply.body;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    const size_t start = body.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    const std::string head = Lower(body.substr(start, 64));
    return head.starts_with("<!doctype html") || head.starts_with("<html") || head.starts_with("<head") ||
           head.starts_with("<body");
}

} // namespace

Problem ClassifyReply(const HttpReply& reply, xmlrpc::Response& response, std::string& detail) {
    const int status = reply.status;
    if (status == 401 || status == 403) return Problem::HttpRefused;
    if (status == 404) return Problem::HttpNotFound;
    if (status == 405 || status == 501) return Problem::HttpDisabled;
    if (status >= 500 && status <= 599) return Problem::HttpServerError;
    if (status != 200) return Problem::HttpOther;
    if (LooksLikeHtml(reply)) return Problem::HtmlReply;
    if (!xmlrpc::ReadResponse(reply.body, response, detail)) return Problem::NotXmlRpc;
    if (response.fault) return ClassifyFault(response.faultCode, response.faultString);
    return Problem::None;
}

Problem ClassifyFault(int faultCode, const std::string& faultString) {
    const std::string text = Lower(faultString);
    if (faultCode == 403 || text.find("incorrect username") != std::string::npos ||
        text.find("invalid login") != std::string::npos || text.find("wrong password") != std::string::npos)
        return Problem::LoginRefused;
    return Problem::Fault;
}

namespace {

using core::String;

String U(std::string_view utf8) { return core::FromUtf8(utf8); }

String Quoted(const String& text) { return u"\u201C" + text + u"\u201D"; }

// The host part of an address, for the sentences about names.
String HostOf(const String& url) {
    size_t start = url.find(u"://");
    start = start == String::npos ? 0 : start + 3;
    const size_t end = url.find_first_of(u"/:?#", start);
    return url.substr(start, end == String::npos ? String::npos : end - start);
}

String Main(const Failure& f) {
    const String url = f.url.empty() ? String(u"the blog's address") : f.url;
    const String status = core::DecimalText(f.status);
    switch (f.problem) {
    case Problem::None: return {};
    case Problem::UnsupportedService:
        return u"This blog service is not supported by the publishing library. Use a self-hosted blog "
               u"with its server and endpoint.";
    case Problem::NoServer:
        return u"No server is set for this blog. Enter the blog's server (its web address) in the log-in settings.";
    case Problem::BadAddress:
        return u"The address " + Quoted(url) + u" is not a web address the library can use. Check the server "
               u"and endpoint in the log-in settings.";
    case Problem::NameNotResolved:
        return u"The server name " + Quoted(HostOf(url)) + u" could not be found. Check the server name in the "
               u"log-in settings and the computer's connection to the Internet.";
    case Problem::CannotConnect:
        return u"Nothing answered at " + url + u": the connection was refused or could not be made. Check the "
               u"server name and port, and that the blog is running.";
    case Problem::TimedOut:
        return u"The blog at " + url + u" did not answer in time. Try again later; when it keeps happening, the "
               u"server or a proxy on the way is overloaded.";
    case Problem::ConnectionLost:
        return u"The connection to " + url + u" broke off before the blog answered. Try again; when it keeps "
               u"happening, a firewall or proxy may be cutting the connection.";
    case Problem::TlsUntrusted:
        return u"The secure connection to " + url + u" was refused: its certificate is not issued by an "
               u"authority this computer trusts. Ask the blog's host for a valid certificate.";
    case Problem::TlsExpired:
        return u"The secure connection to " + url + u" was refused: its certificate has expired or is not valid "
               u"yet. Check the computer's date and time, or ask the blog's host to renew the certificate.";
    case Problem::TlsWrongName:
        return u"The secure connection to " + url + u" was refused: its certificate is made out for another "
               u"name. Enter the server name that the certificate names.";
    case Problem::TlsOther:
        return u"The secure connection to " + url + u" could not be made (error " + core::DecimalText(static_cast<long long>(f.systemError)) +
               u"). Check the server address; a blog without https needs an address starting with http://.";
    case Problem::Moved:
        return u"The blog's address has moved to " + f.newAddress +
               u". Enter that address as the server and endpoint in the log-in settings.";
    case Problem::HttpsToHttp:
        return u"The server sent the secure address " + url + u" on to the insecure " + f.newAddress +
               u", which is not followed. Correct the blog's own address setting, or enter the http address "
               u"yourself if you accept sending your password unprotected.";
    case Problem::HttpRefused:
        return u"The server refused the request (HTTP " + status + u") before the blog could answer: its host, "
               u"a firewall or a security plug-in blocks XML-RPC. Ask the host to allow XML-RPC at " + url + u".";
    case Problem::HttpNotFound:
        return u"There is no XML-RPC service at " + url + u" (HTTP 404). Check the endpoint in the log-in "
               u"settings, or leave it empty so that it is looked up.";
    case Problem::HttpDisabled:
        return u"XML-RPC is switched off on this blog (HTTP " + status + u" at " + url + u"). Turn it on in the "
               u"blog's settings, or ask its host.";
    case Problem::HttpServerError:
        return u"The blog's server failed with an internal error (HTTP " + status + u"). Try again later, or "
               u"ask the blog's host to look at the server's error log.";
    case Problem::HttpOther:
        return u"The server answered with HTTP " + status + u" at " + url + u" where XML-RPC was expected. "
               u"Check the server and endpoint in the log-in settings.";
    case Problem::HtmlReply:
        return u"The server sent a web page instead of an XML-RPC answer at " + url + u". Check the endpoint; "
               u"the host's firewall or a security plug-in may be intercepting XML-RPC.";
    case Problem::NotXmlRpc:
        return u"The server's reply is not XML-RPC (" + U(f.detail) + u"). Check the endpoint in the log-in "
               u"settings.";
    case Problem::LoginRefused:
        return u"The blog refused the user name or password. Accounts with two-factor sign-in need an "
               u"application password, made in the blog's user profile.";
    case Problem::Fault:
        return u"The blog reported an error: " + Quoted(U(f.faultString)) + u" (fault code " +
               core::DecimalText(f.faultCode) + u").";
    case Problem::MissingAnswer:
        return u"The blog's answer lacks " + U(f.detail) + u". Check that the endpoint is the blog's XML-RPC "
               u"address.";
    case Problem::CaptureMissing:
        return u"The capture file could not be read, so nothing was sent. Take the capture again and post it "
               u"once more.";
    case Problem::RequestFailed:
        return u"The post could not be sent: " + U(f.detail) + u". Nothing was published.";
    case Problem::ReplyTooLarge:
        return u"The server's reply at " + url + u" is larger than any XML-RPC answer should be. Check the "
               u"endpoint in the log-in settings.";
    case Problem::ReplyLost:
        return u"The post was sent but the blog's answer was lost, and the blog could not be asked whether it "
               u"arrived. The blog may have received the post: look at the blog before posting again.";
    case Problem::ReplyLostNotPosted:
        return u"The post was sent but the blog's answer was lost, and the post is not among the blog's recent "
               u"posts. Look at the blog before posting again.";
    case Problem::Other:
        return u"The connection to " + url + u" failed (system error " +
               core::DecimalText(static_cast<long long>(f.systemError)) + u").";
    }
    return {};
}

} // namespace

std::u16string Describe(const Failure& failure) {
    String text = Main(failure);
    if (text.empty()) return text;
    if (failure.problem == Problem::ReplyLost || failure.problem == Problem::ReplyLostNotPosted) {
        if (failure.lossCause == Problem::HtmlReply) text = u"The blog answered the post with a web page. " + text;
        if (failure.lossCause == Problem::NotXmlRpc)
            text = u"The blog's answer to the post is not XML-RPC (" + U(failure.detail) + u"). " + text;
    }
    // Where the server sent us on matters for correcting the setting.
    if (!failure.redirects.empty() && failure.problem != Problem::Moved && failure.problem != Problem::HttpsToHttp) {
        const Redirect& last = failure.redirects.back();
        const bool toHttps = last.to.starts_with(u"https://") && !last.from.starts_with(u"https://");
        text += toHttps ? u" The server redirected to https: enter " + last.to + u" as the address."
                        : u" The server redirected " + failure.redirects.front().from + u" to " + last.to +
                              u": enter the new address in the log-in settings.";
    }
    return text;
}

} // namespace kelo
