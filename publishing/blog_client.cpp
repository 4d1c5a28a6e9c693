#include "publishing/blog_client.h"

#include "framework/module.h"
#include "framework/wide.h"

#include <optional>
#include <utility>

namespace publishing {

fw::UniqueModule publishLibrary;

namespace {

constexpr int kReplyCapacity = 0x100000;  // characters, fixed by the library's contract
constexpr int kAccountRejected = static_cast<int>(E_FAIL);
constexpr int kPublishedNothing = 1;
constexpr int kReasonCapacity = 2048;  // characters, with the NUL
constexpr int kLinkCapacity = 4096;

// The exports, as the library defines them (x64: the one Windows calling
// convention; wide texts are NUL-terminated UTF-16, valid during the call).
using GetBlogIDsFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                            const wchar_t* login, const wchar_t* password, wchar_t* buffer,
                                            int capacity);
using PublishToBlogNoGUIFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                                    const wchar_t* imagePath, const wchar_t* login,
                                                    const wchar_t* password, const wchar_t* blogId,
                                                    const wchar_t* title, const wchar_t* htmlBody, int draft,
                                                    const wchar_t* blogAddress);
// The optional exports: the text NUL-terminated and cut to `capacity`, its
// length as the result.
using LastTextFunction = int(__stdcall*)(wchar_t* buffer, int capacity);

// An export of the loaded library, or null with the reason in `status`.
template <class Function>
Function Export(const char* name, CallStatus& status) {
    if (!publishLibrary) {
        status = CallStatus::NotLoaded;
        return nullptr;
    }
    auto function = fw::ProcAddress<Function>(publishLibrary.get(), name);
    status = function ? CallStatus::Called : CallStatus::ExportMissing;
    return function;
}

// The text an optional export gives, or nullopt when the library lacks it.
std::optional<core::String> LastText(const char* name, int capacity) {
    auto function = publishLibrary ? fw::ProcAddress<LastTextFunction>(publishLibrary.get(), name) : nullptr;
    if (!function) return std::nullopt;
    std::vector<wchar_t> buffer(static_cast<size_t>(capacity), L'\0');
    function(buffer.data(), capacity);
    // Read up to the NUL, whatever length the library claims.
    size_t length = 0;
    while (length < buffer.size() && buffer[length] != L'\0') ++length;
    return fw::FromWide(buffer.data(), length);
}

} // namespace

void ReleasePublishLibrary() { publishLibrary.reset(); }

BlogClient::BlogClient(core::String libraryPath, Account account)
    : libraryPath_(std::move(libraryPath)), account_(std::move(account)) {}

bool BlogClient::Load() {
    ReleasePublishLibrary();
    publishLibrary.reset(::LoadLibraryW(fw::W(libraryPath_)));
    return static_cast<bool>(publishLibrary);
}

BlogListReply BlogClient::FetchBlogs() {
    BlogListReply reply;
    auto getBlogIds = Export<GetBlogIDsFunction>("GetBlogIDs", reply.status);
    if (!getBlogIds) return reply;

    core::String text;
    {
        // Zeroed, so a buffer the library leaves alone reads as empty text.
        std::vector<wchar_t> buffer(kReplyCapacity, L'\0');
        const int result = getBlogIds(account_.serviceType, fw::W(account_.server), fw::W(account_.endpoint),
                                      fw::W(account_.login), fw::W(account_.password), buffer.data(),
                                      kReplyCapacity);
        if (result == kAccountRejected) {
            reply.accountRejected = true;
            reply.reason = LastText("GetLastPublishError", kReasonCapacity);
            return reply;
        }
        size_t length = 0;
        while (length < buffer.size() && buffer[length] != L'\0') ++length;
        text = fw::FromWide(buffer.data(), length);
    }
    reply.blogs = ReadBlogList(text);
    return reply;
}

PostReply BlogClient::Submit(const PostRequest& post) {
    PostReply reply;
    auto publish = Export<PublishToBlogNoGUIFunction>("PublishToBlogNoGUI", reply.status);
    if (!publish) return reply;
    const int result = publish(account_.serviceType, fw::W(account_.server), fw::W(account_.endpoint),
                               fw::W(post.imagePath), fw::W(account_.login), fw::W(account_.password),
                               fw::W(post.blogId), fw::W(post.title), fw::W(post.htmlBody), post.draft ? 1 : 0,
                               fw::W(post.blogAddress));
    reply.published = result != kPublishedNothing;
    if (reply.published) {
        reply.link = LastText("GetLastPostLink", kLinkCapacity).value_or(core::String());
    } else {
        reply.reason = LastText("GetLastPublishError", kReasonCapacity);
    }
    return reply;
}

} // namespace publishing
