#include "publishing/blog_list.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using core::String;
using publishing::BlogEntry;

namespace publishing {
bool operator==(const BlogEntry& a, const BlogEntry& b) {
    return a.id == b.id && a.name == b.name && a.address == b.address;
}
void PrintTo(const BlogEntry& entry, std::ostream* out) {
    *out << "{" << core::ToUtf8(entry.id) << ", " << core::ToUtf8(entry.name) << ", " << core::ToUtf8(entry.address)
         << "}";
}
} // namespace publishing

namespace {

String Object(const String& inner) { return u"<Blog_Object>" + inner + u"</Blog_Object>"; }

} // namespace

TEST(ReadBlogList, TableOfReplies) {
    struct Case {
        const char* what;
        String reply;
        std::vector<BlogEntry> expected;
    };
    const Case cases[] = {
        {"three blogs in reply order",
         u"<?xml version=\"1.0\"?>\r\n<Blogs>\r\n" +
             Object(u"<BlogId>11</BlogId><BlogName>Zeta</BlogName><BlogAddress>http://z/</BlogAddress>") +
             Object(u"<BlogId>22</BlogId><BlogName>Alpha</BlogName><BlogAddress>http://a/</BlogAddress>") +
             Object(u"<BlogId>33</BlogId><BlogName>Mid</BlogName><BlogAddress>http://m/</BlogAddress>") +
             u"\r\n</Blogs>",
         {{u"11", u"Zeta", u"http://z/"}, {u"22", u"Alpha", u"http://a/"}, {u"33", u"Mid", u"http://m/"}}},
        {"an entity reference is resolved",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogName>Tom &amp; Co</BlogName><BlogAddress>x</BlogAddress>") +
             u"</Blogs>",
         {{u"1", u"Tom & Co", u"x"}}},
        {"a name holding a tag is kept as written, entity reference included",
         u"<Blogs>" +
             Object(u"<BlogId>1</BlogId><BlogName>Tom &amp; <b>Co</b></BlogName><BlogAddress>x</BlogAddress>") +
             u"</Blogs>",
         {{u"1", u"Tom &amp; <b>Co</b>", u"x"}}},
        {"a missing name is the previous object's, empty for the first",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogAddress>a</BlogAddress>") +
             Object(u"<BlogId>2</BlogId><BlogName>Two</BlogName><BlogAddress>b</BlogAddress>") +
             Object(u"<BlogId>3</BlogId><BlogAddress>c</BlogAddress>") + u"</Blogs>",
         {{u"1", u"", u"a"}, {u"2", u"Two", u"b"}, {u"3", u"Two", u"c"}}},
        {"a name before the id is not seen: the previous name stays",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogName>One</BlogName><BlogAddress>a</BlogAddress>") +
             Object(u"<BlogName>Two</BlogName><BlogId>2</BlogId><BlogAddress>b</BlogAddress>") + u"</Blogs>",
         {{u"1", u"One", u"a"}, {u"2", u"One", u"b"}}},
        {"an address before the name is not seen either",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogName>One</BlogName><BlogAddress>a</BlogAddress>") +
             Object(u"<BlogId>2</BlogId><BlogAddress>b</BlogAddress><BlogName>Two</BlogName>") + u"</Blogs>",
         {{u"1", u"One", u"a"}, {u"2", u"Two", u"a"}}},
        {"an empty object repeats the one before",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogName>One</BlogName><BlogAddress>a</BlogAddress>") +
             u"<Blog_Object/></Blogs>",
         {{u"1", u"One", u"a"}, {u"1", u"One", u"a"}}},
        {"only the first Blogs counts",
         u"<Blogs>" + Object(u"<BlogId>1</BlogId><BlogName>One</BlogName><BlogAddress>a</BlogAddress>") +
             u"</Blogs><Blogs>" + Object(u"<BlogId>2</BlogId><BlogName>Two</BlogName><BlogAddress>b</BlogAddress>") +
             u"</Blogs>",
         {{u"1", u"One", u"a"}}},
        {"objects outside Blogs are ignored",
         Object(u"<BlogId>9</BlogId><BlogName>Out</BlogName><BlogAddress>o</BlogAddress>") + u"<Blogs></Blogs>", {}},
        {"no Blogs", u"<Other>" + Object(u"<BlogId>1</BlogId>") + u"</Other>", {}},
        {"Blogs never closed", u"<Blogs>" + Object(u"<BlogId>1</BlogId>"), {}},
        {"empty reply", u"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(publishing::ReadBlogList(c.reply), c.expected) << c.what;
    }
}

TEST(JournalAddress, IsTheLoginUnderTheJournalHost) {
    EXPECT_EQ(publishing::JournalAddress(u"ann"), u"http://ann.livejournal.com");
}
