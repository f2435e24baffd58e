#include "cli/Json.h"

#include "archive/PrintableName.h"

namespace {

const char HexDigits[] = "0123456789abcdef";

// \u00XX for a character up to U+00FF.
void AppendEscaped(std::string& text, unsigned char character) {
    text += "\\u00";
    text += HexDigits[character >> 4];
    text += HexDigits[character & 15];
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
        } else if (IsUtf8C1Control(bytes, i)) {
            // One character, escaped by its code point: its second byte.
            AppendEscaped(text, static_cast<unsigned char>(bytes[i + 1]));
            i += 2;
        } else if (size_t length = byte >= 0x80 ? Utf8SequenceLength(bytes, i) : 0) {
            text.append(bytes.substr(i, length));
            i += length;
        } else {
            AppendEscaped(text, byte);
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
