// rtf2html's first step, on the raw bytes: see byte_body.h.

#include "rtfhtml/byte_body.h"

#include "rtfhtml/strip_groups.h"
#include "rtfhtml/unit_text.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rtfhtml {

namespace {

// How many bytes from `in` on are ASCII, looking at no more than `limit`.
size_t AsciiPrefix(const char* in, size_t limit) {
    size_t n = 0;
#if defined(__SSE2__)
    for (; n + 16 <= limit; n += 16) {
        if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + n))) != 0) break;
    }
#endif
    while (n < limit && static_cast<unsigned char>(in[n]) < 0x80) ++n;
    return n;
}

} // namespace

std::string DecodeTrimmedBody(std::span<char> bytes, const core::SingleByteCodePage& codePage) {
    const std::string_view all(bytes.data(), bytes.size());
    size_t last = all.rfind("\\par");
    // Without a "\par" at 1 or later the cut leaves "\n}", which holds no marker.
    if (last == std::string_view::npos || last < 1) return {};
    bytes[last] = '\n';
    bytes[last + 1] = '}';
    const std::string_view view = all.substr(0, last + 2);
    size_t start = view.find("\\pard");
    if (start == std::string_view::npos) return {};
    size_t first = start > 0 ? start - 1 : 0;

    std::string text;
    // Room for the worst case, three bytes for every byte; pages that stay
    // unused cost no memory.
    text.reserve(3 * (view.size() - first));
    auto decode = [&](size_t from, size_t length) {
        // ASCII, the bulk of the text, is copied as it is, a piece at a time
        // so that the bytes are still in the cache when they are copied.
        constexpr size_t kPiece = 1 << 16;
        const char* in = view.data() + from;
        const char* const end = in + length;
        while (in < end) {
            size_t ascii = AsciiPrefix(in, std::min(kPiece, static_cast<size_t>(end - in)));
            text.append(in, ascii);
            in += ascii;
            while (in < end && static_cast<unsigned char>(*in) >= 0x80) {
                AppendUnit(text, codePage.Decode(static_cast<unsigned char>(*in++)));
            }
        }
    };
    decode(first, start - first);
    ForEachUngroupedStretch(view, start, decode);
    return text;
}

} // namespace rtfhtml
