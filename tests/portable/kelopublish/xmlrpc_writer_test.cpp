#include "kelopublish/xmlrpc.h"
#include "tests/portable/kelopublish/xmlrpc_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace kelo::xmlrpc;
using namespace kelo::xmlrpc::testing;

namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodCall><methodName>";

// The request's whole text, read in pieces of `chunk`.
std::string Text(Request& request, size_t chunk = 4096) {
    std::string out;
    EXPECT_TRUE(ReadAll(request, out, chunk)) << request.error();
    EXPECT_EQ(out.size(), request.Length());
    return out;
}

// Bytes made on the fly (a pattern that does not repeat every 3 bytes), with
// a record of what was asked for. `deliver` bytes in all, at most `piece` per
// call when given.
class PatternSource : public ByteSource {
public:
    PatternSource(uint64_t deliver, std::vector<size_t>* asked, size_t piece = 0)
        : deliver_(deliver), asked_(asked), piece_(piece) {}

    static char ByteAt(uint64_t i) { return static_cast<char>((i * 7919 + (i >> 9)) & 0xFF); }

    bool Read(char* buffer, size_t capacity, size_t& got) override {
        if (asked_) asked_->push_back(capacity);
        got = static_cast<size_t>(std::min<uint64_t>(capacity, deliver_ - at_));
        if (piece_) got = std::min(got, piece_);
        for (size_t k = 0; k < got; ++k) buffer[k] = ByteAt(at_ + k);
        at_ += got;
        return true;
    }

private:
    uint64_t deliver_;
    uint64_t at_ = 0;
    std::vector<size_t>* asked_;
    size_t piece_;
};

std::string Pattern(uint64_t size) {
    std::string bytes(size, '\0');
    for (uint64_t i = 0; i < size; ++i) bytes[i] = PatternSource::ByteAt(i);
    return bytes;
}

class FailingSource : public ByteSource {
public:
    bool Read(char*, size_t, size_t& got) override {
        got = 0;
        return false;
    }
};

} // namespace

TEST(XmlRpcWriter, WritesTheCallExactly) {
    Request call("metaWeblog.newPost");
    call.String("1").Int(-5).Boolean(true);
    call.BeginStruct().Member("title").String("T").Member("tags").BeginArray().String("a").Int(2).EndArray().EndStruct();
    call.Base64(std::string_view("hi!?"));
    ASSERT_TRUE(call.Finish()) << call.error();
    EXPECT_EQ(Text(call), kHead +
                              "metaWeblog.newPost</methodName><params>"
                              "<param><value><string>1</string></value></param>"
                              "<param><value><i4>-5</i4></value></param>"
                              "<param><value><boolean>1</boolean></value></param>"
                              "<param><value><struct>"
                              "<member><name>title</name><value><string>T</string></value></member>"
                              "<member><name>tags</name><value><array><data><value><string>a</string></value>"
                              "<value><i4>2</i4></value></data></array></value></member>"
                              "</struct></value></param>"
                              "<param><value><base64>aGkhPw==</base64></value></param>"
                              "</params></methodCall>\n");
}

TEST(XmlRpcWriter, EscapesTextAndKeepsNonAscii) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"\"quoted\" 'x'", "\"quoted\" 'x'"},
        {"]]>", "]]&gt;"},
        {"&amp;", "&amp;amp;"},
        {"line\r\nend\ttab", "line&#13;\nend\ttab"},
        {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        Request call("m");
        call.String(c.in);
        ASSERT_TRUE(call.Finish()) << call.error();
        EXPECT_NE(Text(call).find("<string>" + c.out + "</string>"), std::string::npos);
    }
    // UTF-16 in, UTF-8 out, surrogate pairs joined; member names escaped too.
    Request call("m");
    call.String(u"\u00E9\u65E5\U0001F600").BeginStruct().Member("a&b").Int(1).EndStruct();
    ASSERT_TRUE(call.Finish()) << call.error();
    const std::string text = Text(call);
    EXPECT_NE(text.find("<string>\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80</string>"), std::string::npos) << text;
    EXPECT_NE(text.find("<name>a&amp;b</name>"), std::string::npos) << text;
}

TEST(XmlRpcWriter, ErrorsAreStickyAndStopTheRequest) {
    struct Case {
        const char* what;
        std::function<void(Request&)> build;
        const char* reason;
    };
    const Case cases[] = {
        {"a control character", [](Request& r) { r.String("a\x01" "b"); }, "U+0001, a character XML cannot carry"},
        {"NUL", [](Request& r) { r.String(std::string_view("a\0b", 3)); }, "U+0000"},
        {"U+FFFE", [](Request& r) { r.String("\xEF\xBF\xBE"); }, "U+FFFE"},
        {"U+FFFF in UTF-16", [](Request& r) { r.String(u"\uFFFF"); }, "U+FFFF"},
        {"truncated UTF-8", [](Request& r) { r.String("ab\xC3"); }, "not valid UTF-8 (at byte 2)"},
        {"overlong UTF-8", [](Request& r) { r.String("\xC0\x80"); }, "not valid UTF-8"},
        {"UTF-8 surrogate", [](Request& r) { r.String("\xED\xA0\x80"); }, "not valid UTF-8"},
        {"past U+10FFFF", [](Request& r) { r.String("\xF4\x90\x80\x80"); }, "not valid UTF-8"},
        {"lone high surrogate", [](Request& r) { r.String(std::u16string(u"a") + char16_t(0xD800)); },
         "lone surrogate (U+D800)"},
        {"lone low surrogate", [](Request& r) { r.String(std::u16string(1, char16_t(0xDC00)) + u"a"); },
         "lone surrogate (U+DC00)"},
        {"bad member name", [](Request& r) { r.BeginStruct().Member("\x02"); }, "U+0002"},
        {"empty method name", nullptr, "method name is empty"},
        {"EndStruct without BeginStruct", [](Request& r) { r.EndStruct(); }, "EndStruct without BeginStruct"},
        {"EndArray in a struct", [](Request& r) { r.BeginStruct().EndArray(); }, "EndArray without BeginArray"},
        {"EndStruct in an array", [](Request& r) { r.BeginArray().EndStruct(); }, "EndStruct without BeginStruct"},
        {"struct left open", [](Request& r) { r.BeginStruct(); }, "a struct is still open"},
        {"array left open", [](Request& r) { r.BeginStruct().Member("a").BeginArray(); }, "an array is still open"},
        {"value without a member name", [](Request& r) { r.BeginStruct().Int(1); }, "without a member name"},
        {"member without a value", [](Request& r) { r.BeginStruct().Member("a").EndStruct(); }, "without a value"},
        {"two names in a row", [](Request& r) { r.BeginStruct().Member("a").Member("b"); }, "without a value"},
        {"member outside a struct", [](Request& r) { r.Member("a"); }, "outside a struct"},
        {"no source", [](Request& r) { r.Base64(nullptr, 3); }, "without a source"},
        {"value after Finish", [](Request& r) { r.Finish(); r.Int(1); }, "after Finish"},
        {"the first error is kept", [](Request& r) { r.String("\x01"); r.EndArray(); }, "U+0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Request call(c.build ? "m" : "");
        if (c.build) c.build(call);
        EXPECT_FALSE(call.Finish());
        EXPECT_FALSE(call.ok());
        EXPECT_NE(call.error().find(c.reason), std::string::npos) << call.error();
        char buffer[64];
        size_t got = 99;
        EXPECT_FALSE(call.Read(buffer, sizeof buffer, got));
        EXPECT_EQ(got, 0u);
    }
    Request unfinished("m");
    char buffer[8];
    size_t got = 0;
    EXPECT_FALSE(unfinished.Read(buffer, sizeof buffer, got));
    EXPECT_NE(unfinished.error().find("before Finish"), std::string::npos);
    Request finished("m");
    ASSERT_TRUE(finished.Finish());
    EXPECT_FALSE(finished.Read(buffer, 0, got)) << "no room is not the end";
}

TEST(XmlRpcWriter, LengthIsExactForAnyReadSize) {
    for (size_t chunk : {size_t(1), size_t(7), size_t(4096)}) {
        SCOPED_TRACE(chunk);
        Request call("wp.test");
        call.String("\xC3\xA9&").BeginArray().Int(1).EndArray();
        call.Base64(std::make_unique<PatternSource>(100001, nullptr), 100001);
        call.String("after");
        ASSERT_TRUE(call.Finish());
        const uint64_t announced = call.Length();
        EXPECT_EQ(Text(call, chunk).size(), announced);
    }
}

TEST(XmlRpcWriter, LargeSourceIsStreamedInBoundedChunks) {
    const uint64_t size = 20u * 1024 * 1024 + 1;  // not a multiple of 3: the end is padded
    std::vector<size_t> asked;
    Request streamed("metaWeblog.newMediaObject");
    streamed.BeginStruct().Member("name").String("a.png").Member("bits");
    streamed.Base64(std::make_unique<PatternSource>(size, &asked), size).EndStruct();
    ASSERT_TRUE(streamed.Finish());

    const std::string bytes = Pattern(size);
    Request whole("metaWeblog.newMediaObject");
    whole.BeginStruct().Member("name").String("a.png").Member("bits");
    whole.Base64(bytes).EndStruct();
    ASSERT_TRUE(whole.Finish());

    ASSERT_EQ(streamed.Length(), whole.Length());
    EXPECT_TRUE(asked.empty()) << "nothing is read before the request is";
    const std::string out = Text(streamed, 8192);
    EXPECT_TRUE(out == Text(whole)) << "the streamed request differs from the one encoded in memory";

    ASSERT_GT(asked.size(), 400u);
    uint64_t total = 0;
    for (size_t n : asked) {
        EXPECT_EQ(n % 3, 0u);
        EXPECT_LE(n, 48u * 1024);
        total += n;
    }
    EXPECT_LE(total, size + 2 + 3);  // the last chunk rounded up, and the check for more

    // What the reader decodes from it is the source's bytes.
    Response response;
    std::string error;
    ReadLimits limits;
    limits.maxBytes = out.size();
    ASSERT_TRUE(ReadResponse(CallAsResponse(out), response, error, limits)) << error;
    EXPECT_TRUE(response.value.Member("bits")->text == bytes);
}

TEST(XmlRpcWriter, SourceInSmallUnevenPiecesGivesTheSameText) {
    for (size_t piece : {size_t(1), size_t(2), size_t(5), size_t(49151)}) {
        SCOPED_TRACE(piece);
        Request uneven("m");
        uneven.Base64(std::make_unique<PatternSource>(150000, nullptr, piece), 150000);
        ASSERT_TRUE(uneven.Finish());
        Request whole("m");
        whole.Base64(Pattern(150000));
        ASSERT_TRUE(whole.Finish());
        EXPECT_TRUE(Text(uneven, 1000) == Text(whole));
    }
}

TEST(XmlRpcWriter, SourceOfTheWrongLengthIsAnError) {
    struct Case {
        const char* what;
        uint64_t announced, delivered;
        const char* reason;
    };
    const Case cases[] = {
        {"one byte short", 100000, 99999, "ended after 99999 of 100000 bytes"},
        {"empty", 10, 0, "ended after 0 of 10 bytes"},
        {"one byte more", 99999, 100000, "more than the 99999 bytes announced"},
        {"more within the rounding", 100000, 100001, "more than the 100000 bytes announced"},
        {"nothing announced, something there", 0, 1, "more than the 0 bytes announced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Request call("m");
        call.Base64(std::make_unique<PatternSource>(c.delivered, nullptr), c.announced);
        ASSERT_TRUE(call.Finish());
        std::string out;
        EXPECT_FALSE(ReadAll(call, out, 1000));
        EXPECT_NE(call.error().find(c.reason), std::string::npos) << call.error();
        EXPECT_LT(out.size(), call.Length()) << "the end is never reached";
        size_t got = 1;
        char buffer[16];
        EXPECT_FALSE(call.Read(buffer, sizeof buffer, got));
        EXPECT_EQ(got, 0u);
    }
    Request failing("m");
    failing.Base64(std::make_unique<FailingSource>(), 10);
    ASSERT_TRUE(failing.Finish());
    std::string out;
    EXPECT_FALSE(ReadAll(failing, out));
    EXPECT_NE(failing.error().find("reading the file to upload failed"), std::string::npos) << failing.error();
}

TEST(XmlRpcWriter, StreamsAFile) {
    const auto path = std::filesystem::temp_directory_path() / "velluma_xmlrpc_writer_test.bin";
    const std::string bytes = Pattern(70001);
    {
        std::FILE* file = std::fopen(path.string().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
    }
    Request call("m");
    call.Base64(FileSource::Open(path.string().c_str()), bytes.size());
    ASSERT_TRUE(call.Finish());
    const std::string out = Text(call, 3000);
    // Read to its end, the file is closed: it can go while the request lives
    // on (on Windows an open file could not be removed).
    std::error_code removeError;
    EXPECT_TRUE(std::filesystem::remove(path, removeError)) << removeError.message();
    EXPECT_NE(out.find("<base64>" + EncodeBase64(bytes) + "</base64>"), std::string::npos);
    EXPECT_EQ(FileSource::Open((path.string() + ".missing").c_str()), nullptr);
}

TEST(XmlRpcWriter, RewindRepeatsTheTextUntilAStreamIsRead) {
    Request call("m");
    call.String("x").Base64(std::string_view("abc"));
    ASSERT_TRUE(call.Finish());
    const std::string first = Text(call, 5);
    ASSERT_TRUE(call.Rewind());
    EXPECT_EQ(Text(call, 5), first);

    Request streamed("m");
    streamed.Base64(std::make_unique<PatternSource>(30, nullptr), 30);
    ASSERT_TRUE(streamed.Finish());
    EXPECT_TRUE(streamed.Rewind()) << "nothing read yet";
    Text(streamed);
    EXPECT_FALSE(streamed.Rewind());
}

TEST(XmlRpcWriter, WhatIsWrittenReadsBackEqual) {
    const std::string awkward = "<&>\"' ]]> \r\n\t caf\xC3\xA9 \xF0\x9F\x98\x80 &amp; &#37; %s";
    Request call("m");
    call.BeginStruct()
        .Member(awkward).String(awkward)
        .Member("empty").String("")
        .Member("spaces").String("  ")
        .Member("n").Int(-2147483647 - 1)
        .Member("b").Boolean(false)
        .Member("bytes").Base64(std::string_view("\x00\xFF\r\n", 4))
        .Member("list").BeginArray().BeginStruct().EndStruct().BeginArray().EndArray().String(u"\u00E9").EndArray()
        .EndStruct();
    ASSERT_TRUE(call.Finish()) << call.error();
    Response response;
    std::string error;
    ASSERT_TRUE(ReadResponse(CallAsResponse(Text(call)), response, error)) << error;
    const Value expected = Obj({{awkward, Str(awkward)},
                                {"empty", Str("")},
                                {"spaces", Str("  ")},
                                {"n", Int(-2147483647 - 1)},
                                {"b", Bool(false)},
                                {"bytes", Bytes(std::string("\x00\xFF\r\n", 4))},
                                {"list", Arr({Obj({}), Arr({}), Str("\xC3\xA9")})}});
    EXPECT_TRUE(response.value == expected);
}
