#pragma once
// Searches over UTF-16 text for the next of a few given characters, four
// code units at a time. The converter's passes spend most of their time
// looking for the next brace, backslash or "<" in long stretches that hold
// none (plain text, a picture's hex digits); std::u16string_view::find looks
// at one code unit per step.

#include "core/text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rtfhtml {

namespace detail {

constexpr uint64_t kLanes = 0x0001000100010001ull;

// Non-zero when one of the four 16-bit lanes of `word` is zero.
constexpr uint64_t HasZeroLane(uint64_t word) {
    return (word - kLanes) & ~word & (kLanes << 15);
}

} // namespace detail

// Index of the first code unit at or after `from` that is one of `wanted`,
// or `text.size()` when there is none.
template <typename... Wanted>
size_t FindAnyOf(core::StringView text, size_t from, Wanted... wanted) {
    const char16_t* const data = text.data();
    const size_t size = text.size();
    size_t k = from;
    for (; k + 4 <= size; k += 4) {
        uint64_t word;
        std::memcpy(&word, data + k, sizeof word);
        if ((detail::HasZeroLane(word ^ (detail::kLanes * static_cast<uint16_t>(wanted))) | ...)) break;
    }
    for (; k < size; ++k) {
        char16_t c = data[k];
        if (((c == wanted) || ...)) return k;
    }
    return size;
}

} // namespace rtfhtml
