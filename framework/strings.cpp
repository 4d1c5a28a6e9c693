#include "framework/strings.h"

#include "framework/module.h"
#include "framework/wide.h"

namespace fw {

core::String LoadResourceString(UINT id) {
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself, so any length loads without a fixed buffer.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(ResourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return FromWide(text, static_cast<size_t>(length));
}

core::String FormatText(core::StringView format, core::StringView argument) {
    core::String out;
    out.reserve(format.size() + argument.size());
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size()) {
            if (format[i + 1] == u's') {
                out.append(argument);
                ++i;
                continue;
            }
            if (format[i + 1] == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

int ShowMessage(const core::String& text, MessageButtons buttons) {
    UINT style = buttons == MessageButtons::YesNo ? (MB_YESNO | MB_ICONQUESTION) : (MB_OK | MB_ICONEXCLAMATION);
    core::String caption = AppName();
    return ::MessageBoxW(::GetActiveWindow(), W(text), W(caption), style);
}

int ShowMessage(UINT stringId, MessageButtons buttons) {
    return ShowMessage(LoadResourceString(stringId), buttons);
}

} // namespace fw
