// The KeloPublish.dll test double, loaded as the editor loads it: a copy in a
// folder of the test's own, scripted and read through the files there.

#include "tests/windows/sim_harness.h"

#include <gtest/gtest.h>

namespace {

using namespace simtest;

using GetBlogIDsFunction = int(__stdcall*)(int, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*, int);
using PublishFunction = int(__stdcall*)(int, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                        const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int, const wchar_t*);

using LastTextFunction = int(__stdcall*)(wchar_t*, int);

class KeloPublishTest : public ::testing::Test {
protected:
    // The build of the double to load: the plain one, or the one with the
    // two optional exports.
    virtual fs::path Built() const { return PublishingDouble(); }

    void SetUp() override {
        fs::copy_file(Built(), folder / "KeloPublish.dll");
        library = ::LoadLibraryW((folder / "KeloPublish.dll").c_str());
        ASSERT_NE(library, nullptr);
        getBlogIDs = reinterpret_cast<GetBlogIDsFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "GetBlogIDs")));
        publish = reinterpret_cast<PublishFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "PublishToBlogNoGUI")));
        ASSERT_NE(getBlogIDs, nullptr);
        ASSERT_NE(publish, nullptr);
    }
    void TearDown() override {
        if (library) ::FreeLibrary(library);
    }
    std::vector<std::string> CallLines() { return Lines(ReadFile(folder / "KeloPublish.calls.jsonl")); }

    TempFolder folder;
    HMODULE library = nullptr;
    GetBlogIDsFunction getBlogIDs = nullptr;
    PublishFunction publish = nullptr;
};

TEST_F(KeloPublishTest, WithoutAReplyTheBlogListFails) {
    wchar_t buffer[8] = L"keep";
    EXPECT_EQ(getBlogIDs(2, L"blog.example", L"/xmlrpc.php", L"ann", L"s\"cr\\et", buffer, 8),
              static_cast<int>(0x80004005));
    EXPECT_STREQ(buffer, L"keep");
    const auto lines = CallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], R"({"export":"GetBlogIDs","serviceType":2,"server":"blog.example","endpoint":"/xmlrpc.php",)"
                        R"("login":"ann","password":"s\"cr\\et","capacity":8,"result":-2147467259,"waitCursor":0})");
}

TEST_F(KeloPublishTest, TheReplyIsWrittenAsUtf16CutToTheBuffer) {
    WriteFile(folder / "KeloPublish.reply.xml", "\xEF\xBB\xBF<Blogs><Blog>Caf\xC3\xA9 \xE2\x82\xAC</Blog></Blogs>");
    std::vector<wchar_t> big(0x100000, L'#');
    EXPECT_EQ(getBlogIDs(2, L"s", L"e", L"l", L"p", big.data(), static_cast<int>(big.size())), 0);
    EXPECT_STREQ(big.data(), L"<Blogs><Blog>Caf\u00e9 \u20ac</Blog></Blogs>");

    wchar_t small[6];
    wmemset(small, L'#', 6);
    EXPECT_EQ(getBlogIDs(2, L"s", L"e", L"l", L"p", small, 6), 0);
    EXPECT_STREQ(small, L"<Blog");  // capacity - 1 characters and the NUL
    EXPECT_EQ(CallLines().size(), 2u);
}

// With KeloPublish.unterminated the reply goes into the buffer with no NUL:
// cut to the whole buffer when longer, and nothing written past its end.
TEST_F(KeloPublishTest, UnterminatedReplyFillsTheBufferWithNoNul) {
    WriteFile(folder / "KeloPublish.reply.xml", "<Blogs>Caf\xC3\xA9</Blogs>");
    WriteFile(folder / "KeloPublish.unterminated", "");
    wchar_t buffer[10];
    wmemset(buffer, L'#', 10);
    EXPECT_EQ(getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 6), 0);
    EXPECT_EQ(std::wstring(buffer, 10), L"<Blogs####");
    wchar_t longer[24];
    wmemset(longer, L'#', 24);
    EXPECT_EQ(getBlogIDs(2, L"s", L"e", L"l", L"p", longer, 24), 0);
    EXPECT_EQ(std::wstring(longer, 24), L"<Blogs>Caf\u00e9</Blogs>#####");
    EXPECT_EQ(CallLines().size(), 2u);
}

// With KeloPublish.accept, only the login it names gets the blog list.
TEST_F(KeloPublishTest, AcceptFileRefusesEveryOtherLogin) {
    WriteFile(folder / "KeloPublish.reply.xml", "<Blogs/>");
    WriteFile(folder / "KeloPublish.accept", "\xEF\xBB\xBF  Zo\xC3\xAB\r\n");
    wchar_t buffer[16] = L"keep";
    const struct { const wchar_t* login; int result; } cases[] = {
        {L"ann", static_cast<int>(0x80004005)}, {L"Zo", static_cast<int>(0x80004005)},
        {L"zo\u00eb", static_cast<int>(0x80004005)}, {nullptr, static_cast<int>(0x80004005)}, {L"Zo\u00eb", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(getBlogIDs(2, L"s", L"e", c.login, L"p", buffer, 16), c.result);
    EXPECT_STREQ(buffer, L"<Blogs/>");
    EXPECT_EQ(CallLines().size(), 5u);
}

TEST_F(KeloPublishTest, PublishReturnsTheScriptedResultAndRecordsEveryArgument) {
    const auto call = [&] {
        return publish(2, L"blog.example", L"/xmlrpc.php", L"C:\\Temp\\Vel1.png", L"ann", L"pw", L"7",
                       L"T\u00eftle \"q\"", L"<p>a\r\nb\t&#37;%s</p>", 1, L"http://blog.example/");
    };
    EXPECT_EQ(call(), 0);  // no result file
    WriteFile(folder / "KeloPublish.result", "1\n");
    EXPECT_EQ(call(), 1);
    WriteFile(folder / "KeloPublish.result", "-5");
    EXPECT_EQ(call(), -5);
    WriteFile(folder / "KeloPublish.result", "published");
    EXPECT_EQ(call(), 0);

    const auto lines = CallLines();
    ASSERT_EQ(lines.size(), 4u);
    const std::string fields =
        R"({"export":"PublishToBlogNoGUI","serviceType":2,"server":"blog.example","endpoint":"/xmlrpc.php",)"
        R"("imagePath":"C:\\Temp\\Vel1.png","login":"ann","password":"pw","blogId":"7","title":"T)" "\xC3\xAF" R"(tle \"q\"",)"
        R"("htmlBody":"<p>a\r\nb\t&#37;%s</p>","draft":1,"blogAddress":"http://blog.example/","result":)";
    EXPECT_EQ(lines[0], fields + "0,\"waitCursor\":0}");
    EXPECT_EQ(lines[1], fields + "1,\"waitCursor\":0}");
    EXPECT_EQ(lines[2], fields + "-5,\"waitCursor\":0}");
    EXPECT_EQ(lines[3].rfind(fields + "0,\"waitCursor\":0,\"resultFileError\":", 0), 0u) << lines[3];
}

TEST_F(KeloPublishTest, NullTextsAreRecordedAsNull) {
    EXPECT_EQ(publish(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), 0);
    const auto lines = CallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(R"("server":null,)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(R"("draft":0,"blogAddress":null,)"), std::string::npos) << lines[0];
}

TEST_F(KeloPublishTest, RecordsWhetherTheCallerShowsTheWaitCursor) {
    HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    wchar_t buffer[8] = {};
    getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 8);
    publish(2, L"s", L"e", L"i", L"l", L"p", L"b", L"t", L"h", 0, L"a");
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 8);
    ::SetCursor(previous);
    const auto lines = CallLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(R"("waitCursor":1)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(R"("waitCursor":1)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(R"("waitCursor":0)"), std::string::npos) << lines[2];
}

TEST_F(KeloPublishTest, ThePlainBuildHasNoOptionalExports) {
    EXPECT_EQ(::GetProcAddress(library, "GetLastPublishError"), nullptr);
    EXPECT_EQ(::GetProcAddress(library, "GetLastPostLink"), nullptr);
}

class KeloPublishLastTextsTest : public KeloPublishTest {
protected:
    fs::path Built() const override { return PublishingDouble(true); }

    void SetUp() override {
        KeloPublishTest::SetUp();
        lastError = reinterpret_cast<LastTextFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "GetLastPublishError")));
        lastLink = reinterpret_cast<LastTextFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "GetLastPostLink")));
        ASSERT_NE(lastError, nullptr);
        ASSERT_NE(lastLink, nullptr);
    }
    // Both texts after the last call, as "error|link".
    std::string Texts() {
        wchar_t error[64], link[64];
        wmemset(error, L'#', 64);
        wmemset(link, L'#', 64);
        const int errorLength = lastError(error, 64), linkLength = lastLink(link, 64);
        EXPECT_EQ(static_cast<size_t>(errorLength), wcslen(error));
        EXPECT_EQ(static_cast<size_t>(linkLength), wcslen(link));
        std::wstring both = std::wstring(error) + L"|" + link;
        return std::string(both.begin(), both.end());
    }
    int Publish(int draft) {
        return publish(2, L"s", L"e", L"i", L"l", L"p", L"b", L"t", L"h", draft, L"http://blog.example/");
    }

    LastTextFunction lastError = nullptr;
    LastTextFunction lastLink = nullptr;
};

// Each call leaves the reason of its failure, or after a published post that
// is no draft, the post's address; a success clears the reason.
TEST_F(KeloPublishLastTextsTest, EachCallLeavesItsReasonOrThePostsAddress) {
    WriteFile(folder / "KeloPublish.error", "\xEF\xBB\xBFThe blog refused the password.\r\n");
    WriteFile(folder / "KeloPublish.link", "http://blog.example/2026/first/\n");
    EXPECT_EQ(Texts(), "|") << "nothing before the first call";

    wchar_t buffer[16] = {};
    getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 16);  // no reply file: refused
    EXPECT_EQ(Texts(), "The blog refused the password.|");
    WriteFile(folder / "KeloPublish.reply.xml", "<Blogs/>");
    getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 16);
    EXPECT_EQ(Texts(), "|");

    EXPECT_EQ(Publish(0), 0);
    EXPECT_EQ(Texts(), "|http://blog.example/2026/first/");
    EXPECT_EQ(Publish(1), 0);
    EXPECT_EQ(Texts(), "|") << "a draft has no public address";
    WriteFile(folder / "KeloPublish.result", "1");
    EXPECT_EQ(Publish(0), 1);
    EXPECT_EQ(Texts(), "The blog refused the password.|");
}

TEST_F(KeloPublishLastTextsTest, TextsAreCutToTheBufferWithTheirNul) {
    WriteFile(folder / "KeloPublish.error", "Nothing answers at blog.example.");
    wchar_t buffer[16] = {};
    getBlogIDs(2, L"s", L"e", L"l", L"p", buffer, 16);
    wchar_t small[8];
    wmemset(small, L'#', 8);
    EXPECT_EQ(lastError(small, 8), 7);
    EXPECT_STREQ(small, L"Nothing");
    EXPECT_EQ(lastError(nullptr, 0), 0);
}

} // namespace
