#include "cli/Json.h"

namespace {

const char HexDigits[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 when the
// bytes there are not one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view bytes) {
    std::string text = "\"";
    for (size_t i = 0; i < bytes.size();) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += bytes[i++];
        } else if (byte >= 32 && byte < 127) {
            text += bytes[i++];
        } else if (size_t length = byte >= 0x80 ? Utf8SequenceLength(bytes, i) : 0) {
            text.append(bytes.substr(i, length));
            i += length;
        } else {
            text += "\\u00";
            text += HexDigits[byte >> 4];
            text += HexDigits[byte & 15];
            ++i;
        }
    }
    text += '"';
    return text;
}

std::string JsonHex(std::string_view bytes) {
    std::string text = "\"";
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        text += HexDigits[byte >> 4];
        text += HexDigits[byte & 15];
    }
    text += '"';
    return text;
}
