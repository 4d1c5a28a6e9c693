#include "publishing/blog_list.h"

#include "core/kelo_xml_string.h"

namespace publishing {

namespace {
// LiveJournal journals live at http://<login> followed by this host.
constexpr char16_t kJournalHostSuffix[] = u".livejournal.com";
} // namespace

std::vector<BlogEntry> ReadBlogList(core::StringView reply) {
    std::vector<BlogEntry> blogs;
    KeloXmlString replyText(reply);
    KeloXmlString list;
    int position = 0;
    if (!replyText.GetChild(u"Blogs", list, position)) return blogs;

    // The three texts carry over from one object to the next, and the three
    // reads share one position: a field missing, or standing before the one
    // read ahead of it, keeps the previous object's value.
    BlogEntry entry;
    KeloXmlString object;
    int objectPosition = 0;
    while (list.GetChild(u"Blog_Object", object, objectPosition)) {
        int field = 0;
        object.GetValue(u"BlogId", entry.id, field);
        object.GetValue(u"BlogName", entry.name, field);
        object.GetValue(u"BlogAddress", entry.address, field);
        blogs.push_back(entry);
    }
    return blogs;
}

core::String JournalAddress(core::StringView login) {
    return u"http://" + core::String(login) + kJournalHostSuffix;
}

} // namespace publishing
