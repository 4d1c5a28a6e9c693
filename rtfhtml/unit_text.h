#pragma once
// The two forms of text the converter works on (see rtf_html_converter.h):
// UTF-16, and UTF-8 with every UTF-16 code unit encoded on its own. These
// are the only operations that depend on the form: writing one code unit,
// and stepping over one.

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace rtfhtml {

inline void AppendUnit(std::u16string& out, char16_t unit) {
    out += unit;
}

// One to three bytes; a surrogate is written like any other code unit, and
// a pair is joined only when the HTML is written out.
inline void AppendUnit(std::string& out, char16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        const char bytes[] = {static_cast<char>(0xC0 | (unit >> 6)), static_cast<char>(0x80 | (unit & 0x3F))};
        out.append(bytes, 2);
    } else {
        const char bytes[] = {static_cast<char>(0xE0 | (unit >> 12)), static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
                              static_cast<char>(0x80 | (unit & 0x3F))};
        out.append(bytes, 3);
    }
}

// Where the code unit after the one at `pos` starts.
inline size_t NextUnit(std::u16string_view, size_t pos) {
    return pos + 1;
}

inline size_t NextUnit(std::string_view text, size_t pos) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
    return pos;
}

} // namespace rtfhtml

namespace rtfhtml {

// Searches and comparisons over the short pieces the converter looks at per
// control word (a run, a word, a tag name): plain loops that the compiler
// inlines. The library's versions call memchr and memcmp for single bytes,
// whose set-up costs more than the few characters they look at.
template <typename Char>
size_t FindUnit(std::basic_string_view<Char> text, Char wanted, size_t from = 0) {
    for (size_t k = from; k < text.size(); ++k) {
        if (text[k] == wanted) return k;
    }
    return std::basic_string_view<Char>::npos;
}

template <typename Char>
bool Same(std::basic_string_view<Char> a, std::type_identity_t<std::basic_string_view<Char>> b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (a[k] != b[k]) return false;
    }
    return true;
}

template <typename Char>
size_t FindShort(std::basic_string_view<Char> text, std::basic_string_view<Char> needle) {
    if (needle.empty() || needle.size() > text.size()) return needle.empty() ? 0 : std::basic_string_view<Char>::npos;
    for (size_t k = FindUnit(text, needle[0]); k != text.npos && k + needle.size() <= text.size();
         k = FindUnit(text, needle[0], k + 1)) {
        if (Same(text.substr(k, needle.size()), needle)) return k;
    }
    return std::basic_string_view<Char>::npos;
}

} // namespace rtfhtml
