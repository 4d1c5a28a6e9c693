#include "fake_publish.h"

#include <windows.h>

namespace {
FakePublishState state;
std::wstring Text(const wchar_t* text) { return text ? text : L""; }
} // namespace

extern "C" __declspec(dllexport) FakePublishState* FakePublishStateGet() { return &state; }

extern "C" __declspec(dllexport) int __stdcall GetBlogIDs(int, const wchar_t*, const wchar_t*, const wchar_t* login,
                                                          const wchar_t*, wchar_t* buffer, int capacity) {
    ++state.getBlogIdsCalls;
    state.lastLogin = Text(login);
    if (state.blogResult == static_cast<int>(E_FAIL)) return state.blogResult;
    if (state.replyFillsBuffer) {
        state.blogReply.copy(buffer, static_cast<size_t>(capacity));
        return state.blogResult;
    }
    size_t n = state.blogReply.size() < static_cast<size_t>(capacity - 1) ? state.blogReply.size()
                                                                          : static_cast<size_t>(capacity - 1);
    state.blogReply.copy(buffer, n);
    buffer[n] = L'\0';
    return state.blogResult;
}

extern "C" __declspec(dllexport) int __stdcall PublishToBlogNoGUI(int serviceType, const wchar_t* server,
                                                                  const wchar_t* endpoint, const wchar_t* imagePath,
                                                                  const wchar_t* login, const wchar_t* password,
                                                                  const wchar_t* blogId, const wchar_t* title,
                                                                  const wchar_t* htmlBody, int draft,
                                                                  const wchar_t* blogAddress) {
    FakePublishCall call;
    call.serviceType = serviceType;
    call.server = Text(server);
    call.endpoint = Text(endpoint);
    call.imagePath = Text(imagePath);
    call.login = Text(login);
    call.password = Text(password);
    call.blogId = Text(blogId);
    call.title = Text(title);
    call.htmlBody = Text(htmlBody);
    call.draft = draft;
    call.blogAddress = Text(blogAddress);
    state.published.push_back(call);
    return state.publishResult;
}
