#pragma once
// Finds what is left of a text once its brace groups are dropped, over
// UTF-16 text (the converter) or over the raw bytes of a single-byte code
// page (rtf2html drops a picture's megabytes of hex before it decodes the
// rest). Both give the same stretches: braces and backslashes are the same
// characters in either form.

#include "rtfhtml/scan.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace rtfhtml {

// Calls keep(from, length) for each stretch of `text` from `start` on that
// survives, in order. An opening brace not directly preceded by a backslash
// starts a group, which goes with every group nested in it; its extent is
// found by counting every brace in it, escaped ones included. A "{" that is
// never closed goes alone.
//
// A group is skipped by counting forward from its brace. When that count
// runs off the end, the brace is never closed, and neither is any brace
// after it that a later count would reach the end from: then one pass over
// the rest of the text finds all of those at once, which keeps the whole
// operation linear even for thousands of unclosed braces. (Whether a brace
// is closed depends only on the text after it.) Text whose groups are all
// closed, the usual case, is read once. `keep` may copy the text onto itself
// (compacting it in place): nothing before the stretch it is handed is read
// again.
template <typename Char, typename Keep>
void ForEachUngroupedStretch(std::basic_string_view<Char> text, size_t start, Keep&& keep) {
    constexpr Char kOpen = static_cast<Char>('{');
    constexpr Char kClose = static_cast<Char>('}');
    constexpr Char kBackslash = static_cast<Char>('\\');
    start = std::min(start, text.size());
    bool unclosedKnown = false;
    std::vector<size_t> unclosed;  // ascending, once known
    auto findUnclosed = [&](size_t from) {
        for (size_t k = FindAnyOf(text, from, kOpen, kClose); k < text.size();
             k = FindAnyOf(text, k + 1, kOpen, kClose)) {
            if (text[k] == kOpen) {
                unclosed.push_back(k);
            } else if (!unclosed.empty()) {
                unclosed.pop_back();
            }
        }
        unclosedKnown = true;
    };

    size_t written = start;  // where the next kept character lands when compacting in place
    size_t nextUnclosed = 0;
    size_t k = start;
    while (k < text.size()) {
        // Whether a brace is escaped is decided on the original text. Only
        // [start, written) may have been overwritten, and a brace right after
        // that range follows a skipped "{" or "}" in the original: not escaped.
        auto escaped = [&](size_t b) { return b > 0 && (b - 1 < start || b - 1 >= written) && text[b - 1] == kBackslash; };
        size_t brace = FindAnyOf(text, k, kOpen);
        while (brace < text.size() && escaped(brace)) brace = FindAnyOf(text, brace + 1, kOpen);
        if (brace > k) {
            keep(k, brace - k);
            written += brace - k;
        }
        if (brace == text.size()) break;
        if (unclosedKnown) {
            while (nextUnclosed < unclosed.size() && unclosed[nextUnclosed] < brace) ++nextUnclosed;
            if (nextUnclosed < unclosed.size() && unclosed[nextUnclosed] == brace) {
                k = brace + 1;  // no closing brace: only the "{" goes
                continue;
            }
        }
        size_t depth = 0;
        size_t close = brace;
        for (; close < text.size(); close = FindAnyOf(text, close + 1, kOpen, kClose)) {
            if (text[close] == kOpen) {
                ++depth;
            } else if (--depth == 0) {
                break;
            }
        }
        if (close == text.size()) {
            // Never closed: only the "{" goes. From here on the braces that
            // are never closed are looked up, not counted out.
            findUnclosed(brace);
            nextUnclosed = 1;  // the first one found is this brace
            k = brace + 1;
            continue;
        }
        k = close + 1;
    }
}

} // namespace rtfhtml
