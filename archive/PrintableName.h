// Names from an archive are untrusted bytes. Before one reaches a terminal,
// everything a terminal could take as a command is written out as \xNN.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The name with C0 controls (bytes 0-31), DEL (127) and C1 controls - raw
// bytes 0x80-0x9F outside well-formed UTF-8, and U+0080-U+009F written in
// UTF-8 - as \xNN, and a backslash as \\, so the text stays unambiguous.
// Well-formed UTF-8 and the other bytes pass unchanged.
std::string PrintableName(std::string_view name);
// Whether PrintableName would change the name.
bool NeedsEscaping(std::string_view name);
// A path of the user's, the same way; except on Windows, where a backslash
// separates folders and no name can hold one, so it stays as it is.
std::string PrintablePath(std::string_view path);
// The same for a message, which may hold names escaped already: the control
// bytes are escaped, a backslash stays as it is.
std::string PrintableText(std::string_view text);

// Whether the bytes at `at` are a C1 control (U+0080-U+009F) written in
// UTF-8, C2 80 to C2 9F: well-formed, yet commands to a terminal.
bool IsUtf8C1Control(std::string_view bytes, size_t at);

// The length of the well-formed UTF-8 sequence starting at `at`, or 0 when
// the bytes there are not one (overlong forms, surrogates and values past
// U+10FFFF included).
size_t Utf8SequenceLength(std::string_view bytes, size_t at);
