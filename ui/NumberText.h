// Numbers as the window writes them, in the user's locale: counts with their
// digits grouped ("8,002"), and sizes either exact ("12,288 bytes") or short
// ("35.0 MiB"), never a mix of the two in one text.
#pragma once

#include <QString>

#include <cstdint>

QString CountText(uint64_t n);
// "1 entry", "8,002 entries".
QString CountText(uint64_t n, const QString& one, const QString& many);

enum class TSizeForm {
    Exact, // "12,288 bytes"
    Short, // "12.0 KiB"
};
QString SizeText(uint64_t bytes, TSizeForm form);
// Dead space and its share of the data file: "2,048 bytes (16.7%)", "2.0 KiB (16.7%)".
QString DeadSpaceShare(uint64_t deadBytes, uint64_t dataLength, TSizeForm form);
