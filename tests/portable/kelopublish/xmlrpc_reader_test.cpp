#include "kelopublish/xmlrpc.h"
#include "tests/portable/kelopublish/xmlrpc_test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace kelo::xmlrpc;
using namespace kelo::xmlrpc::testing;

namespace {

std::string Nested(int levels, const std::string& inner) {
    std::string text = inner;
    for (int i = 0; i < levels; ++i) text = "<array><data><value>" + text + "</value></data></array>";
    return text;
}

} // namespace

TEST(XmlRpcReader, TableOfValues) {
    struct Case {
        const char* what;
        std::string body;
        Value expected;
    };
    const Case cases[] = {
        {"untyped string", Reply("abc"), Str("abc")},
        {"untyped string keeps its spaces", Reply("  a b  "), Str("  a b  ")},
        {"empty value", Reply(""), Str("")},
        {"short empty value",
         "<methodResponse><params><param><value/></param></params></methodResponse>", Str("")},
        {"string", Reply("<string>x y</string>"), Str("x y")},
        {"empty string", Reply("<string></string>"), Str("")},
        {"short empty string", Reply("<string/>"), Str("")},
        {"whitespace around a typed value", Reply("\n\t <string>x</string>\r\n "), Str("x")},
        {"predefined entities", Reply("<string>&lt;&gt;&amp;&quot;&apos;</string>"), Str("<>&\"'")},
        {"entity text stays single", Reply("<string>&amp;lt;</string>"), Str("&lt;")},
        {"numeric references", Reply("<string>&#233;&#xE9;&#x1F600;&#38;</string>"),
         Str("\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80&")},
        {"raw UTF-8", Reply("<string>caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC</string>"),
         Str("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC")},
        {"line ends normalised, CR by reference kept", Reply("<string>a\r\nb\rc&#13;d</string>"),
         Str("a\nb\nc\rd")},
        {"CDATA taken as written", Reply("<string>x<![CDATA[<b>&amp;</b>]]>y</string>"), Str("x<b>&amp;</b>y")},
        {"comment inside text dropped", Reply("<string>a<!-- c -->b</string>"), Str("ab")},
        {"i4", Reply("<i4>42</i4>"), Int(42)},
        {"int negative", Reply("<int>-7</int>"), Int(-7)},
        {"int with plus and spaces", Reply("<int> +3 </int>"), Int(3)},
        {"int32 limits", Reply("<array><data><value><i4>2147483647</i4></value><value><i4>-2147483648</i4></value>"
                               "</data></array>"),
         Arr({Int(2147483647), Int(-2147483647 - 1)})},
        {"boolean", Reply("<array><data><value><boolean>1</boolean></value><value><boolean>0</boolean></value>"
                          "</data></array>"),
         Arr({Bool(true), Bool(false)})},
        {"double", Reply("<double>-1.25</double>"), Dbl(-1.25)},
        {"double with exponent", Reply("<double>1.5e3</double>"), Dbl(1500)},
        {"double without fraction", Reply("<double>7</double>"), Dbl(7)},
        {"dateTime", Reply("<dateTime.iso8601>20261211T15:30:00</dateTime.iso8601>"), Date("20261211T15:30:00")},
        {"base64", Reply("<base64>aGVsbG8=</base64>"), Bytes("hello")},
        {"base64 with line breaks", Reply("<base64>aGVs\r\nbG8g\nd29y\nbGQ=\n</base64>"), Bytes("hello world")},
        {"base64 binary", Reply("<base64>AP8AgA==</base64>"), Bytes(std::string("\x00\xFF\x00\x80", 4))},
        {"base64 empty", Reply("<base64></base64>"), Bytes("")},
        {"nil", Reply("<nil/>"), Nil()},
        {"nil with end tag", Reply("<nil></nil>"), Nil()},
        {"struct in document order",
         Reply("<struct><member><name>b</name><value><i4>1</i4></value></member>"
               "<member><name>a</name><value>x</value></member></struct>"),
         Obj({{"b", Int(1)}, {"a", Str("x")}})},
        {"struct member with escaped name and empty value",
         Reply("<struct><member><name>a&amp;b</name><value/></member></struct>"), Obj({{"a&b", Str("")}})},
        {"empty struct", Reply("<struct></struct>"), Obj({})},
        {"short empty struct", Reply("<struct/>"), Obj({})},
        {"empty array", Reply("<array><data></data></array>"), Arr({})},
        {"short empty data", Reply("<array><data/></array>"), Arr({})},
        {"array of mixed values", Reply("<array><data><value>s</value><value><i4>1</i4></value><value/>"
                                        "<value><struct/></value></data></array>"),
         Arr({Str("s"), Int(1), Str(""), Obj({})})},
        {"nesting", Reply("<struct><member><name>list</name><value><array><data><value><struct><member><name>k"
                          "</name><value><boolean>1</boolean></value></member></struct></value></data></array>"
                          "</value></member></struct>"),
         Obj({{"list", Arr({Obj({{"k", Bool(true)}})})}})},
        {"64 levels deep", Reply(Nested(64, "<i4>1</i4>")), [] {
             Value v = Int(1);
             for (int i = 0; i < 64; ++i) {
                 Value a = Arr({});
                 a.items.push_back(v);
                 v = a;
             }
             return v;
         }()},
        {"pretty-printed with comments and attributes",
         "<?xml version=\"1.0\"?>\n<!-- generated -->\n<methodResponse>\n  <params>\n    <param>\n"
         "      <value>\n        <struct>\n          <member>\n            <name>id</name>\n"
         "            <value><string>7</string></value>\n          </member>\n        </struct>\n"
         "      </value>\n    </param>\n  </params>\n</methodResponse>\n<!-- end -->\n",
         Obj({{"id", Str("7")}})},
        {"byte-order mark and single-quoted declaration",
         "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?><methodResponse><params><param><value>"
         "<string>\xC3\xA9</string></value></param></params></methodResponse>",
         Str("\xC3\xA9")},
        {"ISO-8859-1 declared",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><methodResponse><params><param><value>"
         "<string>caf\xE9</string></value></param></params></methodResponse>",
         Str("caf\xC3\xA9")},
        {"attributes tolerated", Reply("<string xml:space=\"preserve\">x</string>"), Str("x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Response response;
        std::string error;
        ASSERT_TRUE(ReadResponse(c.body, response, error)) << error;
        EXPECT_FALSE(response.fault);
        EXPECT_TRUE(response.value == c.expected);
    }
}

TEST(XmlRpcReader, RepliesAsEnginesSendThem) {
    // blogger.getUsersBlogs, pretty-printed with tabs, an array of one struct.
    const std::string blogs =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodResponse>\n  <params>\n    <param>\n      <value>\n"
        "      <array><data>\n  <value><struct>\n  <member><name>isAdmin</name><value><boolean>1</boolean></value>"
        "</member>\n  <member><name>url</name><value><string>https://blog.example/</string></value></member>\n"
        "  <member><name>blogid</name><value><string>1</string></value></member>\n"
        "  <member><name>blogName</name><value><string>Ann &amp; Bob&#039;s &lt;caf\xC3\xA9&gt;</string></value>"
        "</member>\n  <member><name>xmlrpc</name><value><string>https://blog.example/xmlrpc.php</string></value>"
        "</member>\n</struct></value>\n</data></array>\n      </value>\n    </param>\n  </params>\n"
        "</methodResponse>\n";
    Response response;
    std::string error;
    ASSERT_TRUE(ReadResponse(blogs, response, error)) << error;
    ASSERT_EQ(response.value.type, Value::Type::Array);
    ASSERT_EQ(response.value.items.size(), 1u);
    const Value& blog = response.value.items[0];
    ASSERT_NE(blog.Member("blogid"), nullptr);
    EXPECT_EQ(blog.Member("blogid")->text, "1");
    EXPECT_EQ(blog.Member("blogName")->text, "Ann & Bob's <caf\xC3\xA9>");
    EXPECT_EQ(blog.Member("url")->text, "https://blog.example/");
    EXPECT_TRUE(blog.Member("isAdmin")->boolean);
    EXPECT_EQ(blog.Member("missing"), nullptr);

    // metaWeblog.getPost with a date, an untyped id, an array of categories.
    const std::string post =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodResponse><params><param><value><struct>"
        "<member><name>dateCreated</name><value><dateTime.iso8601>20261211T15:30:00</dateTime.iso8601></value>"
        "</member><member><name>postid</name><value>12</value></member>"
        "<member><name>title</name><value><string>Caf\xC3\xA9 &amp; &lt;tea&gt; &quot;x&quot;</string></value>"
        "</member><member><name>link</name><value><string>https://blog.example/?p=12</string></value></member>"
        "<member><name>permaLink</name><value><string>https://blog.example/?p=12</string></value></member>"
        "<member><name>categories</name><value><array><data><value><string>Uncategorized</string></value>"
        "</data></array></value></member><member><name>wp_slug</name><value><string></string></value></member>"
        "</struct></value></param></params></methodResponse>";
    ASSERT_TRUE(ReadResponse(post, response, error)) << error;
    EXPECT_EQ(response.value.Member("dateCreated")->type, Value::Type::DateTime);
    EXPECT_EQ(response.value.Member("postid")->text, "12");
    EXPECT_EQ(response.value.Member("title")->text, "Caf\xC3\xA9 & <tea> \"x\"");
    EXPECT_EQ(response.value.Member("categories")->items.at(0).text, "Uncategorized");

    // Python's xmlrpc module (the local blog) puts line breaks between
    // elements and inside base64.
    const std::string python =
        "<?xml version='1.0'?>\n<methodResponse>\n<params>\n<param>\n<value><struct>\n<member>\n<name>blogName"
        "</name>\n<value><string>A &amp; &lt;b&gt; \"c\" 'd' caf\xC3\xA9</string></value>\n</member>\n<member>\n"
        "<name>n</name>\n<value><int>-3</int></value>\n</member>\n<member>\n<name>d</name>\n<value><double>1.5"
        "</double></value>\n</member>\n<member>\n<name>when</name>\n<value><dateTime.iso8601>20261211T15:30:00"
        "</dateTime.iso8601></value>\n</member>\n<member>\n<name>bits</name>\n<value><base64>\nAP9oaQ==\n</base64>"
        "</value>\n</member>\n<member>\n<name>none</name>\n<value><nil/></value></member>\n<member>\n<name>list"
        "</name>\n<value><array><data>\n</data></array></value>\n</member>\n</struct></value>\n</param>\n"
        "</params>\n</methodResponse>\n";
    ASSERT_TRUE(ReadResponse(python, response, error)) << error;
    EXPECT_TRUE(response.value == Obj({{"blogName", Str("A & <b> \"c\" 'd' caf\xC3\xA9")},
                                       {"n", Int(-3)},
                                       {"d", Dbl(1.5)},
                                       {"when", Date("20261211T15:30:00")},
                                       {"bits", Bytes(std::string("\x00\xFFhi", 4))},
                                       {"none", Nil()},
                                       {"list", Arr({})}}));

    // newPost answers with the id as a string; some engines as an int.
    ASSERT_TRUE(ReadResponse(Reply("<string>12</string>"), response, error)) << error;
    EXPECT_EQ(response.value.text, "12");
}

TEST(XmlRpcReader, Faults) {
    struct Case {
        const char* what;
        std::string body;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"wrong password, as engines send it",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodResponse>\n  <fault>\n    <value>\n      <struct>\n"
         "        <member>\n          <name>faultCode</name>\n          <value><int>403</int></value>\n"
         "        </member>\n        <member>\n          <name>faultString</name>\n"
         "          <value><string>Incorrect username or password.</string></value>\n        </member>\n"
         "      </struct>\n    </value>\n  </fault>\n</methodResponse>\n",
         403, "Incorrect username or password."},
        {"unknown method, i4 code, untyped string",
         "<methodResponse><fault><value><struct><member><name>faultCode</name><value><i4>-32601</i4></value>"
         "</member><member><name>faultString</name><value>server error. requested method x does not exist."
         "</value></member></struct></value></fault></methodResponse>",
         -32601, "server error. requested method x does not exist."},
        {"string before code, code as text",
         "<methodResponse><fault><value><struct><member><name>faultString</name><value><string>Sorry, you are "
         "not allowed to &lt;do&gt; that.</string></value></member><member><name>faultCode</name><value>"
         "<string>401</string></value></member></struct></value></fault></methodResponse>",
         401, "Sorry, you are not allowed to <do> that."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Response response;
        std::string error;
        ASSERT_TRUE(ReadResponse(c.body, response, error)) << error;
        EXPECT_TRUE(response.fault);
        EXPECT_EQ(response.faultCode, c.code);
        EXPECT_EQ(response.faultString, c.text);
    }
}

TEST(XmlRpcReader, TableOfMalformedReplies) {
    struct Case {
        const char* what;
        std::string body;
        const char* reason;  // a fragment of the error
    };
    const std::string param = "<methodResponse><params><param><value>";
    const std::string end = "</value></param></params></methodResponse>";
    const Case cases[] = {
        {"empty", "", "no methodResponse element"},
        {"only a declaration", "<?xml version=\"1.0\"?>\n", "no methodResponse element"},
        {"an HTML page", "<html><head><title>403 Forbidden</title></head></html>", "no methodResponse element"},
        {"plain text", "Forbidden", "no methodResponse element"},
        {"HTML with a DOCTYPE", "<!DOCTYPE html>\n<html></html>", "a <!DOCTYPE is not accepted"},
        {"internal entity declared",
         "<?xml version=\"1.0\"?><!DOCTYPE methodResponse [<!ENTITY x \"y\">]>" + param + "&x;" + end,
         "a <!DOCTYPE is not accepted"},
        {"external entity",
         "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + param + "&x;" + end, "<!DOCTYPE"},
        {"DOCTYPE after a comment", "<!-- x --><!DOCTYPE methodResponse>" + param + end, "<!DOCTYPE"},
        {"unknown entity", Reply("&nbsp;"), "unknown entity \"&nbsp;\""},
        {"bare ampersand", Reply("a & b"), "'&' that starts no reference"},
        {"reference to NUL", Reply("&#0;"), "U+0000, which XML does not allow"},
        {"reference to a control", Reply("&#x1;"), "U+0001"},
        {"reference to a surrogate", Reply("&#xD800;"), "U+D800"},
        {"reference to U+FFFE", Reply("&#xFFFE;"), "U+FFFE"},
        {"reference past U+10FFFF", Reply("&#x110000;"), "which XML does not allow"},
        {"huge reference", Reply("&#99999999999;"), "malformed character reference"},
        {"empty reference", Reply("&#;"), "malformed character reference"},
        {"reference with a bad digit", Reply("&#12a;"), "malformed character reference"},
        {"upper-case X reference", Reply("&#X41;"), "malformed character reference"},
        {"raw control character", Reply("a\x01" "b"), "U+0001, which XML does not allow"},
        {"raw NUL", Reply(std::string("a\0b", 3)), "U+0000"},
        {"invalid UTF-8", Reply("<string>\xC3(</string>"), "not valid UTF-8"},
        {"overlong UTF-8", Reply("\xC0\xAF"), "not valid UTF-8"},
        {"UTF-8 surrogate", Reply("\xED\xA0\x80"), "not valid UTF-8"},
        {"UTF-8 U+FFFF", Reply("\xEF\xBF\xBF"), "U+FFFF"},
        {"65 levels deep", Reply(Nested(65, "<i4>1</i4>")), "nesting deeper than 64 levels"},
        {"deep structs", Reply([] {
             std::string t = "<i4>1</i4>";
             for (int i = 0; i < 70; ++i) t = "<struct><member><name>a</name><value>" + t + "</value></member></struct>";
             return t;
         }()),
         "nesting deeper than 64 levels"},
        {"unclosed deep nesting", Reply(std::string(100000, '<')), "malformed tag"},
        {"ends inside a string", param + "<string>abc", "ends inside <string>"},
        {"ends inside a tag", param + "<string", "not closed"},
        {"ends after the value", param + "<string>a</string></value>", "ends before </param>"},
        {"mismatched end tag", Reply("<string>x</int>"), "expected </string>"},
        {"unknown type", Reply("<i8>5</i8>"), "unknown value type <i8>"},
        {"int too large", Reply("<i4>2147483648</i4>"), "not a 32-bit integer"},
        {"int with junk", Reply("<int>12abc</int>"), "not a 32-bit integer"},
        {"empty int", Reply("<int></int>"), "not a 32-bit integer"},
        {"int with two signs", Reply("<int>+-5</int>"), "not a 32-bit integer"},
        {"boolean 2", Reply("<boolean>2</boolean>"), "not a boolean"},
        {"double nan", Reply("<double>nan</double>"), "not a double"},
        {"double inf", Reply("<double>inf</double>"), "not a double"},
        {"double hex", Reply("<double>0x10</double>"), "not a double"},
        {"double bare exponent", Reply("<double>1e</double>"), "not a double"},
        {"double out of range", Reply("<double>1e999</double>"), "not a double"},
        {"empty dateTime", Reply("<dateTime.iso8601> </dateTime.iso8601>"), "empty dateTime"},
        {"base64 bad character", Reply("<base64>a$==</base64>"), "invalid base64"},
        {"base64 one digit", Reply("<base64>a</base64>"), "invalid base64"},
        {"base64 data after padding", Reply("<base64>YQ==YQ==</base64>"), "invalid base64"},
        {"nil with text", Reply("<nil>x</nil>"), "text inside <nil>"},
        {"element inside a string", Reply("<string>a<b/>c</string>"), "an element inside <string>"},
        {"text beside a typed value", Reply("x<string>y</string>"), "text beside a typed value"},
        {"two typed values", Reply("<i4>1</i4><i4>2</i4>"), "unexpected element inside <value>"},
        {"text between elements", "<methodResponse><params>junk<param><value/></param></params></methodResponse>",
         "text where <param> was expected"},
        {"empty params", "<methodResponse><params></params></methodResponse>", "params without a param"},
        {"short empty params", "<methodResponse><params/></methodResponse>", "params without a param"},
        {"two params",
         "<methodResponse><params><param><value/></param><param><value/></param></params></methodResponse>",
         "more than one param"},
        {"empty methodResponse", "<methodResponse/>", "an empty methodResponse"},
        {"neither params nor fault", "<methodResponse><foo/></methodResponse>", "expected <params> or <fault>"},
        {"nothing inside", "<methodResponse></methodResponse>", "neither params nor fault"},
        {"fault not a struct", "<methodResponse><fault><value><i4>1</i4></value></fault></methodResponse>",
         "a fault that is not a struct"},
        {"faultCode not a number",
         "<methodResponse><fault><value><struct><member><name>faultCode</name><value>x</value></member></struct>"
         "</value></fault></methodResponse>",
         "a faultCode that is not an integer"},
        {"member without a value", Reply("<struct><member><name>a</name></member></struct>"), "expected <value>"},
        {"member without a name", Reply("<struct><member><value>a</value></member></struct>"), "expected <name>"},
        {"value directly in a struct", Reply("<struct><value>a</value></struct>"), "expected <member>"},
        {"array without data", Reply("<array><value>a</value></array>"), "expected <data>"},
        {"name with markup", Reply("<struct><member><name>a<b/></name><value/></member></struct>"),
         "an element inside <name>"},
        {"something after the root", Reply("x") + "<extra/>", "something after the methodResponse element"},
        {"text after the root", Reply("x") + "tail", "something after the methodResponse element"},
        {"unclosed comment", "<!-- x" + Reply("x"), "a comment is not closed"},
        {"unclosed CDATA", Reply("<string><![CDATA[abc</string>"), "a CDATA section is not closed"},
        {"CDATA end in text", Reply("a]]>b"), "\"]]>\" in text"},
        {"other encoding", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>" + Reply("x"), "not supported"},
        {"unclosed declaration", "<?xml version=\"1.0\"" , "declaration is not closed"},
        {"UTF-16 reply", std::string("\xFF\xFE<\0m\0", 6), "UTF-16"},
        {"attribute without quotes", Reply("<string a=b>x</string>"), "without quotes"},
        {"attribute with a '<'", Reply("<string a=\"<\">x</string>"), "'<' inside an attribute"},
        {"markup declaration inside", Reply("<!ELEMENT x>"), "unexpected markup"},
        {"end tag with junk", Reply("<string>x</string junk>"), "expected </string>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Response response;
        response.fault = true;  // to see that a failed read leaves nothing behind
        std::string error;
        EXPECT_FALSE(ReadResponse(c.body, response, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << "error: " << error;
        EXPECT_LT(error.size(), 120u) << error;
        EXPECT_FALSE(response.fault);
        EXPECT_EQ(response.value.type, Value::Type::Nil);
    }
}

TEST(XmlRpcReader, LimitsAreThoseGiven) {
    Response response;
    std::string error;
    const std::string body = Reply(std::string(1000, 'a'));
    ReadLimits small;
    small.maxBytes = body.size() - 1;
    EXPECT_FALSE(ReadResponse(body, response, error, small));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    small.maxBytes = body.size();
    EXPECT_TRUE(ReadResponse(body, response, error, small)) << error;

    // The default: 16 MiB of reply.
    const std::string big = Reply("<base64>" + std::string(16u * 1024 * 1024, 'A') + "</base64>");
    EXPECT_FALSE(ReadResponse(big, response, error));
    EXPECT_NE(error.find("larger than 16777216 bytes"), std::string::npos) << error;

    ReadLimits shallow;
    shallow.maxDepth = 2;
    EXPECT_TRUE(ReadResponse(Reply(Nested(2, "x")), response, error, shallow)) << error;
    EXPECT_FALSE(ReadResponse(Reply(Nested(3, "x")), response, error, shallow));
    EXPECT_NE(error.find("nesting deeper than 2 levels"), std::string::npos) << error;
}

// Long texts and many members, near the size limit, read correctly (their
// timing is measured by bench/xmlrpc_benchmark).
TEST(XmlRpcReader, LargeRepliesReadWhole) {
    std::string text;
    for (int i = 0; i < 500000; ++i) text += "&amp;&#233;x";
    Response response;
    std::string error;
    ASSERT_TRUE(ReadResponse(Reply("<string>" + text + "</string>"), response, error)) << error;
    EXPECT_EQ(response.value.text.size(), 500000u * 4);

    std::string members;
    for (int i = 0; i < 100000; ++i)
        members += "<member><name>m" + std::to_string(i) + "</name><value><i4>" + std::to_string(i) + "</i4></value></member>";
    ASSERT_TRUE(ReadResponse(Reply("<struct>" + members + "</struct>"), response, error)) << error;
    ASSERT_EQ(response.value.members.size(), 100000u);
    EXPECT_EQ(response.value.members[99999].first, "m99999");
    EXPECT_EQ(response.value.members[99999].second.integer, 99999);
}

TEST(XmlRpcReader, FirstOfDuplicateMembersIsFound) {
    Response response;
    std::string error;
    ASSERT_TRUE(ReadResponse(Reply("<struct><member><name>a</name><value>1</value></member>"
                                   "<member><name>a</name><value>2</value></member></struct>"),
                             response, error))
        << error;
    ASSERT_EQ(response.value.members.size(), 2u);
    EXPECT_EQ(response.value.Member("a")->text, "1");
    EXPECT_EQ(Str("x").Member("a"), nullptr);  // not a struct
}
