#pragma once
// ASCII literals for code written once for several character types:
// Lit<Char, "pard"> is the view of a static array of Char holding "pard".

#include <array>
#include <cstddef>
#include <string_view>

namespace rtfhtml {

template <size_t N>
struct Ascii {
    char text[N]{};
    constexpr Ascii(const char (&literal)[N]) {
        for (size_t k = 0; k < N; ++k) text[k] = literal[k];
    }
};

namespace detail {
template <typename Char, Ascii S>
inline constexpr auto kWidened = [] {
    std::array<Char, sizeof S.text> out{};
    for (size_t k = 0; k < out.size(); ++k) out[k] = static_cast<Char>(S.text[k]);
    return out;
}();
} // namespace detail

template <typename Char, Ascii S>
inline constexpr std::basic_string_view<Char> Lit{detail::kWidened<Char, S>.data(), sizeof S.text - 1};

} // namespace rtfhtml
