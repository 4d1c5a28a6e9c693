#pragma once
// The publishing library's blog list: the reply text of GetBlogIDs read into
// plain entries. Portable: no Win32 here.

#include "core/text.h"

#include <vector>

namespace publishing {

struct BlogEntry {
    core::String id;       // handed back to the library when posting
    core::String name;     // what the editor's list shows
    core::String address;  // the blog's address, the result of a post to it
};

// The "Blog_Object" elements inside the reply's first "Blogs", in reply
// order. Values are read as the settings files read theirs (entity
// references resolved unless the value holds a quote, "<" or ">"). An object
// without one of its three fields, or with them out of order, takes that
// field from the object before it (empty for the first). No "Blogs": empty.
std::vector<BlogEntry> ReadBlogList(core::StringView reply);

// The address of a LiveJournal user's journal, built from the login.
core::String JournalAddress(core::StringView login);

} // namespace publishing
