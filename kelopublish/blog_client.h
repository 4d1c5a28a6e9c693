#pragma once
// The blog protocol of the library: the blog list, and a post in three calls
// (upload the capture, post the entry, fetch its address), over a Transport.
// Portable: the DLL gives it WinHTTP, the tests a scripted transport.

#include "kelopublish/blog_reply.h"
#include "kelopublish/diagnosis.h"
#include "kelopublish/transport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelo {

struct Account {
    std::u16string server, endpoint, login, password;
};

// Opens the capture for one upload: its size and a source of its bytes.
// Called once per attempt (a redirect sends the upload again). False when
// the file cannot be read.
using CaptureOpener = std::function<bool(std::unique_ptr<xmlrpc::ByteSource>& source, uint64_t& size)>;

struct PostInput {
    std::u16string imagePath;  // its extension gives the media type
    CaptureOpener openCapture;
    std::u16string blogId, title, htmlBody;
    bool draft = false;
    std::chrono::system_clock::time_point now;  // names the uploaded file
};

class BlogClient {
public:
    BlogClient(Transport& transport, Account account);

    // blogger.getUsersBlogs. False with failure() set.
    bool ListBlogs(std::vector<BlogEntry>& blogs);

    // Upload, post, fetch the post's address. True when the post exists on
    // the blog; `link` is then its address (empty for a draft, or when the
    // blog did not give one). Never sends newPost twice.
    bool Publish(const PostInput& post, std::u16string& link);

    const Failure& failure() const { return failure_; }

    // Redirects followed at most for one call.
    static constexpr int kMaxRedirects = 5;
    // Recent posts looked through for a post whose answer was lost.
    static constexpr int kRecentPostsSearched = 20;

private:
    using Build = std::function<std::unique_ptr<xmlrpc::Request>()>;

    bool Endpoint(std::u16string& url);
    bool Discover(std::u16string& url);
    enum class Search { Found, NotThere, CannotTell };

    bool Exchange(std::u16string& url, const Build& build, bool once, bool post, HttpReply& reply);
    bool Call(const Build& build, xmlrpc::Response& response, bool once = false);
    Search FindLostPost(const PostInput& post, const std::string& mediaUrl, std::u16string& postId,
                        std::u16string& link);
    bool Fail(Problem problem, const std::u16string& url = {});

    Transport& transport_;
    Account account_;
    std::u16string endpoint_;  // the XML-RPC address once known (after redirects: where they led)
    Failure failure_;
    HttpReply lastReply_;
};

} // namespace kelo
