#include "platform/WidePath.h"

#include <cstdint>

namespace {

// Bytes of a UTF-8 sequence led by `lead`, or 0 when `lead` leads none.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::optional<std::u16string> WideFromUtf8(std::string_view utf8) {
    std::u16string wide;
    wide.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = SequenceLength(lead);
        if (length == 0 || i + length > utf8.size())
            return std::nullopt;
        uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            code = code << 6 | (next & 0x3Fu);
        }
        // Overlong forms and code points past U+10FFFF are not UTF-8.
        constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < Smallest[length] || code > 0x10FFFF)
            return std::nullopt;
        if (code >= 0x10000) {
            code -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (code >> 10));
            wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<char16_t>(code);
        }
        i += length;
    }
    return wide;
}

std::string Utf8FromWide(std::u16string_view wide) {
    std::string utf8;
    utf8.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t code = wide[i];
        const bool high = code >= 0xD800 && code <= 0xDBFF;
        if (high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00u);
        // A lone surrogate is written in the three-byte form its value has.
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | code >> 6);
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | code >> 12);
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | code >> 18);
            utf8 += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

std::u16string LongPathForm(std::u16string_view fullPath) {
    if (StartsWith(fullPath, u"\\\\?\\") || StartsWith(fullPath, u"\\\\.\\"))
        return std::u16string(fullPath);
    if (StartsWith(fullPath, u"\\\\"))
        return u"\\\\?\\UNC\\" + std::u16string(fullPath.substr(2));
    return u"\\\\?\\" + std::u16string(fullPath);
}
