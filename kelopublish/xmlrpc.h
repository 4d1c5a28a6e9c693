#pragma once
// XML-RPC as the blog engines speak it: a methodCall written in pieces and
// read out in chunks (the image is streamed from its file as base64, so the
// request never sits whole in memory), and a methodResponse reader for replies
// that come from the network and are not trusted.
//
// Text is UTF-8 on both sides. Nothing here includes <windows.h>.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelo::xmlrpc {

// --- Values read from a reply ---------------------------------------------

struct Value {
    enum class Type { Nil, Boolean, Int, Double, String, DateTime, Base64, Array, Struct };

    // Declared here and defined where Value is complete: `members` holds
    // pairs of Value, which clang's library checks want complete.
    Value();
    ~Value();
    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;

    Type type = Type::Nil;
    bool boolean = false;   // Boolean
    int32_t integer = 0;    // Int (<i4> or <int>)
    double real = 0;        // Double
    std::string text;       // String and DateTime: UTF-8; Base64: the decoded bytes
    std::vector<Value> items;                                 // Array
    std::vector<std::pair<std::string, Value>> members;       // Struct, in document order

    // The first member of that name, or null (also when this is no struct).
    const Value* Member(std::string_view name) const;

    bool IsString() const { return type == Type::String; }
};

// Deep comparison: same type and same content (doubles compare with ==).
bool operator==(const Value& a, const Value& b);
inline bool operator!=(const Value& a, const Value& b) { return !(a == b); }

struct Response {
    bool fault = false;
    Value value;              // the one param, or the fault's struct
    int faultCode = 0;        // when fault
    std::string faultString;  // when fault, UTF-8
};

struct ReadLimits {
    size_t maxBytes = 16u * 1024 * 1024;
    int maxDepth = 64;  // arrays and structs nested in each other
};

// Reads a methodResponse. On success fills `response` (a fault counts as
// success: response.fault tells). On failure returns false and `error` says
// in a few English words what was wrong, e.g. "no methodResponse element",
// "a <!DOCTYPE is not accepted", "nesting deeper than 64 levels". Runs in
// time linear in the size of `body`.
//
// Accepted: an XML declaration (encoding UTF-8, US-ASCII or ISO-8859-1), a
// UTF-8 byte-order mark, comments and whitespace between elements, CDATA
// sections in text, the five predefined entities and numeric character
// references to characters XML allows. Refused: a DTD, any other entity,
// text where an element belongs, unknown value types, invalid UTF-8.
bool ReadResponse(std::string_view body, Response& response, std::string& error, ReadLimits limits = {});

// --- Writing a methodCall ----------------------------------------------------

// Where streamed bytes come from. Read gives up to `capacity` bytes; got == 0
// means the end. False means the source failed.
struct ByteSource {
    virtual ~ByteSource() = default;
    virtual bool Read(char* buffer, size_t capacity, size_t& got) = 0;
};

// A std::FILE* read from its current position; closed on destruction.
class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `path` for binary reading; null when it cannot be opened.
    static std::unique_ptr<FileSource> Open(const char* path);

    bool Read(char* buffer, size_t capacity, size_t& got) override;

private:
    std::FILE* file_;
};

// A methodCall built in pieces. Each top-level value becomes the next param.
// Inside a struct, Member(name) comes before each value. Every error is
// sticky: the first one is kept in error(), later calls do nothing, and
// Finish, Read and ok() report it. Errors: a character XML 1.0 cannot carry
// (controls other than tab, LF and CR; U+FFFE, U+FFFF), invalid UTF-8 or
// UTF-16 (lone surrogates included), unbalanced Begin/End, a struct value
// without a member name, anything added after Finish.
//
//   Request call("metaWeblog.newMediaObject");
//   call.String(blogId).String(login).String(password);
//   call.BeginStruct().Member("name").String(name).Member("type").String(mime)
//       .Member("bits").Base64(FileSource::Open(path), fileSize).EndStruct();
//   if (!call.Finish()) ... call.error();
//   send call.Length() bytes, filled by call.Read(buffer, size, got) until got == 0
class Request {
public:
    explicit Request(std::string_view method);
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    Request& String(std::string_view utf8);
    Request& String(std::u16string_view utf16);
    Request& Int(int32_t value);
    Request& Boolean(bool value);
    Request& BeginStruct();
    Request& Member(std::string_view name);  // UTF-8
    Request& EndStruct();
    Request& BeginArray();
    Request& EndArray();
    // Bytes held by the caller, encoded now.
    Request& Base64(std::string_view bytes);
    // Bytes streamed from `source` while the request is read out: exactly
    // `size` of them, read in chunks whose size is a multiple of 3. A source
    // that ends early or has more to give makes Read fail. The source is
    // destroyed (its file closed) once it has been read to its end.
    Request& Base64(std::unique_ptr<ByteSource> source, uint64_t size);

    // Closes the call. False (with error()) when something was wrong or a
    // struct or array is still open.
    bool Finish();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // The exact number of bytes Read will give in all; valid after Finish,
    // before anything is read.
    uint64_t Length() const;

    // Copies the next bytes of the call into `buffer` (capacity > 0); got == 0
    // at the end. False (with error()) before Finish, after an error, when a
    // source fails or delivers fewer or more bytes than announced. The end is
    // reported only once a streamed source has been found to hold exactly the
    // bytes announced.
    bool Read(char* buffer, size_t capacity, size_t& got);

    // Back to the first byte, to send the call again. Fails (false) once a
    // streamed source has been read from: a caller that must resend then
    // builds the Request again.
    bool Rewind();

private:
    struct Piece;
    enum class Frame { Array, Struct };

    bool BeforeValue();          // opens <value> where the context wants it
    void AfterValue();           // closes what BeforeValue opened
    void Fail(std::string message);
    void Append(std::string_view text);
    bool AppendEscaped(std::string_view utf8);  // false: error set
    bool FillStream(Piece& piece);

    std::vector<Piece> pieces_;
    std::vector<Frame> frames_;
    bool memberPending_ = false;  // Member(name) written, its value not yet
    bool finished_ = false;
    std::string error_;
    uint64_t length_ = 0;

    // Reading position.
    size_t piece_ = 0;
    uint64_t offset_ = 0;  // within the current text piece
    bool streamStarted_ = false;
};

// Base64 of a byte string (standard alphabet, padded, no line breaks).
std::string EncodeBase64(std::string_view bytes);

} // namespace kelo::xmlrpc
