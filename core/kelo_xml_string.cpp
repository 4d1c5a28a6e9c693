#include "core/kelo_xml_string.h"

// There is no parser here on purpose: the settings files and the blog list
// are read by searching for tags. Only "<", ">", "/" and the first space of a
// tag mean anything; declarations, line ends and indentation are skipped as
// tags or text that does not match.

namespace {

constexpr size_t kNone = core::String::npos;

// A start tag's name: its text cut at the first space (a space only, so a
// name followed by a tab is not the name).
core::StringView TagName(core::StringView tagText) {
    return tagText.substr(0, tagText.find(u' '));
}

} // namespace

bool KeloXmlString::FindElement(core::StringView name, core::String& value, int& position) {
    if (name.empty()) return false;
    if (name.front() == u'<') name.remove_prefix(1);
    if (!name.empty() && name.back() == u'>') name.remove_suffix(1);
    if (name.empty()) return false;  // "<>" names nothing

    startTagOpen_ = startTagClose_ = endTagOpen_ = endTagClose_ = -1;
    if (position < 0) return false;

    const core::StringView text = text_;
    size_t at = static_cast<size_t>(position);
    int depth = 0;

    // Looking for the start tag.
    while (depth == 0) {
        const size_t open = text.find(u'<', at);
        if (open == kNone) return false;
        const size_t close = text.find(u'>', open);
        if (close == kNone) return false;
        at = close;
        if (text[open + 1] == u'/') continue;
        core::StringView tag = text.substr(open + 1, close - open - 1);
        if (!tag.empty() && tag.back() == u'/') {
            // The short empty form "<Name/>" or "<Name attr="x" />": an
            // element with no inner text, not one that a later end tag closes.
            tag.remove_suffix(1);
            if (TagName(tag) != name) continue;
            startTagOpen_ = endTagOpen_ = static_cast<int>(open);
            startTagClose_ = endTagClose_ = static_cast<int>(close);
            value.clear();
            position = static_cast<int>(close);
            return true;
        }
        if (TagName(tag) == name) {
            depth = 1;
            startTagOpen_ = static_cast<int>(open);
            startTagClose_ = static_cast<int>(close);
        }
    }

    // Inside the element: count nested elements of the same name until the
    // end tag that brings the depth back to zero.
    for (;;) {
        const size_t open = text.find(u'<', at);
        if (open == kNone) return false;
        const size_t close = text.find(u'>', open);
        if (close == kNone) return false;
        at = close;
        const core::StringView tag = text.substr(open + 1, close - open - 1);
        if (!tag.empty() && tag.front() == u'/') {
            if (tag.substr(1) == name && --depth == 0) {
                endTagOpen_ = static_cast<int>(open);
                endTagClose_ = static_cast<int>(close);
                const size_t inner = static_cast<size_t>(startTagClose_) + 1;
                value.assign(text.substr(inner, open - inner));
                position = static_cast<int>(close);
                return true;
            }
        } else if ((tag.empty() || tag.back() != u'/') && TagName(tag) == name) {
            ++depth;
        }
    }
}

bool KeloXmlString::GetValue(core::StringView name, core::String& value, int& position) {
    core::String found;
    if (!FindElement(name, found, position)) return false;
    // A value with markup characters in it is not a plain escaped text; it is
    // handed back as it stands.
    if (found.find_first_of(u"\"'<>") == core::String::npos) XmlUnescape(found);
    value.swap(found);
    return true;
}

bool KeloXmlString::GetChild(core::StringView name, KeloXmlString& child, int& position) {
    core::String inner;
    if (!GetValue(name, inner, position)) return false;
    child = KeloXmlString(inner);
    return true;
}

void KeloXmlString::XmlEscape(core::String& text) {
    // The ampersand first, so the references added after it stay single.
    core::ReplaceAll(text, u"&", u"&amp;");
    core::ReplaceAll(text, u"<", u"&lt;");
    core::ReplaceAll(text, u">", u"&gt;");
    core::ReplaceAll(text, u"\"", u"&quot;");
    core::ReplaceAll(text, u"'", u"&apos;");
}

void KeloXmlString::XmlUnescape(core::String& text) {
    // The ampersand last: "&amp;lt;" must come back as "&lt;", not "<".
    core::ReplaceAll(text, u"&lt;", u"<");
    core::ReplaceAll(text, u"&gt;", u">");
    core::ReplaceAll(text, u"&quot;", u"\"");
    core::ReplaceAll(text, u"&apos;", u"'");
    core::ReplaceAll(text, u"&amp;", u"&");
}
