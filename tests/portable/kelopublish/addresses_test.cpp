#include "kelopublish/addresses.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

using namespace kelo;

namespace {

std::string N(const std::u16string& text) {
    return core::ToUtf8(text);
}

} // namespace

TEST(Addresses, EndpointJoinsWithOneSlash) {
    struct Case {
        std::u16string server, endpoint;
        std::string expected;
    };
    const Case cases[] = {
        {u"https://blog.example", u"xmlrpc.php", "https://blog.example/xmlrpc.php"},
        {u"https://blog.example/", u"xmlrpc.php", "https://blog.example/xmlrpc.php"},
        {u"https://blog.example", u"/xmlrpc.php", "https://blog.example/xmlrpc.php"},
        {u"https://blog.example//", u"//xmlrpc.php", "https://blog.example/xmlrpc.php"},
        {u"http://blog.example/wp", u"/xmlrpc.php", "http://blog.example/wp/xmlrpc.php"},
        {u"blog.example", u"xmlrpc.php", "https://blog.example/xmlrpc.php"},
        {u"blog.example:8080/", u"/x/xmlrpc.php", "https://blog.example:8080/x/xmlrpc.php"},
        {u"HTTP://Blog.Example", u"xmlrpc.php", "HTTP://Blog.Example/xmlrpc.php"},
        {u"  blog.example \t", u" /xmlrpc.php ", "https://blog.example/xmlrpc.php"},
        {u"blog.example", u"https://other.example/rpc", "https://other.example/rpc"},
        {u"blog.example", u"", ""},
        {u"blog.example", u"/", ""},
        {u"blog.example", u"  ", ""},
        {u"", u"xmlrpc.php", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.server) + " + " + N(c.endpoint));
        EXPECT_EQ(N(EndpointAddress(c.server, c.endpoint)), c.expected);
    }
    EXPECT_EQ(N(HomePageAddress(u"blog.example/wp//")), "https://blog.example/wp/");
    EXPECT_EQ(N(HomePageAddress(u"http://127.0.0.1:8080")), "http://127.0.0.1:8080/");
    EXPECT_EQ(N(HomePageAddress(u" ")), "");
    EXPECT_EQ(N(EndpointAddress(u"blog.example", kDefaultEndpoint)), "https://blog.example/xmlrpc.php");
}

TEST(Addresses, FindsTheEditUriOfRealisticPages) {
    struct Case {
        const char* what;
        std::string html;
        std::string expected;
    };
    const Case cases[] = {
        {"as engines write it",
         "<!DOCTYPE html>\n<html lang=\"en-US\">\n<head>\n<meta charset=\"UTF-8\" />\n"
         "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Feed\" href=\"https://blog.example/feed/\" />\n"
         "<link rel=\"EditURI\" type=\"application/rsd+xml\" title=\"RSD\" href=\"https://blog.example/xmlrpc.php?rsd\" />\n"
         "<link rel=\"wlwmanifest\" type=\"application/wlwmanifest+xml\" href=\"https://blog.example/wlwmanifest.xml\" />\n"
         "</head><body></body></html>",
         "https://blog.example/xmlrpc.php?rsd"},
        {"href first, single quotes, case", "<LINK HREF='/xmlrpc.php?rsd' Type='application/rsd+xml' REL='edituri'>",
         "http://127.0.0.1:8080/xmlrpc.php?rsd"},
        {"unquoted, relative", "<link rel=EditURI href=xmlrpc.php?rsd>", "http://127.0.0.1:8080/blog/xmlrpc.php?rsd"},
        {"rel with several words, entity in href",
         "<link rel=\"alternate EditURI\" href=\"https://b.example/x.php?rsd&amp;a=1\">",
         "https://b.example/x.php?rsd&a=1"},
        {"spread over lines", "<link\n  rel = \"EditURI\"\n  href = \"//cdn.example/rpc?rsd\"\n/>",
         "http://cdn.example/rpc?rsd"},
        {"commented-out link skipped",
         "<!-- <link rel=\"EditURI\" href=\"https://old.example/\"> -->"
         "<link rel=\"EditURI\" href=\"https://new.example/xmlrpc.php?rsd\">",
         "https://new.example/xmlrpc.php?rsd"},
        {"a '>' inside another attribute", "<link title=\"a > b\" rel=\"EditURI\" href=\"/r\">",
         "http://127.0.0.1:8080/r"},
        {"other rel only", "<link rel=\"stylesheet\" href=\"/s.css\"><a rel=\"EditURI\" href=\"/x\">", ""},
        {"no href", "<link rel=\"EditURI\">", ""},
        {"rel as part of a word", "<link rel=\"EditURIs\" href=\"/x\">", ""},
        {"no page", "", ""},
        {"unterminated", "<link rel=\"EditURI\" href=\"https://x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(N(FindEditUri(c.html, u"http://127.0.0.1:8080/blog/")), c.expected);
    }
    EXPECT_EQ(N(FindEditUri("<link rel=\"EditURI\" href=\"/x\">")), "/x") << "no page address: as written";
}

TEST(Addresses, FindsTheMetaWeblogApiLink) {
    const std::string rsd =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rsd version=\"1.0\" xmlns=\"http://archipelago.phrasewise.com/rsd\">\n"
        "  <service>\n    <engineName>Engine</engineName>\n    <homePageLink>https://blog.example</homePageLink>\n"
        "    <apis>\n      <api name=\"WordPress\" blogID=\"1\" preferred=\"true\" apiLink=\"https://blog.example/wp.php\" />\n"
        "      <api name=\"Movable Type\" blogID=\"1\" preferred=\"false\" apiLink=\"https://blog.example/mt.php\" />\n"
        "      <api name=\"MetaWeblog\" blogID=\"1\" preferred=\"false\" apiLink=\"https://blog.example/xmlrpc.php\" />\n"
        "      <api name=\"Blogger\" blogID=\"1\" preferred=\"false\" apiLink=\"https://blog.example/xmlrpc.php\" />\n"
        "    </apis>\n  </service>\n</rsd>\n";
    EXPECT_EQ(N(FindMetaWeblogApiLink(rsd)), "https://blog.example/xmlrpc.php");
    EXPECT_EQ(N(FindMetaWeblogApiLink("<api apiLink='rpc.php' name='metaweblog'/>", u"http://h.example/b/x.php?rsd")),
              "http://h.example/b/rpc.php");
    EXPECT_EQ(N(FindMetaWeblogApiLink("<api name=\"Blogger\" apiLink=\"/x\"/>")), "");
    EXPECT_EQ(N(FindMetaWeblogApiLink("not xml at all")), "");
}

TEST(Addresses, ParsesUrls) {
    struct Case {
        std::u16string url;
        bool ok;
        bool https;
        std::string host;
        int port;
        std::string path;
    };
    const Case cases[] = {
        {u"https://blog.example/xmlrpc.php", true, true, "blog.example", 443, "/xmlrpc.php"},
        {u"http://blog.example", true, false, "blog.example", 80, "/"},
        {u"HTTP://127.0.0.1:8080/xmlrpc.php?rsd#top", true, false, "127.0.0.1", 8080, "/xmlrpc.php?rsd"},
        {u"https://localhost:1/", true, true, "localhost", 1, "/"},
        {u"https://h.example:65535?q=1", true, true, "h.example", 65535, "/?q=1"},
        {u"http://[::1]:8080/x", true, false, "::1", 8080, "/x"},
        {u"http://[::1]/x", true, false, "::1", 80, "/x"},
        {u"https://caf\u00E9.example/p", true, true, "caf\xC3\xA9.example", 443, "/p"},
        {u"ftp://h.example/", false, false, "", 0, ""},
        {u"blog.example/xmlrpc.php", false, false, "", 0, ""},
        {u"https://", false, false, "", 0, ""},
        {u"https:///path", false, false, "", 0, ""},
        {u"https://h.example:/", false, false, "", 0, ""},
        {u"https://h.example:0/", false, false, "", 0, ""},
        {u"https://h.example:65536/", false, false, "", 0, ""},
        {u"https://h.example:99999999999/", false, false, "", 0, ""},
        {u"https://h.example:8o/", false, false, "", 0, ""},
        {u"https://user:pw@h.example/", false, false, "", 0, ""},
        {u"https://h.example/a b", false, false, "", 0, ""},
        {u"https://h.exa mple/", false, false, "", 0, ""},
        {u"https://h.example/\n", false, false, "", 0, ""},
        {u"http://[::1/", false, false, "", 0, ""},
        {u"http://[zz]/", false, false, "", 0, ""},
        {u"http://[::1]x/", false, false, "", 0, ""},
        {u"", false, false, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.url));
        ParsedUrl parsed;
        ASSERT_EQ(ParseUrl(c.url, parsed), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(parsed.https, c.https);
        EXPECT_EQ(N(parsed.host), c.host);
        EXPECT_EQ(parsed.port, c.port);
        EXPECT_EQ(N(parsed.path), c.path);
    }
}

TEST(Addresses, ResolvesRelativeAddresses) {
    struct Case {
        std::u16string base, relative;
        std::string expected;
    };
    const Case cases[] = {
        {u"http://a.example/b/c/d;p?q", u"g", "http://a.example/b/c/g"},
        {u"http://a.example/b/c/d;p?q", u"./g", "http://a.example/b/c/g"},
        {u"http://a.example/b/c/d;p?q", u"g/", "http://a.example/b/c/g/"},
        {u"http://a.example/b/c/d;p?q", u"/g", "http://a.example/g"},
        {u"http://a.example/b/c/d;p?q", u"//g.example/x", "http://g.example/x"},
        {u"http://a.example/b/c/d;p?q", u"?y", "http://a.example/b/c/d;p?y"},
        {u"http://a.example/b/c/d;p?q", u"g?y", "http://a.example/b/c/g?y"},
        {u"http://a.example/b/c/d;p?q", u"#s", "http://a.example/b/c/d;p?q"},
        {u"http://a.example/b/c/d;p?q", u"", "http://a.example/b/c/d;p?q"},
        {u"http://a.example/b/c/d;p?q", u"..", "http://a.example/b/"},
        {u"http://a.example/b/c/d;p?q", u"../g", "http://a.example/b/g"},
        {u"http://a.example/b/c/d;p?q", u"../../../g", "http://a.example/g"},
        {u"http://a.example/b/c/d;p?q", u"/./g/../h", "http://a.example/h"},
        {u"http://a.example/b/c/d;p?q", u"https://x.example/y", "https://x.example/y"},
        {u"http://a.example", u"xmlrpc.php", "http://a.example/xmlrpc.php"},
        {u"https://a.example:8443/blog/", u"xmlrpc.php?rsd", "https://a.example:8443/blog/xmlrpc.php?rsd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.relative));
        EXPECT_EQ(N(ResolveUrl(c.base, c.relative)), c.expected);
    }
}

TEST(Addresses, MimeTypesAndMediaNames) {
    struct Case {
        std::u16string path;
        std::string type;
    };
    const Case cases[] = {
        {u"C:\\Temp\\cap.png", "image/png"},  {u"cap.PNG", "image/png"},     {u"a.jpg", "image/jpeg"},
        {u"a.JPEG", "image/jpeg"},            {u"a.gif", "image/gif"},       {u"a.bmp", "image/bmp"},
        {u"a.tif", "image/tiff"},             {u"a.tiff", "image/tiff"},     {u"a.webp", ""},
        {u"a.png.txt", ""},                   {u"C:\\dir.png\\file", ""},    {u"noextension", ""},
        {u"", ""},                            {u"a.", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.path));
        EXPECT_EQ(MimeTypeFor(c.path), c.type);
    }
    EXPECT_EQ(N(std::u16string(FileExtension(u"C:\\a.b\\shot.JPeg"))), "JPeg");

    using namespace std::chrono;
    // 2026-12-11 15:30:05.042 UTC.
    const system_clock::time_point t{milliseconds(1797003005042LL)};
    EXPECT_EQ(UniqueMediaName(t, u"PNG"), "Velluma-20261211-153005-042.png");
    EXPECT_EQ(UniqueMediaName(t, u"j.p-g"), "Velluma-20261211-153005-042.jpg");
    EXPECT_EQ(UniqueMediaName(t, u""), "Velluma-20261211-153005-042");
    EXPECT_EQ(UniqueMediaName(system_clock::time_point{milliseconds(951782400000LL)}, u"gif"),
              "Velluma-20000229-000000-000.gif");
    EXPECT_NE(UniqueMediaName(t, u"png"), UniqueMediaName(t + milliseconds(1), u"png"));
}

TEST(Addresses, FillsBothImageAddressesAndNothingElse) {
    const std::u16string body =
        u"<a href=\"%s\"><img src = \"%s\" align = \"left\" height=\"240\" width=\"320\" hspace = \"20\" /></a>"
        u"<p>100&#37; s%; %d &#37;s</p>";
    EXPECT_EQ(N(FillImageAddress(body, u"https://blog.example/media/a.png")),
              "<a href=\"https://blog.example/media/a.png\"><img src = \"https://blog.example/media/a.png\" align = "
              "\"left\" height=\"240\" width=\"320\" hspace = \"20\" /></a><p>100&#37; s%; %d &#37;s</p>");
    // The address goes into attributes; a "%s" in it is not filled again.
    EXPECT_EQ(N(FillImageAddress(u"<img src=\"%s\">", u"https://x.example/?a=1&b=\"%s\"")),
              "<img src=\"https://x.example/?a=1&amp;b=&quot;%s&quot;\">");
}
