// The order in which the games stream an archive's data. Their loader chains
// each directory record to the next one in slot order, and when neighbours in
// the chain are wanted together it fetches them in one read from the first
// one's offset, handing each the bytes at the running sum of the sizes before
// it; nothing checks that its data really lies there. So an entry is read
// correctly only when its data begins exactly where the data of the record
// chained before it ends.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

// A type the loader streams: the text after the first '.' of a name, compared
// byte for byte, and the table (a number above 0) the loader files it in.
struct TStreamedType {
    std::string_view Extension;
    uint8_t Table;
};

// What differs between the games' loaders; the rule is the same for each.
struct TStreamingGame {
    // How many chained neighbours one read fetches at most. Any two
    // neighbours may be read together, so the count does not change which
    // records must follow which.
    uint32_t EntriesPerRead;
    // How many bytes of the 24-byte name field the loader takes as the name.
    size_t NameBytesRead;
    std::span<const TStreamedType> StreamedTypes;
    // A name whose '.' stands further in than this is not streamed.
    size_t MaxDotPosition = SIZE_MAX;
    // The type is compared by its first bytes, letter case of a-z aside,
    // instead of byte for byte.
    bool TypeByPrefixAnyCase = false;
    // A record whose name an earlier one already carries breaks the chain;
    // otherwise it is passed over and the chain goes on past it.
    bool RepeatBreaksChain = true;
};

// The first game: models (".dff" or ".DFF") and texture dictionaries (".txd"
// or ".TXD") are chained, four neighbours to a read.
extern const TStreamingGame FirstGameStreaming;
// The later game (single-file archives): names cut to 23 bytes, a '.' at most
// 20 bytes in, eight types compared by their first three bytes in any case,
// sixteen neighbours to a read; a repeated name is passed over.
extern const TStreamingGame LaterGameStreaming;

// Whether the game files the record at all: its name has a '.' where the
// loader looks for one and a type it streams.
bool IsStreamed(const TArchiveEntry& entry, const TStreamingGame& game);

// Calls `broken(entry, before)` for each record that breaks the rule: it is
// chained after `before`, the last record with data before it, and its data
// does not begin where that record's data ends. The records come in slot
// order (an archive's table). A record of a type the game does not
// stream, and one whose name (the part before the first '.', letter case of
// a-z aside) an earlier record with data of the same table already carries,
// break the chain: the pair across such a break is not checked. Records
// without data are passed over. Uses at most 24 bytes and a bit a record.
void ForEachStreamingBreak(
    std::span<const TArchiveEntry> entries, const TStreamingGame& game,
    const std::function<void(const TArchiveEntry& entry, const TArchiveEntry& before)>& broken);
