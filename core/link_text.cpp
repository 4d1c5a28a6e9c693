#include "core/link_text.h"

#include <cstdint>

namespace core {

int TextSizeHeight(int index) {
    if (index < 0 || index >= kTextSizeCount) return kDefaultTextSizeTwips;
    return kTextSizeTwips[index];
}

std::optional<int> TextSizeIndex(int twips) {
    for (int i = 0; i < kTextSizeCount; ++i) {
        if (kTextSizeTwips[i] == twips) return i;
    }
    return std::nullopt;
}

String NormalizeUrl(StringView address) {
    if (address.empty()) return {};
    for (StringView scheme : {u"http://", u"ftp://", u"https://", u"ftps://"}) {
        if (address.find(scheme) != StringView::npos) return String(address);
    }
    return u"http://" + String(address);
}

String VisiblePart(StringView selected) {
    return String(selected.substr(0, selected.find(u'#')));
}

std::optional<String> LinkAddress(const LinkChoice& choice) {
    if (choice.displayText.empty()) return std::nullopt;
    String address;
    if (choice.isUrl) {
        if (choice.address.empty()) return std::nullopt;
        address = NormalizeUrl(choice.address);
    } else {
        if (choice.emailAddress.empty()) return std::nullopt;
        address = u"mailto:" + choice.emailAddress;
        if (!choice.subject.empty()) address += u"?subject=" + choice.subject;
    }
    ReplaceAll(address, u"\"", u"%22");
    return address;
}

std::string EscapeRtfText(StringView text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            // \uN takes a signed 16-bit number; "?" is the one fallback
            // character (\uc1, the default) that a reader skips.
            out += "\\u";
            out += std::to_string(static_cast<int>(static_cast<int16_t>(c)));
            out += '?';
        }
    }
    return out;
}

std::string ComposeLinkRtf(StringView displayText, StringView address) {
    return "{\\rtf1\\ansi " + EscapeRtfText(displayText) + "\\v #\"" + EscapeRtfText(address) + "\"\\v0}";
}

} // namespace core
