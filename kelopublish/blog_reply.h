#pragma once
// The blog list the library hands back to the editor: an XML text that the
// component reads with KeloXmlString (see core/kelo_xml_string.h).

#include <string>
#include <vector>

namespace kelo {

struct BlogEntry {
    std::u16string id, name, address;
};

// Writes <Blogs><Blog_Object><BlogId>..</BlogId><BlogName>..</BlogName>
// <BlogAddress>..</BlogAddress></Blog_Object>...</Blogs> into `buffer`.
// Each value is escaped so that KeloXmlString::GetValue gives it back exactly
// (& < > " ' and non-ASCII included). Only whole Blog_Objects are written:
// the list stops before the first object that would not fit with the closing
// tag and the NUL. The text is always NUL-terminated within `capacity` (an
// empty text when not even "<Blogs></Blogs>" fits); nothing is written when
// `buffer` is null or `capacity` < 1. NUL characters inside a value are left
// out (they would end the text). Returns the number of entries written.
int WriteBlogListReply(const std::vector<BlogEntry>& blogs, char16_t* buffer, int capacity);

} // namespace kelo
