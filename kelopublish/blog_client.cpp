#include "kelopublish/blog_client.h"

#include "core/text.h"
#include "kelopublish/addresses.h"

#include <utility>

namespace kelo {

namespace {

using xmlrpc::Request;
using xmlrpc::Response;
using xmlrpc::Value;

// A text the blog sent where engines differ: ids come as strings or ints.
std::u16string TextOf(const Value* value) {
    if (!value) return {};
    if (value->type == Value::Type::Int) return core::DecimalText(value->integer);
    if (value->IsString()) return core::FromUtf8(value->text);
    return {};
}

std::string Utf8Of(const Value* value) {
    if (!value) return {};
    if (value->type == Value::Type::Int) return std::to_string(value->integer);
    return value->IsString() ? value->text : std::string();
}

// Servers may quote what they were sent in a fault or a broken reply; the
// password never reaches a diagnosis that way.
std::string WithoutPassword(std::string text, const std::u16string& password) {
    const std::string secret = core::ToUtf8(password);
    if (secret.empty()) return text;
    for (size_t at = 0; (at = text.find(secret, at)) != std::string::npos;) {
        text.replace(at, secret.size(), "(password)");
        at += 10;
    }
    return text;
}

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

// Stands in for a capture that could be opened before the upload and not
// when a redirect needs it again: the request then fails while it is read.
struct VanishedSource : xmlrpc::ByteSource {
    bool Read(char*, size_t, size_t& got) override {
        got = 0;
        return false;
    }
};

} // namespace

BlogClient::BlogClient(Transport& transport, Account account) : transport_(transport), account_(std::move(account)) {}

bool BlogClient::Fail(Problem problem, const std::u16string& url) {
    failure_.problem = problem;
    failure_.url = url;
    return false;
}

// One request with the redirects the rules allow: 307 and 308 keep the
// POST; after a 301, 302 or 303 the POST goes once to the new address (a
// second such answer is reported as a move); https never leads to http.
// False with failure_ set when no final answer came; `url` ends as the
// address that gave the answer.
bool BlogClient::Exchange(std::u16string& url, const Build& build, bool once, bool post, HttpReply& reply) {
    bool repostedAfterMove = false;
    for (int hop = 0;; ++hop) {
        std::unique_ptr<Request> body;
        if (post) {
            body = build();
            if (!body->ok()) {
                failure_.detail = body->error();
                return Fail(Problem::RequestFailed, url);
            }
        }
        reply = transport_.Send(HttpRequest{.post = post, .url = url, .body = body.get(), .once = once});
        if (reply.trouble != Trouble::None) {
            failure_.systemError = reply.systemError;
            failure_.detail = reply.detail;
            return Fail(ProblemOf(reply.trouble), url);
        }
        if (!IsRedirect(reply.status) || reply.location.empty()) return true;

        const std::u16string target = ResolveUrl(url, core::FromUtf8(reply.location));
        ParsedUrl parsed;
        failure_.newAddress = target;
        failure_.status = reply.status;
        if (!ParseUrl(target, parsed)) return Fail(Problem::Moved, url);
        if (url.starts_with(u"https://") && !parsed.https) return Fail(Problem::HttpsToHttp, url);
        if (hop >= kMaxRedirects) return Fail(Problem::Moved, url);
        if (post && reply.status <= 303) {
            if (repostedAfterMove) return Fail(Problem::Moved, url);
            repostedAfterMove = true;
        }
        failure_.redirects.push_back({reply.status, url, target});
        failure_.newAddress.clear();
        url = target;
    }
}

bool BlogClient::Call(const Build& build, Response& response, bool once) {
    std::u16string url = endpoint_;
    HttpReply& reply = lastReply_;
    if (!Exchange(url, build, once, true, reply)) return false;
    // Later calls of this operation go straight to where the redirects led.
    endpoint_ = url;
    std::string detail;
    const Problem problem = ClassifyReply(reply, response, detail);
    if (problem == Problem::None) return true;
    failure_.status = reply.status;
    failure_.detail = WithoutPassword(detail, account_.password);
    failure_.faultCode = response.fault ? response.faultCode : 0;
    failure_.faultString = response.fault ? WithoutPassword(response.faultString, account_.password) : std::string();
    return Fail(problem, url);
}

// The home page's EditURI, then the RSD's MetaWeblog apiLink; otherwise
// xmlrpc.php beside the home page (where the home page's redirects led).
bool BlogClient::Discover(std::u16string& url) {
    std::u16string home = HomePageAddress(account_.server);
    ParsedUrl parsed;
    if (!ParseUrl(home, parsed)) return Fail(Problem::BadAddress, home);
    HttpReply reply;
    if (!Exchange(home, {}, false, false, reply)) return false;
    url = ResolveUrl(home, kDefaultEndpoint);
    if (reply.status != 200) return true;
    std::u16string rsd = FindEditUri(reply.body, home);
    if (rsd.empty() || !ParseUrl(rsd, parsed)) return true;
    const Failure beforeRsd = failure_;
    if (!Exchange(rsd, {}, false, false, reply) || reply.status != 200) {
        // The call to the usual address will say what is wrong, if anything.
        failure_ = beforeRsd;
        return true;
    }
    const std::u16string api = FindMetaWeblogApiLink(reply.body, rsd);
    if (!api.empty() && ParseUrl(api, parsed)) url = api;
    return true;
}

bool BlogClient::Endpoint(std::u16string& url) {
    if (!url.empty()) return true;
    if (account_.server.find_first_not_of(u" \t") == std::u16string::npos) return Fail(Problem::NoServer);
    std::u16string address = EndpointAddress(account_.server, account_.endpoint);
    if (address.empty()) {
        if (!Discover(address)) return false;
    }
    ParsedUrl parsed;
    if (!ParseUrl(address, parsed)) return Fail(Problem::BadAddress, address);
    url = address;
    return true;
}

bool BlogClient::ListBlogs(std::vector<BlogEntry>& blogs) {
    failure_ = {};
    blogs.clear();
    if (!Endpoint(endpoint_)) return false;
    const Build build = [&] {
        auto call = std::make_unique<Request>("blogger.getUsersBlogs");
        call->String(std::string_view()).String(account_.login).String(account_.password);
        call->Finish();
        return call;
    };
    Response response;
    if (!Call(build, response)) return false;
    if (response.value.type != Value::Type::Array) {
        failure_.detail = "the list of blogs";
        return Fail(Problem::MissingAnswer, endpoint_);
    }
    for (const Value& item : response.value.items)
        blogs.push_back({TextOf(item.Member("blogid")), TextOf(item.Member("blogName")), TextOf(item.Member("url"))});
    failure_ = {};
    return true;
}

BlogClient::Search BlogClient::FindLostPost(const PostInput& post, const std::string& mediaUrl, std::u16string& postId,
                                            std::u16string& link) {
    const Failure lost = failure_;
    const Build build = [&] {
        auto call = std::make_unique<Request>("metaWeblog.getRecentPosts");
        call->String(post.blogId).String(account_.login).String(account_.password).Int(kRecentPostsSearched);
        call->Finish();
        return call;
    };
    Response response;
    const bool answered = Call(build, response) && response.value.type == Value::Type::Array;
    failure_ = lost;
    if (!answered) return Search::CannotTell;
    const std::string title = core::ToUtf8(post.title);
    // The body holds the address of the image uploaded a moment ago, which
    // no earlier post can hold: a post with this title and that address is
    // the one just sent, even when the blog reworded the body.
    for (const Value& item : response.value.items) {
        const Value* itemTitle = item.Member("title");
        const Value* description = item.Member("description");
        if (!itemTitle || itemTitle->text != title || !description) continue;
        if (description->text.find(mediaUrl) == std::string::npos) continue;
        postId = TextOf(item.Member("postid"));
        link = TextOf(item.Member("link"));
        if (link.empty()) link = TextOf(item.Member("permaLink"));
        return Search::Found;
    }
    return Search::NotThere;
}

bool BlogClient::Publish(const PostInput& post, std::u16string& link) {
    failure_ = {};
    link.clear();

    // An unreadable capture stops everything before the first request.
    std::unique_ptr<xmlrpc::ByteSource> capture;
    uint64_t captureSize = 0;
    if (!post.openCapture || !post.openCapture(capture, captureSize) || !capture) return Fail(Problem::CaptureMissing);

    // A title or body that cannot be sent must not cost an upload.
    const auto makePost = [&](std::u16string_view body) {
        auto call = std::make_unique<Request>("metaWeblog.newPost");
        call->String(post.blogId).String(account_.login).String(account_.password);
        call->BeginStruct().Member("title").String(post.title).Member("description").String(body).EndStruct();
        call->Boolean(!post.draft);
        call->Finish();
        return call;
    };
    if (auto check = makePost(post.htmlBody); !check->ok()) {
        failure_.detail = check->error();
        return Fail(Problem::RequestFailed);
    }

    if (!Endpoint(endpoint_)) return false;

    std::string type = MimeTypeFor(post.imagePath);
    if (type.empty()) type = "application/octet-stream";
    const std::string name = UniqueMediaName(post.now, FileExtension(post.imagePath));
    const Build upload = [&] {
        auto call = std::make_unique<Request>("metaWeblog.newMediaObject");
        call->String(post.blogId).String(account_.login).String(account_.password);
        call->BeginStruct().Member("name").String(name).Member("type").String(type).Member("bits");
        std::unique_ptr<xmlrpc::ByteSource> source = std::move(capture);
        uint64_t size = captureSize;
        if (!source && !post.openCapture(source, size)) source = std::make_unique<VanishedSource>();
        call->Base64(std::move(source), size).EndStruct();
        call->Finish();
        return call;
    };
    Response response;
    if (!Call(upload, response)) return false;
    const std::string mediaUrl = Utf8Of(response.value.Member("url"));
    if (mediaUrl.empty()) {
        failure_.detail = "the address of the uploaded image";
        return Fail(Problem::MissingAnswer, endpoint_);
    }

    const std::u16string body = FillImageAddress(post.htmlBody, core::FromUtf8(mediaUrl));
    std::u16string postId;
    // newPost goes out once. When its answer is lost, or is no answer a
    // reader can take (a web page, broken XML, a server error: engines print
    // those after the post was stored), the blog is asked instead.
    if (!Call([&] { return makePost(body); }, response, true)) {
        const Problem problem = failure_.problem;
        const bool lostOnTheWay =
            (problem == Problem::TimedOut || problem == Problem::ConnectionLost) && lastReply_.requestSent;
        const bool unreadable = problem == Problem::HtmlReply || problem == Problem::NotXmlRpc ||
                                problem == Problem::HttpServerError || problem == Problem::ReplyTooLarge;
        if (!lostOnTheWay && !unreadable) return false;
        switch (FindLostPost(post, mediaUrl, postId, link)) {
        case Search::Found:
            failure_ = {};
            if (post.draft) link.clear();
            return true;
        case Search::NotThere:
            if (unreadable) return false;
            failure_.lossCause = problem;
            return Fail(Problem::ReplyLostNotPosted, failure_.url);
        case Search::CannotTell:
            failure_.lossCause = problem;
            return Fail(Problem::ReplyLost, failure_.url);
        }
    }
    postId = TextOf(&response.value);

    failure_ = {};
    if (post.draft || postId.empty()) return true;
    const Build fetch = [&] {
        auto call = std::make_unique<Request>("metaWeblog.getPost");
        call->String(postId).String(account_.login).String(account_.password);
        call->Finish();
        return call;
    };
    if (Call(fetch, response)) {
        link = TextOf(response.value.Member("link"));
        if (link.empty()) link = TextOf(response.value.Member("permaLink"));
    }
    // The post exists whatever getPost said.
    failure_ = {};
    return true;
}

} // namespace kelo
