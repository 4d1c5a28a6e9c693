#pragma once
// ANSI code pages in which every byte is one character. The editor's RTF
// arrives as bytes of the thread's ANSI code page and writes other
// characters as byte escapes of that same code page, so the converter and
// rtf2html decode both through one of these.

#include "core/text.h"

#include <string_view>

namespace core {

class SingleByteCodePage {
public:
    // nullptr when `number` is not one of the code pages we carry.
    static const SingleByteCodePage* Find(unsigned number);
    static const SingleByteCodePage& Windows1252();
    // "1252, 1250, ..." for messages.
    static String SupportedList();

    unsigned Number() const { return number_; }
    char16_t Decode(unsigned char byte) const {
        return byte < 0x80 ? static_cast<char16_t>(byte) : upperHalf_[byte - 0x80];
    }
    String Decode(std::string_view bytes) const;

    constexpr SingleByteCodePage(unsigned number, const char16_t* upperHalf)
        : number_(number), upperHalf_(upperHalf) {}

private:
    unsigned number_;
    const char16_t* upperHalf_;  // 128 entries, static storage
};

} // namespace core
