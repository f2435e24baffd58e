#include "archive/PrintableName.h"

namespace {

const char HexDigits[] = "0123456789abcdef";

unsigned char ByteAt(std::string_view bytes, size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// How many bytes from `at` on make one unit that passes unchanged; 0 when
// the byte at `at` must be escaped.
size_t PassingLength(std::string_view name, size_t at, bool escapeBackslash) {
    const unsigned char byte = ByteAt(name, at);
    if (byte < 0x80)
        return (byte < 32 || byte == 127 || (escapeBackslash && byte == '\\')) ? 0 : 1;
    if (const size_t length = Utf8SequenceLength(name, at))
        return IsUtf8C1Control(name, at) ? 0 : length;
    return byte <= 0x9F ? 0 : 1;
}

std::string Escaped(std::string_view name, bool escapeBackslash) {
    std::string text;
    text.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        if (const size_t length = PassingLength(name, i, escapeBackslash)) {
            text.append(name.substr(i, length));
            i += length;
            continue;
        }
        // A C1 control written in UTF-8 is escaped whole, both of its bytes.
        const size_t units = IsUtf8C1Control(name, i) ? 2 : 1;
        for (size_t u = 0; u < units; ++u, ++i) {
            const unsigned char byte = ByteAt(name, i);
            if (byte == '\\') {
                text += "\\\\";
            } else {
                text += "\\x";
                text += HexDigits[byte >> 4];
                text += HexDigits[byte & 15];
            }
        }
    }
    return text;
}

} // namespace

bool IsUtf8C1Control(std::string_view bytes, size_t at) {
    return at + 1 < bytes.size() && ByteAt(bytes, at) == 0xC2 && ByteAt(bytes, at + 1) >= 0x80 &&
           ByteAt(bytes, at + 1) <= 0x9F;
}

size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
    const unsigned char lead = ByteAt(bytes, at);
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
    if (ByteAt(bytes, at + 1) < low || ByteAt(bytes, at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (ByteAt(bytes, at + i) < 0x80 || ByteAt(bytes, at + i) > 0xBF)
            return 0;
    return length;
}

std::string PrintableName(std::string_view name) {
    return Escaped(name, true);
}

std::string PrintablePath(std::string_view path) {
#ifdef _WIN32
    return PrintableText(path);
#else
    return PrintableName(path);
#endif
}

std::string PrintableText(std::string_view text) {
    return Escaped(text, false);
}

bool NeedsEscaping(std::string_view name) {
    for (size_t i = 0; i < name.size();) {
        const size_t length = PassingLength(name, i, true);
        if (length == 0)
            return true;
        i += length;
    }
    return false;
}
