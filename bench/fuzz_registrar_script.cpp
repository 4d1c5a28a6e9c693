// libFuzzer target: the registrar-script parser over arbitrary text, with
// the replacements the component gives it, and quoted names and values
// built from the input reading back exactly.

#include "core/registrar_script.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

core::String Widen(std::string_view bytes) {
    core::String text;
    text.reserve(bytes.size());
    for (unsigned char byte : bytes) text += static_cast<char16_t>(byte);
    return text;
}

[[noreturn]] void Fail() {
    __builtin_trap();
}

size_t CountKeys(const std::vector<core::RegistryKeyNode>& keys) {
    size_t count = keys.size();
    for (const auto& key : keys) count += CountKeys(key.subkeys) + key.values.size();
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const core::String text = Widen(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<core::RegistrarReplacement> replacements = {
        {u"APPID", u"{1A74C7B9-3F0E-4C55-9A71-5D3E0B7E2F11}"},
        {u"MODULE", core::QuoteForRegistrar(u"C:\\Program Files\\Tarvex's\\Velluma.dll")},
    };

    const core::RegistrarParseResult parsed = core::ParseRegistrarScript(text, replacements);
    if (parsed.script.has_value() == !parsed.error.empty()) Fail();  // exactly one of the two
    if (parsed.script) {
        // Every key and value takes at least one character of the expanded text.
        size_t nodes = 0;
        for (const auto& root : parsed.script->roots) {
            if (root.root.empty()) Fail();
            nodes += 1 + CountKeys(root.keys);
        }
        if (nodes > text.size() + 200) Fail();
    }

    // Any text, quoted, is one key name and one value that read back
    // exactly ("%" doubled, since replacements are applied first).
    core::String literal = text;
    core::ReplaceAll(literal, u"%", u"%%");
    const core::String quoted = u"'" + core::QuoteForRegistrar(literal) + u"'";
    const core::String script = u"HKCR\r\n{\r\n    NoRemove " + quoted + u" = s " + quoted + u"\r\n    {\r\n        val " +
                                quoted + u" = s '%MODULE%'\r\n    }\r\n}\r\n";
    const core::RegistrarParseResult built = core::ParseRegistrarScript(script, replacements);
    if (!built.script || built.script->roots.size() != 1 || built.script->roots[0].keys.size() != 1) Fail();
    const core::RegistryKeyNode& key = built.script->roots[0].keys[0];
    if (key.name != text || !key.defaultValue || *key.defaultValue != text) Fail();
    if (key.removal != core::RegistryKeyNode::Removal::NoRemove) Fail();
    if (key.values.size() != 1 || key.values[0].first != text ||
        key.values[0].second != u"C:\\Program Files\\Tarvex's\\Velluma.dll") {
        Fail();
    }
    return 0;
}
