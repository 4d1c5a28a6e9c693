#pragma once
// The boundary between core::String (char16_t) and the Win32 wide API
// (wchar_t). Both are UTF-16 code units on Windows, so no copy is needed to
// hand a string to Win32; coming back, the text is copied into a String.

#include "core/text.h"

#include <cwchar>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace fw {

inline const wchar_t* W(const core::String& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline core::String FromWide(const wchar_t* text) {
    return text ? core::String(reinterpret_cast<const char16_t*>(text)) : core::String();
}

inline core::String FromWide(const wchar_t* text, size_t length) {
    return text ? core::String(reinterpret_cast<const char16_t*>(text), length) : core::String();
}

} // namespace fw
