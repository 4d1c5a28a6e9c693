#include "kelopublish/xmlrpc.h"

#include "core/text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace kelo::xmlrpc {

// --- Shared helpers --------------------------------------------------------------

namespace {

// Characters XML 1.0 can carry: tab, LF, CR, U+0020..U+D7FF, U+E000..U+FFFD,
// U+10000..U+10FFFF.
bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Decodes one UTF-8 sequence at text[i]. Returns its length, or 0 when it is
// not well-formed (overlong forms, surrogates and values past U+10FFFF
// included).
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t& c) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    const auto cont = [&](size_t k) { return k < text.size() && (byte(k) & 0xC0) == 0x80; };
    if (b < 0x80) {
        c = b;
        return 1;
    }
    if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
        c = ((b & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
        return 2;
    }
    if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
        c = ((b & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
        if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return 0;
        return 3;
    }
    if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
        c = ((b & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) | ((byte(i + 2) & 0x3Fu) << 6) | (byte(i + 3) & 0x3Fu);
        if (c < 0x10000 || c > 0x10FFFF) return 0;
        return 4;
    }
    return 0;
}

void AppendUtf8(std::string& out, uint32_t c) { core::AppendUtf8(out, c); }

std::string CodePointName(uint32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Encodes `size` bytes; `size` must be a multiple of 3 unless it is the end.
void EncodeBase64Into(std::string& out, const unsigned char* in, size_t size) {
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t n = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (size - i == 1) {
        const uint32_t n = uint32_t(in[i]) << 16;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += "==";
    } else if (size - i == 2) {
        const uint32_t n = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8);
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += '=';
    }
}

uint64_t Base64Length(uint64_t size) {
    return (size + 2) / 3 * 4;
}

} // namespace

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve(Base64Length(bytes.size()));
    EncodeBase64Into(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out;
}

// --- Value -----------------------------------------------------------------------

Value::Value() = default;
Value::~Value() = default;
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;

const Value* Value::Member(std::string_view name) const {
    if (type != Type::Struct) return nullptr;
    for (const auto& member : members)
        if (member.first == name) return &member.second;
    return nullptr;
}

bool operator==(const Value& a, const Value& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
    case Value::Type::Nil: return true;
    case Value::Type::Boolean: return a.boolean == b.boolean;
    case Value::Type::Int: return a.integer == b.integer;
    case Value::Type::Double: return a.real == b.real;
    case Value::Type::String:
    case Value::Type::DateTime:
    case Value::Type::Base64: return a.text == b.text;
    case Value::Type::Array: return a.items == b.items;
    case Value::Type::Struct: return a.members == b.members;
    }
    return false;
}

// --- FileSource ------------------------------------------------------------------

FileSource::~FileSource() {
    if (file_) std::fclose(file_);
}

std::unique_ptr<FileSource> FileSource::Open(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    return std::make_unique<FileSource>(file);
}

bool FileSource::Read(char* buffer, size_t capacity, size_t& got) {
    got = 0;
    if (!file_) return false;
    got = std::fread(buffer, 1, capacity, file_);
    return got == capacity || !std::ferror(file_);
}

// --- Request ---------------------------------------------------------------------

namespace {

// Source bytes read at a time: a multiple of 3, so that every chunk but the
// last encodes without padding.
constexpr size_t kStreamChunk = 48 * 1024;
static_assert(kStreamChunk % 3 == 0);

} // namespace

struct Request::Piece {
    bool streamed = false;  // else a text piece
    std::string text;
    std::unique_ptr<ByteSource> source;  // released once it has been read to its end
    uint64_t size = 0;      // bytes the source must deliver
    uint64_t consumed = 0;  // bytes it has delivered
    std::string raw;        // source bytes not yet encoded (0..2 between chunks)
    std::string encoded;    // base64 not yet handed out
    size_t encodedAt = 0;
    bool done = false;
};

Request::Request(std::string_view method) {
    Append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodCall><methodName>");
    if (method.empty()) Fail("the method name is empty");
    AppendEscaped(method);
    Append("</methodName><params>");
}

Request::~Request() = default;

void Request::Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

void Request::Append(std::string_view text) {
    if (pieces_.empty() || pieces_.back().streamed) pieces_.emplace_back();
    pieces_.back().text += text;
}

bool Request::AppendEscaped(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = 0;
        const size_t n = DecodeUtf8(utf8, i, c);
        if (n == 0) {
            Fail("the text is not valid UTF-8 (at byte " + std::to_string(i) + ")");
            return false;
        }
        if (!IsXmlChar(c)) {
            Fail("the text holds " + CodePointName(c) + ", a character XML cannot carry");
            return false;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;  // keeps "]]>" out of the text
        case '\r': out += "&#13;"; break;  // a raw CR would come back as LF
        default: out.append(utf8.substr(i, n));
        }
        i += n;
    }
    Append(out);
    return true;
}

bool Request::BeforeValue() {
    if (finished_) Fail("a value was added after Finish");
    if (!ok()) return false;
    if (frames_.empty()) {
        Append("<param><value>");
    } else if (frames_.back() == Frame::Array) {
        Append("<value>");
    } else {
        if (!memberPending_) {
            Fail("a struct value without a member name");
            return false;
        }
        memberPending_ = false;
        Append("<value>");
    }
    return true;
}

void Request::AfterValue() {
    if (frames_.empty()) Append("</value></param>");
    else if (frames_.back() == Frame::Array) Append("</value>");
    else Append("</value></member>");
}

Request& Request::String(std::string_view utf8) {
    if (!BeforeValue()) return *this;
    Append("<string>");
    if (!AppendEscaped(utf8)) return *this;
    Append("</string>");
    AfterValue();
    return *this;
}

Request& Request::String(std::u16string_view utf16) {
    std::string utf8;
    utf8.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (finished_) Fail("a value was added after Finish");
            Fail("the text holds a lone surrogate (" + CodePointName(c) + ")");
            return *this;
        }
        AppendUtf8(utf8, c);
    }
    return String(std::string_view(utf8));
}

Request& Request::Int(int32_t value) {
    if (!BeforeValue()) return *this;
    Append("<i4>" + std::to_string(value) + "</i4>");
    AfterValue();
    return *this;
}

Request& Request::Boolean(bool value) {
    if (!BeforeValue()) return *this;
    Append(value ? "<boolean>1</boolean>" : "<boolean>0</boolean>");
    AfterValue();
    return *this;
}

Request& Request::BeginStruct() {
    if (!BeforeValue()) return *this;
    Append("<struct>");
    frames_.push_back(Frame::Struct);
    return *this;
}

Request& Request::Member(std::string_view name) {
    if (finished_) Fail("a member was added after Finish");
    if (!ok()) return *this;
    if (frames_.empty() || frames_.back() != Frame::Struct) {
        Fail("a member name outside a struct");
    } else if (memberPending_) {
        Fail("a member name without a value before it");
    } else {
        Append("<member><name>");
        if (AppendEscaped(name)) {
            Append("</name>");
            memberPending_ = true;
        }
    }
    return *this;
}

Request& Request::EndStruct() {
    if (finished_) Fail("EndStruct after Finish");
    if (!ok()) return *this;
    if (frames_.empty() || frames_.back() != Frame::Struct) {
        Fail("EndStruct without BeginStruct");
    } else if (memberPending_) {
        Fail("a struct member without a value");
    } else {
        Append("</struct>");
        frames_.pop_back();
        AfterValue();
    }
    return *this;
}

Request& Request::BeginArray() {
    if (!BeforeValue()) return *this;
    Append("<array><data>");
    frames_.push_back(Frame::Array);
    return *this;
}

Request& Request::EndArray() {
    if (finished_) Fail("EndArray after Finish");
    if (!ok()) return *this;
    if (frames_.empty() || frames_.back() != Frame::Array) {
        Fail("EndArray without BeginArray");
    } else {
        Append("</data></array>");
        frames_.pop_back();
        AfterValue();
    }
    return *this;
}

Request& Request::Base64(std::string_view bytes) {
    if (!BeforeValue()) return *this;
    Append("<base64>");
    Append(EncodeBase64(bytes));
    Append("</base64>");
    AfterValue();
    return *this;
}

Request& Request::Base64(std::unique_ptr<ByteSource> source, uint64_t size) {
    if (!source) {
        if (finished_) Fail("a value was added after Finish");
        Fail("a base64 value without a source");
        return *this;
    }
    if (!BeforeValue()) return *this;
    Append("<base64>");
    Piece piece;
    piece.streamed = true;
    piece.source = std::move(source);
    piece.size = size;
    pieces_.push_back(std::move(piece));
    Append("</base64>");
    AfterValue();
    return *this;
}

bool Request::Finish() {
    if (finished_ || !ok()) return ok();
    if (!frames_.empty()) {
        Fail(frames_.back() == Frame::Struct ? "a struct is still open" : "an array is still open");
        return false;
    }
    Append("</params></methodCall>\n");
    finished_ = true;
    return true;
}

uint64_t Request::Length() const {
    uint64_t length = 0;
    for (const Piece& piece : pieces_) length += piece.streamed ? Base64Length(piece.size) : piece.text.size();
    return length;
}

// Reads the next chunk of the source and encodes it. At the end of the
// announced size the source is asked once more, to catch one that is longer.
bool Request::FillStream(Piece& piece) {
    piece.encoded.clear();
    piece.encodedAt = 0;
    if (piece.done) return true;
    const uint64_t remaining = piece.size - piece.consumed;
    if (remaining > 0) {
        // Ask for a multiple of 3 that does not run past the announced size
        // by more than the rounding.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kStreamChunk, (remaining + 2) / 3 * 3));
        const size_t had = piece.raw.size();
        piece.raw.resize(had + want);
        size_t got = 0;
        if (!piece.source->Read(piece.raw.data() + had, want, got) || got > want) {
            piece.raw.resize(had);
            Fail("reading the file to upload failed");
            return false;
        }
        piece.raw.resize(had + got);
        piece.consumed += got;
        if (got == 0) {
            Fail("the file to upload ended after " + std::to_string(piece.consumed) + " of " +
                 std::to_string(piece.size) + " bytes");
            return false;
        }
        if (piece.consumed > piece.size) {
            Fail("the file to upload holds more than the " + std::to_string(piece.size) + " bytes announced");
            return false;
        }
    }
    if (piece.consumed == piece.size) {
        char probe[3];
        size_t extra = 0;
        if (!piece.source->Read(probe, sizeof probe, extra)) {
            Fail("reading the file to upload failed");
            return false;
        }
        if (extra > 0) {
            Fail("the file to upload holds more than the " + std::to_string(piece.size) + " bytes announced");
            return false;
        }
        EncodeBase64Into(piece.encoded, reinterpret_cast<const unsigned char*>(piece.raw.data()), piece.raw.size());
        piece.raw.clear();
        piece.done = true;
        piece.source.reset();  // the file is closed as soon as it has been read
        return true;
    }
    const size_t whole = piece.raw.size() / 3 * 3;
    EncodeBase64Into(piece.encoded, reinterpret_cast<const unsigned char*>(piece.raw.data()), whole);
    piece.raw.erase(0, whole);
    return true;
}

bool Request::Read(char* buffer, size_t capacity, size_t& got) {
    got = 0;
    if (!finished_) Fail("the request was read before Finish");
    if (capacity == 0) Fail("the request was read into no room");  // got == 0 would read as the end
    if (!ok()) return false;
    while (got < capacity && piece_ < pieces_.size()) {
        Piece& piece = pieces_[piece_];
        if (!piece.streamed) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(capacity - got, piece.text.size() - offset_));
            std::memcpy(buffer + got, piece.text.data() + offset_, n);
            got += n;
            offset_ += n;
            if (offset_ == piece.text.size()) {
                ++piece_;
                offset_ = 0;
            }
            continue;
        }
        streamStarted_ = true;
        if (piece.encodedAt == piece.encoded.size()) {
            if (piece.done) {
                ++piece_;
                continue;
            }
            if (!FillStream(piece)) {
                piece.source.reset();  // nothing more is read from it
                got = 0;
                return false;
            }
        }
        const size_t n = std::min(capacity - got, piece.encoded.size() - piece.encodedAt);
        std::memcpy(buffer + got, piece.encoded.data() + piece.encodedAt, n);
        got += n;
        piece.encodedAt += n;
    }
    return true;
}

bool Request::Rewind() {
    if (streamStarted_) return false;
    piece_ = 0;
    offset_ = 0;
    return true;
}

// --- Reading a methodResponse -------------------------------------------------

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == ':';
}

std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// A piece of untrusted text for an error message: short and printable.
std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text.substr(0, 24)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > 24) out += "...";
    return out + "\"";
}

class Reader {
public:
    Reader(std::string_view text, int maxDepth, std::string& error) : s_(text), maxDepth_(maxDepth), error_(error) {}

    bool Document(Response& response);

private:
    bool Fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
        return false;
    }
    bool AtEnd() const { return i_ >= s_.size(); }
    bool LookingAt(std::string_view what) const { return s_.compare(i_, what.size(), what) == 0; }

    bool SkipMisc();
    bool StartTag(std::string_view& name, bool& empty);
    bool Expect(std::string_view name, bool& empty);
    bool ExpectOpen(std::string_view name);
    bool ExpectEnd(std::string_view name);
    bool Text(std::string& out, bool& onlySpace);
    bool ElementText(std::string_view name, bool empty, std::string& out);
    bool ValueContent(Value& value, int depth);
    bool TypedValue(std::string_view type, bool empty, Value& value, int depth);
    bool Struct(Value& value, int depth);
    bool Array(Value& value, int depth);

    std::string_view s_;
    size_t i_ = 0;
    int maxDepth_;
    std::string& error_;
};

// Whitespace, comments and processing instructions, where markup may go.
bool Reader::SkipMisc() {
    for (;;) {
        while (!AtEnd() && IsSpace(s_[i_])) ++i_;
        if (LookingAt("<!--")) {
            const size_t end = s_.find("-->", i_ + 4);
            if (end == std::string_view::npos) return Fail("a comment is not closed");
            i_ = end + 3;
        } else if (LookingAt("<?")) {
            const size_t end = s_.find("?>", i_ + 2);
            if (end == std::string_view::npos) return Fail("a processing instruction is not closed");
            i_ = end + 2;
        } else if (LookingAt("<!DOCTYPE") || LookingAt("<!doctype")) {
            return Fail("a <!DOCTYPE is not accepted");
        } else {
            return true;
        }
    }
}

// At '<': reads a start tag. Attributes are checked for form and ignored.
bool Reader::StartTag(std::string_view& name, bool& empty) {
    if (AtEnd() || s_[i_] != '<') return Fail("expected an element");
    size_t p = i_ + 1;
    const size_t start = p;
    while (p < s_.size() && IsNameChar(s_[p])) ++p;
    name = s_.substr(start, p - start);
    if (name.empty()) {
        if (p < s_.size() && s_[p] == '!') return Fail("unexpected markup " + Quote(s_.substr(i_, 12)));
        return Fail("a malformed tag");
    }
    for (;;) {
        const size_t before = p;
        while (p < s_.size() && IsSpace(s_[p])) ++p;
        if (p >= s_.size()) return Fail("a tag is not closed");
        if (s_[p] == '>') {
            empty = false;
            i_ = p + 1;
            return true;
        }
        if (s_.compare(p, 2, "/>") == 0) {
            empty = true;
            i_ = p + 2;
            return true;
        }
        if (p == before || !IsNameChar(s_[p])) return Fail("a malformed tag <" + std::string(name) + ">");
        while (p < s_.size() && IsNameChar(s_[p])) ++p;
        while (p < s_.size() && IsSpace(s_[p])) ++p;
        if (p >= s_.size() || s_[p] != '=') return Fail("a malformed attribute in <" + std::string(name) + ">");
        ++p;
        while (p < s_.size() && IsSpace(s_[p])) ++p;
        if (p >= s_.size() || (s_[p] != '"' && s_[p] != '\'')) {
            return Fail("an attribute value without quotes in <" + std::string(name) + ">");
        }
        const size_t close = s_.find(s_[p], p + 1);
        if (close == std::string_view::npos) return Fail("a tag is not closed");
        if (s_.substr(p + 1, close - p - 1).find('<') != std::string_view::npos) {
            return Fail("a '<' inside an attribute value");
        }
        p = close + 1;
    }
}

// Skips what may stand between elements, then reads the start tag of `name`.
bool Reader::Expect(std::string_view name, bool& empty) {
    if (!SkipMisc()) return false;
    if (AtEnd()) return Fail("the reply ends where <" + std::string(name) + "> was expected");
    if (s_[i_] != '<' || LookingAt("</")) {
        if (LookingAt("</")) {
            return Fail("expected <" + std::string(name) + ">, found " + Quote(s_.substr(i_, s_.find('>', i_) - i_ + 1)));
        }
        return Fail("text where <" + std::string(name) + "> was expected");
    }
    std::string_view found;
    if (!StartTag(found, empty)) return false;
    if (found != name) return Fail("expected <" + std::string(name) + ">, found <" + std::string(found.substr(0, 24)) + ">");
    return true;
}

// Like Expect, for an element that must have content.
bool Reader::ExpectOpen(std::string_view name) {
    bool empty = false;
    if (!Expect(name, empty)) return false;
    if (empty) return Fail("<" + std::string(name) + "/> is empty");
    return true;
}

bool Reader::ExpectEnd(std::string_view name) {
    if (!SkipMisc()) return false;
    if (AtEnd()) return Fail("the reply ends before </" + std::string(name) + ">");
    if (!LookingAt("</")) {
        if (s_[i_] == '<') return Fail("unexpected element inside <" + std::string(name) + ">");
        return Fail("text where </" + std::string(name) + "> was expected");
    }
    size_t p = i_ + 2;
    const size_t start = p;
    while (p < s_.size() && IsNameChar(s_[p])) ++p;
    const std::string_view found = s_.substr(start, p - start);
    while (p < s_.size() && IsSpace(s_[p])) ++p;
    if (found != name || p >= s_.size() || s_[p] != '>') {
        return Fail("expected </" + std::string(name) + ">, found </" + std::string(found.substr(0, 24)) + ">");
    }
    i_ = p + 1;
    return true;
}

// Character data up to the next tag: references resolved, CDATA taken as it
// stands, comments dropped, line ends normalised as XML does (CR LF and CR
// become LF; a CR written as &#13; stays). `onlySpace` tells whether all of
// it was literal whitespace (then a typed element may follow).
bool Reader::Text(std::string& out, bool& onlySpace) {
    onlySpace = true;
    while (!AtEnd()) {
        const char c = s_[i_];
        if (c == '<') {
            if (LookingAt("<![CDATA[")) {
                const size_t end = s_.find("]]>", i_ + 9);
                if (end == std::string_view::npos) return Fail("a CDATA section is not closed");
                const std::string_view data = s_.substr(i_ + 9, end - i_ - 9);
                for (size_t k = 0; k < data.size();) {
                    uint32_t cp = 0;
                    const size_t n = DecodeUtf8(data, k, cp);
                    if (n == 0) return Fail("the reply is not valid UTF-8");
                    if (!IsXmlChar(cp)) return Fail("the reply holds " + CodePointName(cp) + ", which XML does not allow");
                    if (cp == '\r') {
                        out += '\n';
                        if (k + 1 < data.size() && data[k + 1] == '\n') ++k;
                    } else {
                        out.append(data.substr(k, n));
                    }
                    k += n;
                }
                onlySpace = false;
                i_ = end + 3;
                continue;
            }
            if (LookingAt("<!--")) {
                const size_t end = s_.find("-->", i_ + 4);
                if (end == std::string_view::npos) return Fail("a comment is not closed");
                i_ = end + 3;
                continue;
            }
            return true;  // a tag
        }
        if (c == '&') {
            // Looked for in a short window only: searching the rest of the
            // text for each '&' would make a text of many '&' quadratic.
            const size_t found = s_.substr(i_, 34).find(';');
            if (found == std::string_view::npos) return Fail("a '&' that starts no reference");
            const size_t semi = i_ + found;
            const std::string_view name = s_.substr(i_ + 1, semi - i_ - 1);
            if (name == "lt") out += '<';
            else if (name == "gt") out += '>';
            else if (name == "amp") out += '&';
            else if (name == "quot") out += '"';
            else if (name == "apos") out += '\'';
            else if (!name.empty() && name[0] == '#') {
                const bool hex = name.size() > 1 && name[1] == 'x';
                const std::string_view digits = name.substr(hex ? 2 : 1);
                uint32_t cp = 0;
                const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
                if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || digits[0] == '+' ||
                    digits[0] == '-') {
                    return Fail("a malformed character reference " + Quote(s_.substr(i_, semi - i_ + 1)));
                }
                if (!IsXmlChar(cp)) return Fail("a reference to " + CodePointName(cp) + ", which XML does not allow");
                AppendUtf8(out, cp);
            } else {
                return Fail("an unknown entity " + Quote(s_.substr(i_, semi - i_ + 1)));
            }
            onlySpace = false;
            i_ = semi + 1;
            continue;
        }
        if (c == '\r') {
            out += '\n';
            ++i_;
            if (!AtEnd() && s_[i_] == '\n') ++i_;
            continue;
        }
        if (c == ']' && LookingAt("]]>")) return Fail("\"]]>\" in text");
        if (static_cast<unsigned char>(c) < 0x80) {
            if (!IsXmlChar(static_cast<unsigned char>(c))) {
                return Fail("the reply holds " + CodePointName(static_cast<unsigned char>(c)) + ", which XML does not allow");
            }
            if (!IsSpace(c)) onlySpace = false;
            out += c;
            ++i_;
            continue;
        }
        uint32_t cp = 0;
        const size_t n = DecodeUtf8(s_, i_, cp);
        if (n == 0) return Fail("the reply is not valid UTF-8");
        if (!IsXmlChar(cp)) return Fail("the reply holds " + CodePointName(cp) + ", which XML does not allow");
        out.append(s_.substr(i_, n));
        i_ += n;
        onlySpace = false;
    }
    return true;
}

// The text content of an element whose start tag was read; it holds no
// elements. Reads the end tag too.
bool Reader::ElementText(std::string_view name, bool empty, std::string& out) {
    if (empty) return true;
    bool onlySpace = false;
    if (!Text(out, onlySpace)) return false;
    if (AtEnd()) return Fail("the reply ends inside <" + std::string(name) + ">");
    if (!LookingAt("</")) return Fail("an element inside <" + std::string(name) + ">");
    return ExpectEnd(name);
}

// After <value>: an untyped string or one typed element, then </value>.
bool Reader::ValueContent(Value& value, int depth) {
    std::string text;
    bool onlySpace = false;
    if (!Text(text, onlySpace)) return false;
    if (AtEnd()) return Fail("the reply ends inside <value>");
    if (LookingAt("</")) {
        value.type = Value::Type::String;
        value.text = std::move(text);
        return ExpectEnd("value");
    }
    if (!onlySpace) return Fail("text beside a typed value");
    std::string_view type;
    bool empty = false;
    if (!StartTag(type, empty)) return false;
    if (!TypedValue(type, empty, value, depth)) return false;
    return ExpectEnd("value");
}

bool ParseInt(std::string_view text, int32_t& value) {
    text = TrimSpace(text);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text[0] == '+' || text[0] == '-')) return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& value) {
    text = TrimSpace(text);
    // Only the decimal form XML-RPC allows (with an exponent, which engines
    // send): no "inf", "nan" or hexadecimal.
    size_t k = 0;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    size_t digits = 0;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++digits;
    if (k < text.size() && text[k] == '.') {
        ++k;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++digits;
    }
    if (digits == 0) return false;
    if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
        ++k;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        size_t exponent = 0;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++exponent;
        if (exponent == 0) return false;
    }
    if (k != text.size()) return false;
    if (text[0] == '+') text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Whitespace (line breaks) is skipped; padding may be left out.
bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    size_t padding = 0;
    for (char c : text) {
        if (IsSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int digit = Base64Digit(c);
        if (digit < 0 || padding > 0) return false;
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1) return false;
    if (count == 2) out += static_cast<char>(bits >> 4);
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    if (padding > 2 || (padding > 0 && (count + padding) % 4 != 0)) return false;
    return true;
}

bool Reader::TypedValue(std::string_view type, bool empty, Value& value, int depth) {
    if (type == "struct" || type == "array") {
        if (depth + 1 > maxDepth_) return Fail("nesting deeper than " + std::to_string(maxDepth_) + " levels");
        if (type == "struct") {
            value.type = Value::Type::Struct;
            return empty || Struct(value, depth + 1);
        }
        value.type = Value::Type::Array;
        return empty || Array(value, depth + 1);
    }
    std::string text;
    if (!ElementText(type, empty, text)) return false;
    if (type == "string") {
        value.type = Value::Type::String;
        value.text = std::move(text);
    } else if (type == "i4" || type == "int") {
        value.type = Value::Type::Int;
        if (!ParseInt(text, value.integer)) return Fail("not a 32-bit integer: " + Quote(text));
    } else if (type == "boolean") {
        value.type = Value::Type::Boolean;
        const std::string_view t = TrimSpace(text);
        if (t == "1" || t == "true") value.boolean = true;
        else if (t == "0" || t == "false") value.boolean = false;
        else return Fail("not a boolean: " + Quote(text));
    } else if (type == "double") {
        value.type = Value::Type::Double;
        if (!ParseDouble(text, value.real)) return Fail("not a double: " + Quote(text));
    } else if (type == "dateTime.iso8601") {
        value.type = Value::Type::DateTime;
        value.text = TrimSpace(text);
        if (value.text.empty()) return Fail("an empty dateTime.iso8601");
    } else if (type == "base64") {
        value.type = Value::Type::Base64;
        if (!DecodeBase64(text, value.text)) return Fail("invalid base64");
    } else if (type == "nil" || type == "ex:nil") {
        value.type = Value::Type::Nil;
        if (!TrimSpace(text).empty()) return Fail("text inside <nil>");
    } else {
        return Fail("an unknown value type <" + std::string(type.substr(0, 24)) + ">");
    }
    return true;
}

// After <struct>: members, then </struct>.
bool Reader::Struct(Value& value, int depth) {
    for (;;) {
        if (!SkipMisc()) return false;
        if (LookingAt("</")) return ExpectEnd("struct");
        if (!ExpectOpen("member")) return false;
        bool empty = false;
        if (!Expect("name", empty)) return false;
        std::string name;
        if (!ElementText("name", empty, name)) return false;
        value.members.emplace_back(std::move(name), Value());
        Value& member = value.members.back().second;
        if (!Expect("value", empty)) return false;
        if (empty) member.type = Value::Type::String;
        else if (!ValueContent(member, depth)) return false;
        if (!ExpectEnd("member")) return false;
    }
}

// After <array>: <data> with values, then </array>.
bool Reader::Array(Value& value, int depth) {
    bool empty = false;
    if (!Expect("data", empty)) return false;
    if (!empty) {
        for (;;) {
            if (!SkipMisc()) return false;
            if (LookingAt("</")) break;
            bool emptyValue = false;
            if (!Expect("value", emptyValue)) return false;
            value.items.emplace_back();
            Value& item = value.items.back();
            if (emptyValue) item.type = Value::Type::String;
            else if (!ValueContent(item, depth)) return false;
        }
        if (!ExpectEnd("data")) return false;
    }
    return ExpectEnd("array");
}

bool Reader::Document(Response& response) {
    if (!SkipMisc()) return false;
    if (AtEnd()) return Fail("no methodResponse element");
    if (s_[i_] != '<') return Fail("no methodResponse element (the reply begins with text)");
    std::string_view root;
    bool empty = false;
    if (!StartTag(root, empty)) return false;
    if (root != "methodResponse") return Fail("no methodResponse element (found <" + std::string(root.substr(0, 24)) + ">)");
    if (empty) return Fail("an empty methodResponse");
    if (!SkipMisc()) return false;
    std::string_view kind;
    if (AtEnd() || s_[i_] != '<' || LookingAt("</") || !StartTag(kind, empty)) {
        return Fail("neither params nor fault in the methodResponse");
    }
    if (kind == "params") {
        if (empty) return Fail("params without a param");
        if (!SkipMisc()) return false;
        if (LookingAt("</")) return Fail("params without a param");
        if (!ExpectOpen("param")) return false;
        bool emptyValue = false;
        if (!Expect("value", emptyValue)) return false;
        if (emptyValue) response.value.type = Value::Type::String;
        else if (!ValueContent(response.value, 0)) return false;
        if (!ExpectEnd("param")) return false;
        if (!SkipMisc()) return false;
        if (LookingAt("<param")) return Fail("more than one param");
        if (!ExpectEnd("params")) return false;
    } else if (kind == "fault") {
        if (empty) return Fail("an empty fault");
        if (!ExpectOpen("value")) return false;
        if (!ValueContent(response.value, 0)) return false;
        if (!ExpectEnd("fault")) return false;
        if (response.value.type != Value::Type::Struct) return Fail("a fault that is not a struct");
        response.fault = true;
        if (const Value* code = response.value.Member("faultCode")) {
            if (code->type == Value::Type::Int) response.faultCode = code->integer;
            else if (code->type != Value::Type::String || !ParseInt(code->text, response.faultCode))
                return Fail("a faultCode that is not an integer");
        }
        if (const Value* text = response.value.Member("faultString")) {
            if (text->type != Value::Type::String) return Fail("a faultString that is not a string");
            response.faultString = text->text;
        }
    } else {
        return Fail("expected <params> or <fault>, found <" + std::string(kind.substr(0, 24)) + ">");
    }
    if (!ExpectEnd("methodResponse")) return false;
    if (!SkipMisc()) return false;
    if (!AtEnd()) return Fail("something after the methodResponse element");
    return true;
}

// The declared encoding, or empty. `decl` is the text of "<?xml ... ?>".
std::string DeclaredEncoding(std::string_view decl) {
    const size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return {};
    size_t p = at + 8;
    while (p < decl.size() && (IsSpace(decl[p]) || decl[p] == '=')) ++p;
    if (p >= decl.size() || (decl[p] != '"' && decl[p] != '\'')) return "?";
    const size_t close = decl.find(decl[p], p + 1);
    if (close == std::string_view::npos) return "?";
    std::string name(decl.substr(p + 1, close - p - 1));
    for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return name;
}

} // namespace

bool ReadResponse(std::string_view body, Response& response, std::string& error, ReadLimits limits) {
    response = Response();
    error.clear();
    if (body.size() > limits.maxBytes) {
        error = "the reply is larger than " + std::to_string(limits.maxBytes) + " bytes";
        return false;
    }
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    if (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF") {
        error = "a UTF-16 reply is not supported";
        return false;
    }
    // The declaration names the encoding. Engines send UTF-8; a reply declared
    // as ISO-8859-1 is turned into UTF-8 first, so the reader sees one encoding.
    std::string transcoded;
    if (body.substr(0, 5) == "<?xml" && body.size() > 5 && IsSpace(body[5])) {
        const size_t end = body.find("?>");
        if (end == std::string_view::npos) {
            error = "the XML declaration is not closed";
            return false;
        }
        const std::string encoding = DeclaredEncoding(body.substr(0, end));
        if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "latin-1") {
            transcoded.reserve(body.size() + body.size() / 4);
            for (char c : body) AppendUtf8(transcoded, static_cast<unsigned char>(c));
            body = transcoded;
        } else if (!encoding.empty() && encoding != "utf-8" && encoding != "utf8" && encoding != "us-ascii" &&
                   encoding != "ascii") {
            error = "the encoding " + Quote(encoding) + " is not supported";
            return false;
        }
    }
    Reader reader(body, limits.maxDepth, error);
    if (!reader.Document(response)) {
        if (error.empty()) error = "malformed reply";
        response = Response();
        return false;
    }
    return true;
}

} // namespace kelo::xmlrpc
