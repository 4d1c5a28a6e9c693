// libFuzzer target: the XML text reader over arbitrary text, as the settings
// files and the blog list use it, plus the escaping round trip.
//
// The input is an element name (up to its first newline, at most 32 bytes),
// then the text to search. Each byte is one UTF-16 code unit, so every
// character the reader looks at ("<", ">", "/", space) is one byte away.

#include "core/kelo_xml_string.h"

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

constexpr char16_t kUntouched[] = u"\x1F untouched";

// Every repeated-sibling loop of the readers: search with one shared position
// until the search fails. Each success has to move the position forward, or a
// reader's loop would never end.
void WalkSiblings(KeloXmlString& xml, core::StringView name, int depth) {
    int position = 0;
    int previous = -1;
    for (int found = 0;; ++found) {
        const int entry = position;
        core::String value = kUntouched;
        if (!xml.FindElement(name, value, position)) {
            if (position != entry || value != kUntouched) Fail();  // a failed search changes nothing
            break;
        }
        const core::String& text = xml.Text();
        if (position <= previous || position < entry || position >= static_cast<int>(text.size())) Fail();
        if (text[static_cast<size_t>(position)] != u'>') Fail();
        if (value.size() >= text.size() || text.find(value) == core::String::npos) Fail();
        previous = position;

        // GetValue from the same place finds the same element, unescaped
        // unless the value holds markup characters.
        int again = entry;
        core::String unescaped;
        if (!xml.GetValue(name, unescaped, again) || again != position) Fail();
        core::String expected = value;
        if (expected.find_first_of(u"\"'<>") == core::String::npos) KeloXmlString::XmlUnescape(expected);
        if (unescaped != expected) Fail();

        // Step into the element and search it the same way.
        if (depth < 3) {
            int childPosition = entry;
            KeloXmlString child;
            if (!xml.GetChild(name, child, childPosition) || child.Text() != unescaped) Fail();
            WalkSiblings(child, name, depth + 1);
        }
        if (found > static_cast<int>(text.size())) Fail();  // more elements than characters
    }
}

// A name a writer would use: no markup characters, no space.
bool IsPlainName(core::StringView name) {
    return !name.empty() && name.find_first_of(u"<>/ ") == core::StringView::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t newline = bytes.find('\n');
    std::string_view nameBytes = bytes.substr(0, newline == std::string_view::npos ? 0 : newline);
    if (nameBytes.size() > 32) nameBytes = nameBytes.substr(0, 32);
    const std::string_view textBytes = newline == std::string_view::npos ? bytes : bytes.substr(newline + 1);

    const core::String name = nameBytes.empty() ? core::String(u"userprefs") : Widen(nameBytes);
    const core::String text = Widen(textBytes);

    KeloXmlString xml(text);
    WalkSiblings(xml, name, 0);
    if (xml.Text() != text) Fail();  // searching never changes the text

    // Out-of-range starting positions are refused or end at the text's end.
    for (int start : {-1, static_cast<int>(text.size()), static_cast<int>(text.size()) + 7}) {
        int position = start;
        core::String value = kUntouched;
        if (xml.FindElement(name, value, position)) Fail();
        if (position != start || value != kUntouched) Fail();
    }

    // Escaping then unescaping gives any text back, and the escaped text
    // holds no markup characters.
    core::String escaped = text;
    KeloXmlString::XmlEscape(escaped);
    if (escaped.find_first_of(u"\"'<>") != core::String::npos) Fail();
    core::String back = escaped;
    KeloXmlString::XmlUnescape(back);
    if (back != text) Fail();

    // A value written escaped inside an element reads back exactly, as the
    // user name does in the account file.
    if (IsPlainName(name)) {
        core::String stripped = name;
        KeloXmlString document(u"<" + stripped + u">" + escaped + u"</" + stripped + u">");
        int position = 0;
        core::String value;
        if (!document.GetValue(name, value, position) || value != text) Fail();
    }
    return 0;
}
