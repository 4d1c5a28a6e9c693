// libFuzzer target: any text as the publishing library's blog-list reply.
// The input is read as UTF-8 (what the test double and most libraries start
// from), so the seeds stay readable.

#include "publishing/blog_list.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const core::String reply = core::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<publishing::BlogEntry> blogs = publishing::ReadBlogList(reply);

    // Every entry comes from an object of its own: no more entries than the
    // reply has start tags of one.
    size_t objects = 0;
    for (size_t at = reply.find(u"<Blog_Object"); at != core::String::npos; at = reply.find(u"<Blog_Object", at + 1)) {
        ++objects;
    }
    if (blogs.size() > objects) __builtin_trap();
    // A field is never longer than the reply it was read from.
    for (const publishing::BlogEntry& blog : blogs) {
        if (blog.id.size() > reply.size() || blog.name.size() > reply.size() || blog.address.size() > reply.size()) {
            __builtin_trap();
        }
    }
    return 0;
}
