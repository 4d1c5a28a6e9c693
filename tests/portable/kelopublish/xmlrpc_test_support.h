#pragma once
// Builders for expected values and the adapter that turns a written
// methodCall into the methodResponse a server would answer with the same
// params, shared by the codec's tests and its fuzzer.

#include "kelopublish/xmlrpc.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace kelo::xmlrpc::testing {

inline Value Nil() { return Value(); }
inline Value Str(std::string text) {
    Value v;
    v.type = Value::Type::String;
    v.text = std::move(text);
    return v;
}
inline Value Int(int32_t n) {
    Value v;
    v.type = Value::Type::Int;
    v.integer = n;
    return v;
}
inline Value Bool(bool b) {
    Value v;
    v.type = Value::Type::Boolean;
    v.boolean = b;
    return v;
}
inline Value Dbl(double d) {
    Value v;
    v.type = Value::Type::Double;
    v.real = d;
    return v;
}
inline Value Date(std::string text) {
    Value v = Str(std::move(text));
    v.type = Value::Type::DateTime;
    return v;
}
inline Value Bytes(std::string bytes) {
    Value v = Str(std::move(bytes));
    v.type = Value::Type::Base64;
    return v;
}
inline Value Arr(std::initializer_list<Value> items) {
    Value v;
    v.type = Value::Type::Array;
    v.items.assign(items.begin(), items.end());
    return v;
}
inline Value Obj(std::initializer_list<std::pair<std::string, Value>> members) {
    Value v;
    v.type = Value::Type::Struct;
    v.members.assign(members.begin(), members.end());
    return v;
}

// A methodResponse whose one param is `valueXml` (the inside of <value>).
inline std::string Reply(std::string_view valueXml) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<methodResponse><params><param><value>" +
           std::string(valueXml) + "</value></param></params></methodResponse>";
}

// Reads a whole request out in pieces of `chunk` bytes.
inline bool ReadAll(Request& request, std::string& out, size_t chunk = 4096) {
    std::string buffer(chunk, '\0');
    for (;;) {
        size_t got = 0;
        if (!request.Read(buffer.data(), buffer.size(), got)) return false;
        if (got == 0) return true;
        out.append(buffer, 0, got);
    }
}

// The methodCall's params as a methodResponse: the declaration and the
// methodName give way to <methodResponse>, </methodCall> to </methodResponse>.
inline std::string CallAsResponse(std::string_view call) {
    const size_t params = call.find("<params>");
    const size_t end = call.rfind("</methodCall>");
    if (params == std::string_view::npos || end == std::string_view::npos) return {};
    return "<methodResponse>" + std::string(call.substr(params, end - params)) + "</methodResponse>";
}

} // namespace kelo::xmlrpc::testing
