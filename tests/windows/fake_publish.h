#pragma once
// A publishing library for the editor's in-process tests: it answers
// GetBlogIDs with a reply the test sets and records each PublishToBlogNoGUI
// call. The test loads it as well, so its state lives as long as the test's
// own reference, whatever the editor loads and frees.

#include <string>
#include <vector>

struct FakePublishCall {
    int serviceType = 0;
    std::wstring server, endpoint, imagePath, login, password, blogId, title, htmlBody, blogAddress;
    int draft = 0;
};

struct FakePublishState {
    std::wstring blogReply;       // written into the buffer as is
    bool replyFillsBuffer = false;  // no terminating NUL: the reply's first `capacity` characters
    int blogResult = 0;           // E_FAIL rejects the account
    int publishResult = 0;        // 1 publishes nothing
    int getBlogIdsCalls = 0;
    std::wstring lastLogin;       // of GetBlogIDs
    std::vector<FakePublishCall> published;
};

// Exported by the fake library.
using FakePublishStateFunction = FakePublishState* (*)();
