#pragma once
// A substring search for scans that only move forward: when the next search
// starts at or after the previous start and the previous hit still lies
// ahead, that hit is the answer; otherwise the text is searched again from
// the new start. Repeated searches over one text therefore cost time linear
// in its length, where plain find() calls could cost quadratic time.

#include "rtfhtml/scan.h"
#include "rtfhtml/unit_text.h"

#include <cstddef>
#include <string_view>

namespace rtfhtml {

template <typename Char>
class ForwardSearch {
public:
    using StringView = std::basic_string_view<Char>;

    explicit ForwardSearch(StringView needle) : needle_(needle) {}

    size_t Find(StringView text, size_t from) {
        if (!valid_ || from < from_ || (found_ != StringView::npos && found_ < from)) {
            found_ = FindFrom(text, from);
            from_ = from;
            valid_ = true;
        }
        return found_;
    }

    void Reset() { valid_ = false; }

private:
    // Candidates are found by the needle's second character, several at a
    // time: the first is "<" or a backslash, which the texts searched are
    // full of, while the "/" of a closing tag is rare.
    size_t FindFrom(StringView text, size_t from) const {
        if (needle_.empty()) return from <= text.size() ? from : StringView::npos;
        const size_t anchor = needle_.size() >= 2 ? 1 : 0;
        for (size_t k = FindAnyOf(text, from + anchor, needle_[anchor]); k < text.size();
             k = FindAnyOf(text, k + 1, needle_[anchor])) {
            if (Same(text.substr(k - anchor, needle_.size()), needle_)) return k - anchor;
        }
        return StringView::npos;
    }

    StringView needle_;  // literal with static storage
    size_t from_ = 0;
    size_t found_ = StringView::npos;
    bool valid_ = false;
};

} // namespace rtfhtml
