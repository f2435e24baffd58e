// Paths are UTF-8 inside Pelkon; Windows takes them as UTF-16. These are the
// conversions at that boundary, as plain text functions so that every system
// can test them. Names Windows has that are not valid UTF-16 (a lone
// surrogate) come through as the UTF-8 form of that surrogate and go back
// unchanged, so every name on disk can be opened again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The UTF-16 form of a UTF-8 path, or nothing when the bytes are not UTF-8
// (a lone surrogate's three-byte form is taken, as Utf8FromWide writes it).
std::optional<std::u16string> WideFromUtf8(std::string_view utf8);
// The UTF-8 form of a UTF-16 name.
std::string Utf8FromWide(std::u16string_view wide);

// Windows refuses paths of MAX_PATH (260) characters and more unless they
// carry the "\\?\" prefix, which in turn needs a full path with backslashes
// only and no "." or ".." parts - the form GetFullPathNameW gives.
inline constexpr size_t ShortPathLimit = 260;
// `fullPath` (as GetFullPathNameW gives it) in the prefixed form: "C:\x"
// becomes "\\?\C:\x", "\\server\share\x" becomes "\\?\UNC\server\share\x";
// a path already prefixed ("\\?\" or "\\.\") is left as it is.
std::u16string LongPathForm(std::u16string_view fullPath);
