#include "kelopublish/blog_reply.h"

#include "core/kelo_xml_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kelo::BlogEntry;
using kelo::WriteBlogListReply;

namespace {

// Reads the reply the way the blog editor does: step into "Blogs", then each
// "Blog_Object" with one position, its three values with a second one.
std::vector<BlogEntry> ReadAsTheEditorDoes(const char16_t* buffer) {
    KeloXmlString reply{core::StringView(buffer)};
    KeloXmlString blogs;
    int position = 0;
    std::vector<BlogEntry> out;
    if (!reply.GetChild(u"Blogs", blogs, position)) return out;
    KeloXmlString object;
    int objectPosition = 0;
    while (blogs.GetChild(u"Blog_Object", object, objectPosition)) {
        BlogEntry entry;
        int p = 0;
        object.GetValue(u"BlogId", entry.id, p);
        object.GetValue(u"BlogName", entry.name, p);
        object.GetValue(u"BlogAddress", entry.address, p);
        out.push_back(entry);
    }
    return out;
}

bool Same(const BlogEntry& a, const BlogEntry& b) {
    return a.id == b.id && a.name == b.name && a.address == b.address;
}

const std::vector<BlogEntry> kAwkward = {
    {u"1", u"Ann & Bob's <caf\u00E9> \"quoted\"", u"https://blog.example/?a=1&b=2"},
    {u"2", u"&amp; &lt; &gt; &quot; &apos; stay as typed", u"https://x.example/"},
    {u"3", u"</BlogName><BlogName>trick", u"<Blog_Object>"},
    {u"4", u"\u65E5\u672C\u8A9E \U0001F600 tabs\tand\nlines", u""},
    {u"", u"", u""},
    {u"6", u"&", u"'"},
    {u"7", u"plain", u"https://plain.example/"},
};

} // namespace

TEST(BlogListReply, EveryValueComesBackExactly) {
    std::vector<char16_t> buffer(1048576, u'x');
    ASSERT_EQ(WriteBlogListReply(kAwkward, buffer.data(), static_cast<int>(buffer.size())), 7);
    const std::vector<BlogEntry> read = ReadAsTheEditorDoes(buffer.data());
    ASSERT_EQ(read.size(), kAwkward.size());
    for (size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Same(read[i], kAwkward[i])) << core::ToUtf8(read[i].name);
    }
    EXPECT_EQ(core::String(buffer.data()).substr(0, 58),
              u"<Blogs><Blog_Object><BlogId>1</BlogId><BlogName>Ann &amp; ");
}

TEST(BlogListReply, NoBlogsIsAnEmptyList) {
    char16_t buffer[32];
    EXPECT_EQ(WriteBlogListReply({}, buffer, 32), 0);
    EXPECT_EQ(core::String(buffer), u"<Blogs></Blogs>");
}

TEST(BlogListReply, NulInsideAValueIsLeftOut) {
    char16_t buffer[256];
    const std::vector<BlogEntry> blogs = {{u"1", core::String(u"a\0b", 3), u"c"}};
    ASSERT_EQ(WriteBlogListReply(blogs, buffer, 256), 1);
    const auto read = ReadAsTheEditorDoes(buffer);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, u"ab");
    EXPECT_EQ(read[0].address, u"c");
}

// Every capacity from nothing to more than enough: the text ends with a NUL
// inside the capacity, nothing past it is touched, and it holds whole objects
// only, the first n of the list.
TEST(BlogListReply, CutToWholeObjectsAtEveryCapacity) {
    std::vector<char16_t> full(4096);
    ASSERT_EQ(WriteBlogListReply(kAwkward, full.data(), 4096), 7);
    const int length = static_cast<int>(core::String(full.data()).size());

    int previous = 0;
    for (int capacity = 0; capacity <= length + 3; ++capacity) {
        SCOPED_TRACE(capacity);
        std::vector<char16_t> buffer(capacity + 8, u'#');
        const int n = WriteBlogListReply(kAwkward, buffer.data(), capacity);
        for (size_t k = capacity; k < buffer.size(); ++k) ASSERT_EQ(buffer[k], u'#') << "written past the capacity";
        if (capacity == 0) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(buffer[0], u'#');
            continue;
        }
        const size_t text = core::StringView(buffer.data(), capacity).find(u'\0');
        ASSERT_NE(text, core::StringView::npos) << "not NUL-terminated";
        EXPECT_GE(n, previous);
        previous = n;
        const auto read = ReadAsTheEditorDoes(buffer.data());
        ASSERT_EQ(static_cast<int>(read.size()), n);
        for (int i = 0; i < n; ++i) EXPECT_TRUE(Same(read[i], kAwkward[i]));
        if (capacity < 16) EXPECT_EQ(text, 0u) << "\"<Blogs></Blogs>\" does not fit: empty text";
        else EXPECT_EQ(core::StringView(buffer.data(), text).substr(text - 8), u"</Blogs>");
    }
    // Exactly enough (text and NUL) holds all seven; one less drops the last.
    std::vector<char16_t> exact(length + 1);
    EXPECT_EQ(WriteBlogListReply(kAwkward, exact.data(), length + 1), 7);
    EXPECT_EQ(WriteBlogListReply(kAwkward, exact.data(), length), 6);
    EXPECT_EQ(WriteBlogListReply(kAwkward, nullptr, 100), 0);
    char16_t one = u'#';
    EXPECT_EQ(WriteBlogListReply(kAwkward, &one, 1), 0);
    EXPECT_EQ(one, u'\0');
}
