#pragma once
// rtf2html converts files of many megabytes, most of which can be a
// picture's hex. Instead of decoding every byte to UTF-16 and then cutting,
// searching and dropping groups, it does those steps on the bytes and hands
// the rest, as UTF-8, to the converter's byte form (ByteRtfHtmlConverter).

#include "core/codepage.h"
#include "rtfhtml/scan.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace rtfhtml {

// The text that Convert(TrimFinalParagraph(decoded bytes), "\\pard", ...)
// reads, as UTF-8. The Post command's cut and its search for the marker are
// made on the bytes, and so is the dropping of groups after the marker,
// which the conversion would make anyway (dropping them twice changes
// nothing): braces, backslashes and the letters of "\\par" are ASCII, one
// byte each in every code page we carry, so byte positions are character
// positions. A picture's megabytes of hex are thus skipped as bytes and
// never decoded. The text starts one character before the marker (a
// backslash there escapes a brace at the marker); it is empty when there is
// no marker. The two bytes after the cut are overwritten with the "\n}" that
// the cut appends.
//
// The result goes to ByteRtfHtmlConverter::ConvertTaking(text, "\\pard",
// closeAll, true, ...) and gives the UTF-8 form of the HTML of
// Convert(TrimFinalParagraph(decoded bytes), "\\pard", closeAll), which
// FinishHtml turns into plain UTF-8.
std::string DecodeTrimmedBody(std::span<char> bytes, const core::SingleByteCodePage& codePage);

// Hands `put` the HTML that the byte form wrote, piece by piece, as plain
// UTF-8: a surrogate pair (two three-byte sequences) becomes one four-byte
// character, a surrogate without its partner U+FFFD (as core::ToUtf8 does),
// and with `escapePercent` every "%" becomes "&#37;".
template <typename Put>
void FinishHtml(std::string_view html, bool escapePercent, Put&& put) {
    constexpr char kSurrogateLead = '\xED';  // lead byte of U+D000..U+DFFF
    auto unitAt = [&](size_t k) -> unsigned {
        return ((static_cast<unsigned char>(html[k + 1]) & 0x3Fu) << 6) |
               (static_cast<unsigned char>(html[k + 2]) & 0x3Fu) | 0xD000u;
    };
    auto isSurrogate = [&](size_t k) {
        return k + 2 < html.size() && html[k] == kSurrogateLead &&
               static_cast<unsigned char>(html[k + 1]) >= 0xA0;
    };
    size_t from = 0;
    for (size_t k = escapePercent ? FindAnyOf(html, 0, '%', kSurrogateLead) : FindAnyOf(html, 0, kSurrogateLead);
         k < html.size();
         k = escapePercent ? FindAnyOf(html, k, '%', kSurrogateLead) : FindAnyOf(html, k, kSurrogateLead)) {
        if (html[k] == '%') {
            put(html.substr(from, k - from));
            put(std::string_view("&#37;"));
            from = ++k;
            continue;
        }
        if (!isSurrogate(k)) {
            ++k;  // a character of U+D000..U+D7FF
            continue;
        }
        put(html.substr(from, k - from));
        const unsigned high = unitAt(k);
        if (high < 0xDC00 && isSurrogate(k + 3) && unitAt(k + 3) >= 0xDC00) {
            const unsigned c = 0x10000 + ((high - 0xD800) << 10) + (unitAt(k + 3) - 0xDC00);
            const char joined[] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                                   static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
            put(std::string_view(joined, 4));
            k += 6;
        } else {
            put(std::string_view("\xEF\xBF\xBD"));
            k += 3;
        }
        from = k;
    }
    put(html.substr(from));
}

} // namespace rtfhtml
