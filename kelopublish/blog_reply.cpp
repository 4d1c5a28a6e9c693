#include "kelopublish/blog_reply.h"

#include <algorithm>

namespace kelo {

namespace {

// The component reads each value with KeloXmlString::GetValue, which finds the
// end tag by searching for '<' and '>' and unescapes the five predefined
// entities only when the value holds none of " ' < >. So all five are
// escaped: the value then holds none of them raw, the unescaping runs, and it
// is the exact inverse of this escaping (the ampersand is restored last).
void AppendEscaped(std::u16string& out, const std::u16string& value) {
    for (char16_t c : value) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&apos;"; break;
        case u'\0': break;  // would end the reply text
        default: out += c;
        }
    }
}

void AppendElement(std::u16string& out, std::u16string_view name, const std::u16string& value) {
    out += u'<';
    out += name;
    out += u'>';
    AppendEscaped(out, value);
    out += u"</";
    out += name;
    out += u'>';
}

constexpr std::u16string_view kOpen = u"<Blogs>";
constexpr std::u16string_view kClose = u"</Blogs>";

} // namespace

int WriteBlogListReply(const std::vector<BlogEntry>& blogs, char16_t* buffer, int capacity) {
    if (!buffer || capacity < 1) return 0;
    const size_t room = static_cast<size_t>(capacity) - 1;  // for the NUL
    buffer[0] = u'\0';
    if (kOpen.size() + kClose.size() > room) return 0;

    std::u16string text(kOpen);
    std::u16string object;
    int written = 0;
    for (const BlogEntry& blog : blogs) {
        object.assign(u"<Blog_Object>");
        AppendElement(object, u"BlogId", blog.id);
        AppendElement(object, u"BlogName", blog.name);
        AppendElement(object, u"BlogAddress", blog.address);
        object += u"</Blog_Object>";
        if (text.size() + object.size() + kClose.size() > room) break;
        text += object;
        ++written;
    }
    text += kClose;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return written;
}

} // namespace kelo
