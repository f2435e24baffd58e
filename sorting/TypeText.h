// A name's type text ("EXT File", " File" or "File") read in place from a
// Name field, so that sorting by type builds no string per comparison.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/NameFold.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

class TTypeText {
public:
    TTypeText() = default; // a name without extension: "File"
    // `body`: the extension after its dot, which the type text drops.
    TTypeText(const char* body, size_t bodyLength)
        : body_(body), bodyLength_(static_cast<uint32_t>(bodyLength)), hasExtension_(true) {}

    bool HasExtension() const { return hasExtension_; }
    std::string_view Body() const { return {body_, bodyLength_}; }
    size_t Length() const { return bodyLength_ + (hasExtension_ ? 5 : 4); }
    unsigned char At(size_t i) const {
        if (i < bodyLength_)
            return FoldByte(static_cast<unsigned char>(body_[i]));
        const char* tail = hasExtension_ ? " File" : "File";
        return static_cast<unsigned char>(tail[i - bodyLength_]);
    }

private:
    const char* body_ = nullptr;
    uint32_t bodyLength_ = 0;
    bool hasExtension_ = false;
};

// The length of the name text in a Name field: the first zero byte is found a
// word at a time, which matters when a sort asks for it millions of times.
[[gnu::always_inline]] inline size_t NameFieldLength(const char* name) {
    constexpr size_t fieldSize = sizeof(TArchiveEntry::Name);
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t ones = 0x0101010101010101u;
        constexpr uint64_t highs = 0x8080808080808080u;
        for (size_t i = 0; i < fieldSize; i += sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, name + i, sizeof word);
            // Marks the first zero byte exactly; marks above it may be false.
            const uint64_t zeros = (word - ones) & ~word & highs;
            if (zeros != 0)
                return i + static_cast<size_t>(std::countr_zero(zeros)) / 8;
        }
        return fieldSize;
    }
    const auto* zero = static_cast<const char*>(std::memchr(name, 0, fieldSize));
    return zero ? static_cast<size_t>(zero - name) : fieldSize;
}

// The type text of an entry's stored name (the extension rule of NameExtension).
[[gnu::always_inline]] inline TTypeText TypeTextOf(const TArchiveEntry& entry) {
    const size_t length = NameFieldLength(entry.Name);
    for (size_t i = length; i-- > 0;) {
        const char c = entry.Name[i];
        if (c == '.')
            return TTypeText(entry.Name + i + 1, length - i - 1);
        if (c == '\\' || c == ':')
            break;
    }
    return TTypeText();
}

// The text comparison of two type texts, without materialising them.
int32_t CompareTypeTexts(const TTypeText& t1, const TTypeText& t2);
