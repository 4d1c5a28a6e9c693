#pragma once
// A substring search for scans that only move forward: when the next search
// starts at or after the previous start and the previous hit still lies
// ahead, that hit is the answer; otherwise the text is searched again from
// the new start. Repeated searches over one text therefore cost time linear
// in its length, where plain find() calls could cost quadratic time.

#include "core/text.h"

#include <cstddef>

namespace rtfhtml {

class ForwardSearch {
public:
    explicit ForwardSearch(core::StringView needle) : needle_(needle) {}

    size_t Find(core::StringView text, size_t from) {
        if (!valid_ || from < from_ || (found_ != core::StringView::npos && found_ < from)) {
            found_ = text.find(needle_, from);
            from_ = from;
            valid_ = true;
        }
        return found_;
    }

    // For a new text.
    void Reset() { valid_ = false; }

private:
    core::StringView needle_;  // literal with static storage
    size_t from_ = 0;
    size_t found_ = core::StringView::npos;
    bool valid_ = false;
};

} // namespace rtfhtml
