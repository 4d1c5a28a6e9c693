#pragma once
// Text in Velluma is UTF-16 code units on every build: std::u16string in the
// portable code, and the same bytes as wchar_t on Windows (see framework/wide.h
// for the boundary). Positions and lengths always count code units.

#include <string>
#include <string_view>

namespace core {

using String = std::u16string;
using StringView = std::u16string_view;

// Lossless conversions; unpaired surrogates become U+FFFD in UTF-8.
// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t c);
std::string ToUtf8(StringView text);
String FromUtf8(std::string_view bytes);

// For literals and file names that are known to be ASCII.
String FromAscii(std::string_view ascii);

// Replaces every occurrence of `from` in `text` by `to`, scanning left to right
// without re-reading replaced text. An empty `from` changes nothing.
void ReplaceAll(String& text, StringView from, StringView to);

// Decimal text of a non-negative or negative integer.
String DecimalText(long long value);

} // namespace core
