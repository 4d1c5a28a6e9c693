#pragma once
// The publishing library KeloPublish.dll as the editor uses it: loaded from
// the accessory folder into the module-wide publishLibrary, called through
// exports fetched by name just before each call, released after a post, on
// Cancel and at module end. No window here: the caller says what went wrong.

#include "core/text.h"
#include "framework/handles.h"
#include "publishing/blog_list.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace publishing {

// Module-wide: the loaded library, empty when none is. It outlives the
// editor that loaded it when the editor closes for another log-in; the next
// editor loads it again.
extern fw::UniqueModule publishLibrary;

// FreeLibrary on publishLibrary, which becomes empty. Nothing when not loaded.
void ReleasePublishLibrary();

struct Account {
    int serviceType = 0;
    core::String server;
    core::String endpoint;
    core::String login;
    core::String password;  // in clear
};

struct PostRequest {
    core::String imagePath;
    core::String blogId;       // may be empty
    core::String title;
    core::String htmlBody;     // with the image tag's two "%s"
    core::String blogAddress;  // may be empty
    bool draft = false;
};

// Why a call did not reach the library.
enum class CallStatus {
    Called,
    NotLoaded,      // no library loaded
    ExportMissing,  // loaded, but without the export
};

// A library may say more than its two results do, through two optional
// exports: GetLastPublishError (the reason the last call failed) and
// GetLastPostLink (the address of the post just made). A library without
// them gives no reason (nullopt) and no link (empty).
struct BlogListReply {
    CallStatus status = CallStatus::Called;
    bool accountRejected = false;  // E_FAIL: the list cannot be had with this account
    std::vector<BlogEntry> blogs;
    std::optional<core::String> reason;  // after a rejection, when the library can say
};

struct PostReply {
    CallStatus status = CallStatus::Called;
    bool published = false;              // any result but 1
    std::optional<core::String> reason;  // after a failure, when the library can say
    core::String link;                   // the post's own address; empty for a draft
};

class BlogClient {
public:
    BlogClient(core::String libraryPath, Account account);

    // LoadLibraryW into publishLibrary; a library still loaded is released first.
    bool Load();
    // GetBlogIDs with the account, the reply read into entries.
    BlogListReply FetchBlogs();
    // PublishToBlogNoGUI with the account and the post.
    PostReply Submit(const PostRequest& post);

private:
    core::String libraryPath_;
    Account account_;
};

} // namespace publishing
