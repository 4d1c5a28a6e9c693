// rtf2html's first step, on the raw bytes: see byte_body.h.

#include "rtfhtml/byte_body.h"

#include "rtfhtml/strip_groups.h"

#include <algorithm>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rtfhtml {

core::String DecodeTrimmedBody(std::string& bytes, const core::SingleByteCodePage& codePage) {
    size_t last = bytes.rfind("\\par");
    bytes.resize(last != std::string::npos && last >= 1 ? last : 0);
    bytes += "\n}";  // its "}" may close a group left open before it
    const std::string_view view(bytes);
    size_t start = view.find("\\pard");
    if (start == std::string_view::npos) return {};
    size_t first = start > 0 ? start - 1 : 0;

    core::String text;
    text.reserve(view.size() - first);
    // Decoded through a small buffer and appended: resizing the text first
    // would zero-fill megabytes only to overwrite them.
    auto decode = [&](size_t from, size_t length) {
        constexpr size_t kChunk = 4096;
        char16_t out[kChunk];
        for (const char* in = view.data() + from; length > 0;) {
            const size_t n = std::min(length, kChunk);
            size_t i = 0;
#if defined(__SSE2__)
            // ASCII, the bulk of the text, sixteen bytes at a time.
            for (; i + 16 <= n; i += 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
                if (_mm_movemask_epi8(block) != 0) break;
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(block, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(block, zero));
            }
#endif
            for (; i < n; ++i) out[i] = codePage.Decode(static_cast<unsigned char>(in[i]));
            text.append(out, n);
            in += n;
            length -= n;
        }
    };
    decode(first, start - first);
    rtfhtml::ForEachUngroupedStretch(view, start, decode);
    return text;
}

} // namespace rtfhtml
