// libFuzzer target for the XML-RPC codec: any bytes as a server's reply, and
// the same bytes as a recipe for values that are written as a methodCall,
// read back as the methodResponse with the same params, and compared.

#include "core/text.h"
#include "kelopublish/xmlrpc.h"
#include "tests/portable/kelopublish/xmlrpc_test_support.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace kelo::xmlrpc;

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string Bytes(size_t n) {
        n = std::min(n, size_ - std::min(at_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Bytes from memory, handed out at most `piece` at a time.
class MemorySource : public ByteSource {
public:
    MemorySource(std::string bytes, size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
    bool Read(char* buffer, size_t capacity, size_t& got) override {
        got = std::min({capacity, piece_, bytes_.size() - at_});
        bytes_.copy(buffer, got, at_);
        at_ += got;
        return true;
    }

private:
    std::string bytes_;
    size_t piece_;
    size_t at_ = 0;
};

// An independent judgement of what the writer must refuse: invalid UTF-8
// (it does not survive a round trip through UTF-16), lone surrogates, and
// characters XML 1.0 cannot carry.
bool XmlCanCarry(const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
            c == 0xFFFF)
            return false;
    }
    return true;
}
bool XmlCanCarry(const std::string& utf8) {
    const std::u16string wide = core::FromUtf8(utf8);
    return core::ToUtf8(wide) == utf8 && XmlCanCarry(wide);
}

void RoundTrip(const uint8_t* data, size_t size) {
    Input in(data, size);
    const size_t chunk = 1 + in.Byte() % 200;
    Request request("fuzz.call");
    Value root;
    root.type = Value::Type::Array;
    std::vector<Value*> open{&root};
    request.BeginArray();
    bool valid = true;

    // Adds `value` to the innermost container (a struct member gets a name
    // from the input first) and returns where it went.
    auto place = [&](Value value) -> Value* {
        Value& parent = *open.back();
        if (parent.type == Value::Type::Struct) {
            std::string name = in.Bytes(in.Byte() % 8);
            valid = valid && XmlCanCarry(name);
            request.Member(name);
            parent.members.emplace_back(std::move(name), std::move(value));
            return &parent.members.back().second;
        }
        parent.items.push_back(std::move(value));
        return &parent.items.back();
    };

    for (int steps = 0; !in.empty() && steps < 200; ++steps) {
        switch (in.Byte() % 10) {
        case 0: {
            std::string text = in.Bytes(in.Byte() % 48);
            valid = valid && XmlCanCarry(text);
            place(testing::Str(text));
            request.String(text);
            break;
        }
        case 1: {
            std::u16string text;
            for (size_t n = in.Byte() % 16; n > 0 && !in.empty(); --n)
                text += static_cast<char16_t>(in.Byte() << 8 | in.Byte());
            valid = valid && XmlCanCarry(text);
            place(testing::Str(core::ToUtf8(text)));
            request.String(text);
            break;
        }
        case 2: {
            const int32_t n = static_cast<int32_t>(uint32_t(in.Byte()) << 24 | uint32_t(in.Byte()) << 16 |
                                                   uint32_t(in.Byte()) << 8 | in.Byte());
            place(testing::Int(n));
            request.Int(n);
            break;
        }
        case 3: {
            const bool b = in.Byte() & 1;
            place(testing::Bool(b));
            request.Boolean(b);
            break;
        }
        case 4:
        case 5:
            if (open.size() < 60) {
                const bool isStruct = in.Byte() & 1;
                Value* container = place(isStruct ? testing::Obj({}) : testing::Arr({}));
                open.push_back(container);
                if (isStruct) request.BeginStruct();
                else request.BeginArray();
            }
            break;
        case 6:
            if (open.size() > 1) {
                if (open.back()->type == Value::Type::Struct) request.EndStruct();
                else request.EndArray();
                open.pop_back();
            }
            break;
        case 7: {
            std::string bytes = in.Bytes(in.Byte());
            place(testing::Bytes(bytes));
            request.Base64(bytes);
            break;
        }
        default: {
            std::string bytes = in.Bytes(in.Byte() * 4);
            const size_t piece = 1 + in.Byte() % 7;
            place(testing::Bytes(bytes));
            const uint64_t length = bytes.size();
            request.Base64(std::make_unique<MemorySource>(std::move(bytes), piece), length);
            break;
        }
        }
    }
    while (open.size() > 1) {
        if (open.back()->type == Value::Type::Struct) request.EndStruct();
        else request.EndArray();
        open.pop_back();
    }
    request.EndArray();

    const bool finished = request.Finish();
    if (finished != valid) __builtin_trap();
    if (!finished) return;
    std::string call;
    if (!testing::ReadAll(request, call, chunk)) __builtin_trap();
    if (call.size() != request.Length()) __builtin_trap();
    Response response;
    std::string error;
    if (!ReadResponse(testing::CallAsResponse(call), response, error)) __builtin_trap();
    if (response.fault || !(response.value == root)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Response response;
    std::string error;
    const bool read = ReadResponse(std::string_view(reinterpret_cast<const char*>(data), size), response, error);
    if (read != error.empty()) __builtin_trap();

    RoundTrip(data, size);
    return 0;
}
