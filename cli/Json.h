// JSON text for the listing. Names are 8-bit bytes in no fixed encoding, so a
// JSON string alone cannot carry every name exactly: the listing gives the
// string for reading and the bytes in hexadecimal for a lossless round trip.
#pragma once

#include <string>
#include <string_view>

// A quoted JSON string: printable ASCII and well-formed UTF-8 sequences pass
// unchanged (with '"' and '\' escaped), except the C1 controls U+0080-U+009F,
// which become \u0080-\u009f; every other byte becomes \u00XX.
std::string JsonString(std::string_view bytes);

// The bytes as lower-case hexadecimal, two digits per byte, quoted.
std::string JsonHex(std::string_view bytes);
