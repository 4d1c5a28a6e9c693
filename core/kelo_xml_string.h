#pragma once
// A small reader over one XML text: finds elements by searching for their
// tags. Used for the settings files and for the publishing library's blog list.

#include "core/text.h"

class KeloXmlString {
public:
    KeloXmlString() = default;
    explicit KeloXmlString(core::StringView text) : text_(text) {}

    const core::String& Text() const { return text_; }

    // Finds element `name` (with or without angle brackets) at or after
    // `position`. Found: `value` gets the raw inner text and `position` the
    // index of the '>' ending the end tag. Not found: both are left alone.
    bool FindElement(core::StringView name, core::String& value, int& position);
    // FindElement, then XmlUnescape unless the value holds " ' < or >.
    bool GetValue(core::StringView name, core::String& value, int& position);
    // GetValue into another reader, to step into an element.
    bool GetChild(core::StringView name, KeloXmlString& child, int& position);

    static void XmlEscape(core::String& text);
    static void XmlUnescape(core::String& text);

private:
    core::String text_;
    int startTagOpen_ = -1;
    int startTagClose_ = -1;
    int endTagOpen_ = -1;
    int endTagClose_ = -1;
};
