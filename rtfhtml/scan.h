#pragma once
// Searches for the next of a few given characters, many at a time, over
// UTF-16 text or over the raw bytes of a single-byte code page (rtf2html
// works on those before it decodes them). The converter's passes spend most
// of their time looking for the next brace, backslash or "<" in long
// stretches that hold none (plain text, a picture's hex digits); a
// string_view's find looks at one character per step.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rtfhtml {

namespace detail {

// Non-zero when one of the lanes of `word` is zero; Char decides the width
// of a lane (8 or 16 bits).
template <typename Char>
constexpr uint64_t kLanes = sizeof(Char) == 1 ? 0x0101010101010101ull : 0x0001000100010001ull;

template <typename Char>
constexpr uint64_t HasZeroLane(uint64_t word) {
    return (word - kLanes<Char>) & ~word & (kLanes<Char> << (8 * sizeof(Char) - 1));
}

#if defined(__SSE2__)
template <typename Char>
inline __m128i Equal(__m128i block, Char wanted) {
    if constexpr (sizeof(Char) == 1) {
        return _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(wanted)));
    } else {
        return _mm_cmpeq_epi16(block, _mm_set1_epi16(static_cast<short>(wanted)));
    }
}
#endif

// The general search: sixteen bytes per step where SSE2 is there (every
// x86-64 processor), else eight.
template <typename Char, typename... Wanted>
size_t Scan(const Char* data, size_t size, size_t k, Wanted... wanted) {
#if defined(__SSE2__)
    constexpr size_t kStep = 16 / sizeof(Char);
    for (; k + kStep <= size; k += kStep) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        const __m128i hits = (Equal(block, static_cast<Char>(wanted)) | ...);
        if (int mask = _mm_movemask_epi8(hits)) {
            return k + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(Char);
        }
    }
#endif
    using Lane = std::conditional_t<sizeof(Char) == 1, uint8_t, uint16_t>;
    constexpr size_t kPerWord = 8 / sizeof(Char);
    for (; k + kPerWord <= size; k += kPerWord) {
        uint64_t word;
        std::memcpy(&word, data + k, sizeof word);
        if ((HasZeroLane<Char>(word ^ (kLanes<Char> * static_cast<Lane>(wanted))) | ...)) break;
    }
    for (; k < size; ++k) {
        if (((data[k] == static_cast<Char>(wanted)) || ...)) return k;
    }
    return size;
}

} // namespace detail

// Index of the first character at or after `from` that is one of `wanted`,
// or `text.size()` when there is none.
template <typename Char, typename... Wanted>
size_t FindAnyOf(std::basic_string_view<Char> text, size_t from, Wanted... wanted) {
    static_assert(sizeof(Char) <= 2);
    if (from >= text.size()) return text.size();
    if constexpr (sizeof(Char) == 1 && sizeof...(Wanted) == 1) {
        // Most hits are near: look at a few blocks here before calling
        // memchr, which is faster over long stretches but costs a call.
        constexpr size_t kNear = 64;
        const size_t nearEnd = std::min(text.size(), from + kNear);
        size_t k = detail::Scan(text.data(), nearEnd, from, wanted...);
        if (k < nearEnd || nearEnd == text.size()) return k;
        const unsigned char one[] = {static_cast<unsigned char>(wanted)...};
        const void* hit = std::memchr(text.data() + nearEnd, one[0], text.size() - nearEnd);
        return hit ? static_cast<size_t>(static_cast<const Char*>(hit) - text.data()) : text.size();
    } else {
        return detail::Scan(text.data(), text.size(), from, wanted...);
    }
}

template <typename Char, typename... Wanted>
size_t FindAnyOf(const std::basic_string<Char>& text, size_t from, Wanted... wanted) {
    return FindAnyOf(std::basic_string_view<Char>(text), from, wanted...);
}

template <typename... Wanted>
size_t FindAnyOf(std::u16string_view text, size_t from, Wanted... wanted) {
    if (from >= text.size()) return text.size();
    return detail::Scan(text.data(), text.size(), from, wanted...);
}

} // namespace rtfhtml
