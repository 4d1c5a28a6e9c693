#include "core/kelo_xml_string.h"

#include <gtest/gtest.h>

#include <string>

using core::String;

namespace {

std::string Narrow(const String& text) {
    return core::ToUtf8(text);
}

// The settings file as it is written, CR LF and four-space indent.
const String kAccountFile =
    u"<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
    u"<userprefs>\r\n"
    u"    <StoredText>pw</StoredText>\r\n"
    u"    <Login>ann</Login>\r\n"
    u"    <Server>https://example.org</Server>\r\n"
    u"    <Endpoint>/xmlrpc.php</Endpoint>\r\n"
    u"</userprefs>\r\n";

} // namespace

TEST(KeloXmlFindElement, TableOfSearches) {
    struct Case {
        const char* what;
        String text;
        String name;
        int start;
        bool found;
        String value;     // when found
        int endPosition;  // when found: index of the end tag's '>'
    };
    const Case cases[] = {
        {"plain element", u"<a>x</a>", u"a", 0, true, u"x", 7},
        {"name with brackets", u"<a>x</a>", u"<a>", 0, true, u"x", 7},
        {"name with only the opening bracket", u"<a>x</a>", u"<a", 0, true, u"x", 7},
        {"empty inner text", u"<a></a>", u"a", 0, true, u"", 6},
        {"attributes after a space", u"<Login kind=\"x\">ann</Login>", u"Login", 0, true, u"ann", 26},
        {"tab after the name", u"<Login\tkind=\"x\">ann</Login>", u"Login", 0, false, u"", 0},
        {"names compare case-sensitively", u"<login>ann</login>", u"Login", 0, false, u"", 0},
        {"prefix of a longer name", u"<Logins>ann</Logins>", u"Login", 0, false, u"", 0},
        {"end tag compared whole", u"<a>x</a ><b/></a>", u"a", 0, true, u"x</a ><b/>", 16},
        {"nested same name by depth", u"<a>1<a>2</a>3</a>", u"a", 0, true, u"1<a>2</a>3", 16},
        {"self-closing nested tag does not nest", u"<a>1<a/>2</a>", u"a", 0, true, u"1<a/>2", 12},
        {"inner markup returned raw", u"<r>\r\n  <b>x</b>\r\n</r>", u"r", 0, true, u"\r\n  <b>x</b>\r\n", 20},
        {"declaration skipped", u"<?xml version=\"1.0\" ?><a>x</a>", u"a", 0, true, u"x", 29},
        {"start at the element", u"<a>x</a><a>y</a>", u"a", 8, true, u"y", 15},
        {"start inside the first element", u"<a>x</a><a>y</a>", u"a", 1, true, u"y", 15},
        {"start past the end", u"<a>x</a>", u"a", 8, false, u"", 0},
        {"negative start", u"<a>x</a>", u"a", -1, false, u"", 0},
        {"empty name", u"<a>x</a>", u"", 0, false, u"", 0},
        {"brackets only", u"<a>x</a>", u"<>", 0, false, u"", 0},
        {"no end tag", u"<a>x", u"a", 0, false, u"", 0},
        {"unclosed start tag", u"<a", u"a", 0, false, u"", 0},
        {"end tag without '>'", u"<a>x</a", u"a", 0, false, u"", 0},
        {"empty short form", u"<a/><a>y</a>", u"a", 0, true, u"", 3},
        {"empty short form with attribute", u"<a k=\"1\" /><b>y</b>", u"a", 0, true, u"", 10},
        {"empty text", u"", u"a", 0, false, u"", 0},
    };
    for (const Case& c : cases) {
        KeloXmlString xml(c.text);
        String value = u"untouched";
        int position = c.start;
        EXPECT_EQ(xml.FindElement(c.name, value, position), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(Narrow(value), Narrow(c.value)) << c.what;
            EXPECT_EQ(position, c.endPosition) << c.what;
        } else {
            EXPECT_EQ(Narrow(value), "untouched") << c.what;
            EXPECT_EQ(position, c.start) << c.what;
        }
        EXPECT_EQ(Narrow(xml.Text()), Narrow(c.text)) << c.what << ": searching changed the text";
    }
}

TEST(KeloXmlGetValue, UnescapesOnlyValuesWithoutMarkupCharacters) {
    struct Case { String inner; String expected; };
    const Case cases[] = {
        {u"a&amp;b", u"a&b"},
        {u"&lt;&gt;&quot;&apos;&amp;", u"<>\"'&"},
        {u"&amp;lt;", u"&lt;"},              // escaped "&lt;" comes back as typed
        {u"x>y&amp;", u"x>y&amp;"},          // holds '>': as it stands
        {u"it's &amp;", u"it's &amp;"},      // holds an apostrophe
        {u"say \"&amp;\"", u"say \"&amp;\""},
        {u"&unknown; &", u"&unknown; &"},
    };
    for (const Case& c : cases) {
        KeloXmlString xml(u"<v>" + c.inner + u"</v>");
        String value;
        int position = 0;
        ASSERT_TRUE(xml.GetValue(u"v", value, position)) << Narrow(c.inner);
        EXPECT_EQ(Narrow(value), Narrow(c.expected)) << Narrow(c.inner);
    }
}

TEST(KeloXmlEscape, RoundTripsEveryMarkupCharacter) {
    const String texts[] = {
        u"plain", u"a&b", u"<tag>", u"\"quoted\"", u"it's", u"&lt;", u"&amp;amp;", u"&&<<>>''\"\"", u"",
        u"\u00e9\u20ac & \U0001F600",
    };
    for (const String& original : texts) {
        String text = original;
        KeloXmlString::XmlEscape(text);
        EXPECT_EQ(text.find_first_of(u"<>\"'"), String::npos) << Narrow(original);
        KeloXmlString::XmlUnescape(text);
        EXPECT_EQ(Narrow(text), Narrow(original));
    }
    String all = u"&<>\"'";
    KeloXmlString::XmlEscape(all);
    EXPECT_EQ(Narrow(all), "&amp;&lt;&gt;&quot;&apos;");
}

TEST(KeloXmlReading, ChildrenInDocumentOrderWithOneSharedPosition) {
    KeloXmlString file(kAccountFile);
    KeloXmlString root;
    int p = 0;
    ASSERT_TRUE(file.GetChild(u"userprefs", root, p));

    String stored, login, server, endpoint;
    int position = 0;
    EXPECT_TRUE(root.GetValue(u"StoredText", stored, position));
    EXPECT_TRUE(root.GetValue(u"Login", login, position));
    EXPECT_TRUE(root.GetValue(u"Server", server, position));
    EXPECT_TRUE(root.GetValue(u"Endpoint", endpoint, position));
    EXPECT_EQ(Narrow(stored), "pw");
    EXPECT_EQ(Narrow(login), "ann");
    EXPECT_EQ(Narrow(server), "https://example.org");
    EXPECT_EQ(Narrow(endpoint), "/xmlrpc.php");
}

TEST(KeloXmlReading, MissingChildLeavesThePositionForTheNextOnes) {
    KeloXmlString root(u"<Login>ann</Login><Endpoint>/e</Endpoint>");
    String server = u"kept", endpoint;
    int position = 0;
    String login;
    ASSERT_TRUE(root.GetValue(u"Login", login, position));
    const int afterLogin = position;
    EXPECT_FALSE(root.GetValue(u"Server", server, position));
    EXPECT_EQ(position, afterLogin);
    EXPECT_EQ(Narrow(server), "kept");
    EXPECT_TRUE(root.GetValue(u"Endpoint", endpoint, position));
    EXPECT_EQ(Narrow(endpoint), "/e");
}

TEST(KeloXmlReading, ChildBeforeThePreviousOneIsNotSeen) {
    KeloXmlString root(u"<Login>ann</Login><StoredText>pw</StoredText>");
    String stored, login;
    int position = 0;
    EXPECT_TRUE(root.GetValue(u"StoredText", stored, position));
    EXPECT_FALSE(root.GetValue(u"Login", login, position));
    EXPECT_EQ(Narrow(stored), "pw");
    EXPECT_TRUE(login.empty());
}

TEST(KeloXmlReading, ServerWithLessThanLoadsEmptyAndLaterElementsStillLoad) {
    // A server text is written raw, so a "<" in it starts a tag that swallows
    // "</Server>": the element never closes, and the position stays put.
    KeloXmlString root(u"<Login>ann</Login><Server>a<b</Server><Endpoint>/e</Endpoint>");
    String login, server, endpoint;
    int position = 0;
    EXPECT_TRUE(root.GetValue(u"Login", login, position));
    EXPECT_FALSE(root.GetValue(u"Server", server, position));
    EXPECT_TRUE(server.empty());
    EXPECT_TRUE(root.GetValue(u"Endpoint", endpoint, position));
    EXPECT_EQ(Narrow(endpoint), "/e");
}

TEST(KeloXmlReading, RepeatedSiblingsUntilFalse) {
    KeloXmlString list(u"<list>\n<Blog_Object><Name>one</Name></Blog_Object>\n"
                       u"<Blog_Object><Name>two</Name></Blog_Object>\n</list>");
    KeloXmlString root;
    int p = 0;
    ASSERT_TRUE(list.GetChild(u"list", root, p));
    std::string names;
    int position = 0;
    KeloXmlString blog;
    while (root.GetChild(u"Blog_Object", blog, position)) {
        String name;
        int q = 0;
        ASSERT_TRUE(blog.GetValue(u"Name", name, q));
        names += Narrow(name) + ";";
    }
    EXPECT_EQ(names, "one;two;");
}

TEST(KeloXmlReading, LineEndsAndLayoutDoNotMatter) {
    const String layouts[] = {
        u"<userprefs>\n  <Login>ann</Login>\n  <Server>s</Server>\n</userprefs>\n",
        u"<userprefs><Login>ann</Login><Server>s</Server></userprefs>",
        u"\r\n\r\n<userprefs>\t<Login>ann</Login>\t\t<Server>s</Server></userprefs>",
    };
    for (const String& text : layouts) {
        KeloXmlString file(text), root;
        int p = 0;
        ASSERT_TRUE(file.GetChild(u"userprefs", root, p)) << Narrow(text);
        String login, server;
        int position = 0;
        EXPECT_TRUE(root.GetValue(u"Login", login, position));
        EXPECT_TRUE(root.GetValue(u"Server", server, position));
        EXPECT_EQ(Narrow(login), "ann");
        EXPECT_EQ(Narrow(server), "s");
    }
}
