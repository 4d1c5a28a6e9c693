#include "core/text.h"

namespace core {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(StringView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

String FromUtf8(std::string_view bytes) {
    String out;
    out.reserve(bytes.size());
    size_t i = 0;
    auto cont = [&](size_t k) { return k < bytes.size() && (static_cast<unsigned char>(bytes[k]) & 0xC0) == 0x80; };
    while (i < bytes.size()) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
            c = ((b & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
            c = ((b & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F);
            len = 3;
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            c = ((b & 0x07) << 18) | ((bytes[i + 1] & 0x3F) << 12) | ((bytes[i + 2] & 0x3F) << 6) | (bytes[i + 3] & 0x3F);
            len = 4;
            if (c < 0x10000 || c > 0x10FFFF) c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

String FromAscii(std::string_view ascii) {
    return String(ascii.begin(), ascii.end());
}

void ReplaceAll(String& text, StringView from, StringView to) {
    if (from.empty()) return;
    String out;
    size_t start = 0;
    for (size_t hit = text.find(from); hit != String::npos; hit = text.find(from, start)) {
        out.append(text, start, hit - start);
        out.append(to);
        start = hit + from.size();
    }
    if (start == 0) return;
    out.append(text, start);
    text.swap(out);
}

String DecimalText(long long value) {
    return FromAscii(std::to_string(value));
}

} // namespace core
