// KeloPublish.dll: the publishing library's exports. Each is a thin shell
// around the blog client: texts in, the result out, and the outcome kept for
// GetLastPublishError and GetLastPostLink (per process; the last call wins).
//
// Calling convention: the exports are declared __stdcall, as the component's
// publishing client (publishing/blog_client.cpp) calls them; on x64 both sides use the one
// Windows convention, and the .def file exports the plain names.

#include "kelopublish/blog_client.h"
#include "kelopublish/winhttp_transport_win.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <string>

namespace {

constexpr int kSelfHostedService = 2;

std::u16string Text(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

// The outcome of the last call, for the two optional exports.
struct LastOutcome {
    std::mutex lock;
    std::u16string error, link;

    void Set(std::u16string newError, std::u16string newLink) {
        std::lock_guard<std::mutex> guard(lock);
        error = std::move(newError);
        link = std::move(newLink);
    }
    int Copy(std::u16string LastOutcome::*which, wchar_t* buffer, int capacity) {
        std::lock_guard<std::mutex> guard(lock);
        const std::u16string& text = this->*which;
        if (!buffer || capacity <= 0) return static_cast<int>(text.size());
        const size_t length = std::min(text.size(), static_cast<size_t>(capacity) - 1);
        std::copy_n(text.data(), length, reinterpret_cast<char16_t*>(buffer));
        buffer[length] = L'\0';
        return static_cast<int>(length);
    }
};

LastOutcome& Last() {
    static LastOutcome outcome;
    return outcome;
}

std::u16string Unsupported() {
    kelo::Failure failure;
    failure.problem = kelo::Problem::UnsupportedService;
    return kelo::Describe(failure);
}

// The capture, read through a file handle in the pieces the request asks for.
class CaptureFile : public kelo::xmlrpc::ByteSource {
public:
    explicit CaptureFile(HANDLE file) : file_(file) {}
    ~CaptureFile() override { ::CloseHandle(file_); }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    bool Read(char* buffer, size_t capacity, size_t& got) override {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(capacity, 1u << 30));
        if (!::ReadFile(file_, buffer, want, &read, nullptr)) return false;
        got = read;
        return true;
    }

private:
    HANDLE file_;
};

kelo::CaptureOpener CaptureOpenerFor(const std::u16string& path) {
    return [path](std::unique_ptr<kelo::xmlrpc::ByteSource>& source, uint64_t& size) {
        HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER length{};
        if (!::GetFileSizeEx(file, &length) || length.QuadPart <= 0) {
            ::CloseHandle(file);
            return false;
        }
        size = static_cast<uint64_t>(length.QuadPart);
        source = std::make_unique<CaptureFile>(file);
        return true;
    };
}

std::u16string Internal() {
    return u"The publishing library failed unexpectedly (out of memory, or an error of its own). Look at the blog "
           u"before posting again.";
}

} // namespace

extern "C" int __stdcall GetBlogIDs(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                    const wchar_t* login, const wchar_t* password, wchar_t* buffer, int capacity) {
    const int failed = static_cast<int>(E_FAIL);
    try {
        if (serviceType != kSelfHostedService) {
            Last().Set(Unsupported(), {});
            return failed;
        }
        kelo::WinHttpTransport transport;
        kelo::BlogClient client(transport, {Text(server), Text(endpoint), Text(login), Text(password)});
        std::vector<kelo::BlogEntry> blogs;
        if (!client.ListBlogs(blogs)) {
            Last().Set(kelo::Describe(client.failure()), {});
            return failed;
        }
        kelo::WriteBlogListReply(blogs, reinterpret_cast<char16_t*>(buffer), capacity);
        Last().Set({}, {});
        return 0;
    } catch (...) {
        Last().Set(Internal(), {});
        return failed;
    }
}

extern "C" int __stdcall PublishToBlogNoGUI(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                            const wchar_t* imagePath, const wchar_t* login, const wchar_t* password,
                                            const wchar_t* blogId, const wchar_t* title, const wchar_t* htmlBody,
                                            int draft, const wchar_t* /*blogAddress*/) {
    constexpr int kPublished = 0, kNothingPublished = 1;
    try {
        if (serviceType != kSelfHostedService) {
            Last().Set(Unsupported(), {});
            return kNothingPublished;
        }
        kelo::WinHttpTransport transport;
        kelo::BlogClient client(transport, {Text(server), Text(endpoint), Text(login), Text(password)});
        kelo::PostInput post;
        post.imagePath = Text(imagePath);
        post.openCapture = CaptureOpenerFor(post.imagePath);
        post.blogId = Text(blogId);
        post.title = Text(title);
        post.htmlBody = Text(htmlBody);
        post.draft = draft != 0;
        post.now = std::chrono::system_clock::now();
        std::u16string link;
        if (!client.Publish(post, link)) {
            Last().Set(kelo::Describe(client.failure()), {});
            return kNothingPublished;
        }
        Last().Set({}, post.draft ? std::u16string() : link);
        return kPublished;
    } catch (...) {
        Last().Set(Internal(), {});
        return kNothingPublished;
    }
}

extern "C" int __stdcall GetLastPublishError(wchar_t* buffer, int capacity) {
    return Last().Copy(&LastOutcome::error, buffer, capacity);
}

extern "C" int __stdcall GetLastPostLink(wchar_t* buffer, int capacity) {
    return Last().Copy(&LastOutcome::link, buffer, capacity);
}
