// The publishing library's protocol over a scripted transport: redirects,
// discovery, the three calls of a post, the search for a post whose answer
// was lost (never a second newPost), and the diagnosis of each failure.

#include "kelopublish/blog_client.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <set>

namespace {

using namespace kelo;

struct Sent {
    bool post;
    std::u16string url;
    std::string method;  // the XML-RPC method, for a POST
    std::string body;
    bool once;
};

// Answers requests from a queue, and keeps what was sent.
class ScriptedTransport : public Transport {
public:
    HttpReply Send(const HttpRequest& request) override {
        Sent sent{request.post, request.url, {}, {}, request.once};
        if (request.body) {
            char buffer[4096];
            size_t got = 0;
            while (request.body->Read(buffer, sizeof buffer, got) && got > 0) sent.body.append(buffer, got);
            std::smatch m;
            if (std::regex_search(sent.body, m, std::regex("<methodName>([^<]*)</methodName>"))) sent.method = m[1];
        }
        this->sent.push_back(sent);
        if (replies.empty()) {
            HttpReply none;
            none.trouble = Trouble::CannotConnect;
            return none;
        }
        HttpReply reply = replies.front();
        replies.pop_front();
        return reply;
    }

    std::vector<std::string> Methods() const {
        std::vector<std::string> methods;
        for (const auto& s : sent) methods.push_back(s.post ? s.method : "GET " + core::ToUtf8(s.url));
        return methods;
    }

    std::deque<HttpReply> replies;
    std::vector<Sent> sent;
};

HttpReply Xml(const std::string& value) {
    HttpReply reply;
    reply.status = 200;
    reply.contentType = "text/xml";
    reply.body = "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value +
                 "</value></param></params></methodResponse>";
    return reply;
}

HttpReply FaultReply(int code, const std::string& text) {
    HttpReply reply;
    reply.status = 200;
    reply.body = "<methodResponse><fault><value><struct><member><name>faultCode</name><value><int>" +
                 std::to_string(code) + "</int></value></member><member><name>faultString</name><value><string>" +
                 text + "</string></value></member></struct></value></fault></methodResponse>";
    return reply;
}

HttpReply Status(int status, const std::string& location = {}, const std::string& body = "<html></html>") {
    HttpReply reply;
    reply.status = status;
    reply.location = location;
    reply.contentType = "text/html";
    reply.body = body;
    return reply;
}

HttpReply Lost(Trouble trouble, bool requestSent) {
    HttpReply reply;
    reply.trouble = trouble;
    reply.requestSent = requestSent;
    return reply;
}

const std::string kMedia = "<struct><member><name>url</name><value>http://blog.example/media/V-1.png</value></member></struct>";
const std::string kPostLink =
    "<struct><member><name>link</name><value>http://blog.example/?p=7</value></member></struct>";

std::string Recent(const std::string& title, const std::string& description) {
    return "<array><data><value><struct><member><name>postid</name><value><int>7</int></value></member>"
           "<member><name>title</name><value>" + title + "</value></member>"
           "<member><name>description</name><value>" + description + "</value></member>"
           "<member><name>link</name><value>http://blog.example/?p=7</value></member>"
           "</struct></value></data></array>";
}

struct MemorySource : xmlrpc::ByteSource {
    explicit MemorySource(std::string bytes) : bytes(std::move(bytes)) {}
    bool Read(char* buffer, size_t capacity, size_t& got) override {
        got = std::min(capacity, bytes.size() - at);
        std::copy_n(bytes.data() + at, got, buffer);
        at += got;
        return true;
    }
    std::string bytes;
    size_t at = 0;
};

PostInput Post(bool draft = false) {
    PostInput post;
    post.imagePath = u"C:\\temp\\Vel1.png";
    post.openCapture = [](std::unique_ptr<xmlrpc::ByteSource>& source, uint64_t& size) {
        source = std::make_unique<MemorySource>("\x89PNG-bytes");
        size = 10;
        return true;
    };
    post.blogId = u"1";
    post.title = u"Caf\u00e9 & <b>";
    post.htmlBody = u"<a href=\"%s\"><img src = \"%s\" /></a><p>50&#37;</p>";
    post.draft = draft;
    return post;
}

class ClientTest : public ::testing::Test {
protected:
    Account account{u"http://blog.example", u"/xmlrpc.php", u"ann", u"pass-w0rd"};
    ScriptedTransport transport;
};

// --- Redirects ----------------------------------------------------------------

TEST_F(ClientTest, RedirectsFollowTheRules) {
    const std::string blog = "<array><data><value><struct><member><name>blogid</name><value><int>7</int></value>"
                             "</member></struct></value></data></array>";
    struct Case {
        const char* name;
        std::vector<HttpReply> replies;
        Problem problem;                // None: the list came
        std::vector<std::string> urls;  // the addresses asked, in order
        const char16_t* newAddress;
    };
    const Case cases[] = {
        {"307 keeps the POST", {Status(307, "/b/xmlrpc.php"), Xml(blog)}, Problem::None,
         {"http://blog.example/xmlrpc.php", "http://blog.example/b/xmlrpc.php"}, u""},
        {"308 keeps the POST", {Status(308, "https://blog.example/xmlrpc.php"), Xml(blog)}, Problem::None,
         {"http://blog.example/xmlrpc.php", "https://blog.example/xmlrpc.php"}, u""},
        {"301 sends the POST once to the new address", {Status(301, "/new.php"), Xml(blog)}, Problem::None,
         {"http://blog.example/xmlrpc.php", "http://blog.example/new.php"}, u""},
        {"a second 302 is a move", {Status(302, "/a.php"), Status(303, "/b.php")}, Problem::Moved,
         {"http://blog.example/xmlrpc.php", "http://blog.example/a.php"}, u"http://blog.example/b.php"},
        {"https never leads to http", {Status(301, "https://blog.example/x"), Status(307, "http://blog.example/y")},
         Problem::HttpsToHttp, {"http://blog.example/xmlrpc.php", "https://blog.example/x"}, u"http://blog.example/y"},
        {"a 3xx without Location is an answer", {Status(302)}, Problem::HttpOther, {"http://blog.example/xmlrpc.php"},
         u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport scripted;
        scripted.replies.assign(c.replies.begin(), c.replies.end());
        BlogClient client(scripted, account);
        std::vector<BlogEntry> blogs;
        EXPECT_EQ(client.ListBlogs(blogs), c.problem == Problem::None);
        EXPECT_EQ(client.failure().problem, c.problem);
        std::vector<std::string> urls;
        for (const auto& s : scripted.sent) {
            urls.push_back(core::ToUtf8(s.url));
            EXPECT_TRUE(s.post);
            EXPECT_EQ(s.method, "blogger.getUsersBlogs");
        }
        EXPECT_EQ(urls, c.urls);
        EXPECT_EQ(client.failure().newAddress, c.newAddress);
        if (c.problem == Problem::None) {
            ASSERT_EQ(blogs.size(), 1u);
            EXPECT_EQ(blogs[0].id, u"7");
        }
    }
}

TEST_F(ClientTest, EndlessTemporaryRedirectsStopAfterAFewHops) {
    for (int i = 0; i < 20; ++i) transport.replies.push_back(Status(307, "/hop" + std::to_string(i)));
    BlogClient client(transport, account);
    std::vector<BlogEntry> blogs;
    EXPECT_FALSE(client.ListBlogs(blogs));
    EXPECT_EQ(client.failure().problem, Problem::Moved);
    EXPECT_EQ(transport.sent.size(), static_cast<size_t>(BlogClient::kMaxRedirects + 1));
}

// A failure after a followed redirect names where the server sent us.
TEST_F(ClientTest, TheDiagnosisNamesTheRedirectThatWasFollowed) {
    transport.replies = {Status(301, "https://blog.example/xmlrpc.php"), Lost(Trouble::TlsUntrusted, false)};
    BlogClient client(transport, account);
    std::vector<BlogEntry> blogs;
    EXPECT_FALSE(client.ListBlogs(blogs));
    const std::u16string text = Describe(client.failure());
    EXPECT_NE(text.find(u"not issued by an authority"), std::u16string::npos);
    EXPECT_NE(text.find(u"redirected to https: enter https://blog.example/xmlrpc.php"), std::u16string::npos)
        << core::ToUtf8(text);
}

// --- Discovery ------------------------------------------------------------------

TEST_F(ClientTest, AnEmptyEndpointIsDiscovered) {
    account.endpoint.clear();
    account.server = u"blog.example/journal";
    struct Case {
        const char* name;
        std::vector<HttpReply> replies;
        std::string endpoint;
    };
    HttpReply home = Status(200, {}, "<html><head><link title='RSD' href='/journal/rsd.xml' rel='EditURI'></head>");
    HttpReply rsd = Status(200, {}, "<rsd><service><apis><api name=\"MetaWeblog\" apiLink=\"https://api.example/rpc\" "
                                    "blogID=\"1\"/></apis></service></rsd>");
    const Case cases[] = {
        {"EditURI, then the RSD's apiLink", {home, rsd}, "https://api.example/rpc"},
        {"no EditURI: xmlrpc.php beside the home page", {Status(200, {}, "<html></html>")},
         "https://blog.example/journal/xmlrpc.php"},
        {"a home page that is missing", {Status(404)}, "https://blog.example/journal/xmlrpc.php"},
        {"an RSD that is missing", {home, Status(404)}, "https://blog.example/journal/xmlrpc.php"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport scripted;
        scripted.replies.assign(c.replies.begin(), c.replies.end());
        scripted.replies.push_back(Xml("<array><data></data></array>"));
        BlogClient client(scripted, account);
        std::vector<BlogEntry> blogs;
        EXPECT_TRUE(client.ListBlogs(blogs)) << core::ToUtf8(Describe(client.failure()));
        ASSERT_FALSE(scripted.sent.empty());
        EXPECT_EQ(core::ToUtf8(scripted.sent.front().url), "https://blog.example/journal/");
        EXPECT_FALSE(scripted.sent.front().post);
        EXPECT_EQ(core::ToUtf8(scripted.sent.back().url), c.endpoint);
    }
}

// --- Posting --------------------------------------------------------------------

TEST_F(ClientTest, APostIsUploadThenNewPostThenItsLink) {
    transport.replies = {Xml(kMedia), Xml("<string>7</string>"), Xml(kPostLink)};
    BlogClient client(transport, account);
    std::u16string link;
    ASSERT_TRUE(client.Publish(Post(), link)) << core::ToUtf8(Describe(client.failure()));
    EXPECT_EQ(link, u"http://blog.example/?p=7");
    EXPECT_EQ(transport.Methods(),
              (std::vector<std::string>{"metaWeblog.newMediaObject", "metaWeblog.newPost", "metaWeblog.getPost"}));
    // Only newPost must never be sent twice by anyone.
    EXPECT_FALSE(transport.sent[0].once);
    EXPECT_TRUE(transport.sent[1].once);
    EXPECT_FALSE(transport.sent[2].once);
    const std::string& upload = transport.sent[0].body;
    EXPECT_NE(upload.find("<name>type</name><value><string>image/png</string>"), std::string::npos) << upload;
    EXPECT_NE(upload.find(xmlrpc::EncodeBase64("\x89PNG-bytes")), std::string::npos);
    const std::string& post = transport.sent[1].body;
    EXPECT_NE(post.find("&lt;a href=\"http://blog.example/media/V-1.png\"&gt;&lt;img src = "
                        "\"http://blog.example/media/V-1.png\""),
              std::string::npos)
        << post;
    EXPECT_NE(post.find("50&amp;#37;"), std::string::npos);
    EXPECT_NE(post.find("<boolean>1</boolean>"), std::string::npos);
}

TEST_F(ClientTest, ADraftIsNotPublishedAndHasNoLink) {
    transport.replies = {Xml(kMedia), Xml("<string>8</string>")};
    BlogClient client(transport, account);
    std::u16string link = u"stale";
    ASSERT_TRUE(client.Publish(Post(true), link));
    EXPECT_EQ(link, u"");
    EXPECT_NE(transport.sent[1].body.find("<boolean>0</boolean>"), std::string::npos);
    EXPECT_EQ(transport.sent.size(), 2u);
}

TEST_F(ClientTest, NothingIsSentForAnUnreadableCaptureOrAnUnsendableTitle) {
    PostInput missing = Post();
    missing.openCapture = [](std::unique_ptr<xmlrpc::ByteSource>&, uint64_t&) { return false; };
    PostInput control = Post();
    control.title = u"bell \u0007";
    for (const auto& [post, problem] : {std::pair{missing, Problem::CaptureMissing}, std::pair{control, Problem::RequestFailed}}) {
        ScriptedTransport scripted;
        BlogClient client(scripted, account);
        std::u16string link;
        EXPECT_FALSE(client.Publish(post, link));
        EXPECT_EQ(client.failure().problem, problem);
        EXPECT_TRUE(scripted.sent.empty());
    }
}

// newPost went out and its answer is lost: the blog is asked, never sent the
// post again.
TEST_F(ClientTest, ALostAnswerIsLookedForAmongTheRecentPosts) {
    const std::string title = "Caf\xC3\xA9 &amp; &lt;b&gt;";
    const std::string reworded = "&lt;p&gt;&lt;img src=\"http://blog.example/media/V-1.png\"/&gt;&lt;/p&gt;";
    struct Case {
        const char* name;
        HttpReply newPost;
        std::vector<HttpReply> after;
        bool published;
        Problem problem;
        std::vector<std::string> methods;
    };
    const std::vector<std::string> searched = {"metaWeblog.newMediaObject", "metaWeblog.newPost",
                                               "metaWeblog.getRecentPosts"};
    const Case cases[] = {
        {"dropped, then found (the body reworded by the blog)", Lost(Trouble::ConnectionLost, true),
         {Xml(Recent(title, reworded))}, true, Problem::None, searched},
        {"timed out, not there", Lost(Trouble::TimedOut, true), {Xml(Recent("Other", reworded))}, false,
         Problem::ReplyLostNotPosted, searched},
        {"dropped, and the blog cannot be asked", Lost(Trouble::ConnectionLost, true), {Lost(Trouble::CannotConnect, false)},
         false, Problem::ReplyLost, searched},
        {"a web page, found", Status(200, {}, "<!DOCTYPE html><html>Oops</html>"), {Xml(Recent(title, reworded))}, true,
         Problem::None, searched},
        {"a web page, not there", Status(200, {}, "<html>Blocked</html>"), {Xml("<array><data></data></array>")}, false,
         Problem::HtmlReply, searched},
        {"a server error, found", Status(500), {Xml(Recent(title, reworded))}, true, Problem::None, searched},
        {"never sent whole: nothing to look for", Lost(Trouble::ConnectionLost, false), {}, false,
         Problem::ConnectionLost, {"metaWeblog.newMediaObject", "metaWeblog.newPost"}},
        {"a fault: nothing was posted", FaultReply(500, "Sorry"), {}, false, Problem::Fault,
         {"metaWeblog.newMediaObject", "metaWeblog.newPost"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport scripted;
        scripted.replies = {Xml(kMedia), c.newPost};
        scripted.replies.insert(scripted.replies.end(), c.after.begin(), c.after.end());
        BlogClient client(scripted, account);
        std::u16string link;
        EXPECT_EQ(client.Publish(Post(), link), c.published) << core::ToUtf8(Describe(client.failure()));
        EXPECT_EQ(client.failure().problem, c.problem);
        EXPECT_EQ(scripted.Methods(), c.methods);
        EXPECT_EQ(link, c.published ? u"http://blog.example/?p=7" : u"");
    }
}

// --- The diagnosis --------------------------------------------------------------

TEST(DiagnosisTest, RepliesAreClassifiedByStatusThenBody) {
    struct Case {
        HttpReply reply;
        Problem problem;
    };
    HttpReply xmlPage = Status(200, {}, "\xEF\xBB\xBF\r\n<!DOCTYPE HTML><html><body>Access denied</body></html>");
    xmlPage.contentType = "text/xml";
    HttpReply garbage = Status(200, {}, "<methodResponse><params>");
    garbage.contentType = "text/xml";
    const Case cases[] = {
        {Status(401), Problem::HttpRefused},       {Status(403), Problem::HttpRefused},
        {Status(404), Problem::HttpNotFound},      {Status(405), Problem::HttpDisabled},
        {Status(501), Problem::HttpDisabled},      {Status(500), Problem::HttpServerError},
        {Status(503), Problem::HttpServerError},   {Status(302), Problem::HttpOther},
        {Status(200), Problem::HtmlReply},         {xmlPage, Problem::HtmlReply},
        {garbage, Problem::NotXmlRpc},             {FaultReply(403, "Incorrect username or password."), Problem::LoginRefused},
        {FaultReply(801, "Invalid login"), Problem::LoginRefused},
        {FaultReply(401, "Sorry, you are not allowed to publish posts."), Problem::Fault},
        {Xml("<int>1</int>"), Problem::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.status);
        SCOPED_TRACE(c.reply.body);
        xmlrpc::Response response;
        std::string detail;
        EXPECT_EQ(ClassifyReply(c.reply, response, detail), c.problem);
    }
}

// Every failure a user can meet has a sentence of its own, naming the
// address or the server's words where that helps.
TEST(DiagnosisTest, EveryProblemHasItsOwnSentence) {
    std::set<std::u16string> sentences;
    for (int p = static_cast<int>(Problem::UnsupportedService); p <= static_cast<int>(Problem::Other); ++p) {
        Failure f;
        f.problem = static_cast<Problem>(p);
        f.url = u"https://blog.example/xmlrpc.php";
        f.newAddress = u"https://www.blog.example/xmlrpc.php";
        f.status = 403;
        f.faultCode = 42;
        f.faultString = "Blog is closed";
        f.detail = "unexpected end";
        const std::u16string text = Describe(f);
        EXPECT_FALSE(text.empty()) << p;
        EXPECT_TRUE(sentences.insert(text).second) << core::ToUtf8(text);
    }
    Failure none;
    EXPECT_EQ(Describe(none), u"");

    Failure fault;
    fault.problem = Problem::Fault;
    fault.faultCode = 42;
    fault.faultString = "Blog is closed";
    EXPECT_EQ(core::ToUtf8(Describe(fault)), "The blog reported an error: \u201CBlog is closed\u201D (fault code 42).");
    Failure moved;
    moved.problem = Problem::Moved;
    moved.newAddress = u"https://new.example/xmlrpc.php";
    EXPECT_NE(Describe(moved).find(u"https://new.example/xmlrpc.php"), std::u16string::npos);
    Failure unknown;
    unknown.problem = Problem::NameNotResolved;
    unknown.url = u"https://no-such.example:8443/xmlrpc.php";
    EXPECT_NE(Describe(unknown).find(u"\u201Cno-such.example\u201D"), std::u16string::npos);
}

TEST_F(ClientTest, ThePasswordAppearsInNoDiagnosis) {
    // A server that echoes what it got (the password included) in its fault.
    transport.replies = {FaultReply(500, "bad params: ann pass-w0rd")};
    BlogClient client(transport, account);
    std::vector<BlogEntry> blogs;
    EXPECT_FALSE(client.ListBlogs(blogs));
    EXPECT_EQ(Describe(client.failure()).find(u"pass-w0rd"), std::u16string::npos);
}

} // namespace
