#include "archive/StreamingOrder.h"

#include "archive/NameFold.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <vector>

namespace {

// The first game's loader compares the type with "DFF" and "dff", "TXD" and
// "txd" only; a mixed-case type, a second '.', or no '.' at all is not
// streamed. A model whose name the game does not know is not chained either,
// but which ones it knows is not the archive's to say: every model counts.
constexpr TStreamedType FirstGameTypes[] = {
    {"dff", 1},
    {"DFF", 1},
    {"txd", 2},
    {"TXD", 2},
};

// The later game's loader (CStreaming::LoadCdDirectory, as the reverse-
// engineered source of that game's engine shows it) cuts each name at byte 23,
// skips a name without a '.' or with the '.' more than 20 bytes in, and files
// DFF, TXD, COL, IPL, DAT, IFP, RRR and SCM, each compared with the first three
// bytes after the '.' in any letter case (memicmp); anything else is skipped
// and breaks the chain. A name already filed is passed over without breaking
// it.
constexpr TStreamedType LaterGameTypes[] = {
    {"dff", 1}, {"txd", 2}, {"col", 3}, {"ipl", 4}, {"dat", 5}, {"ifp", 6}, {"rrr", 7}, {"scm", 8},
};

bool SameTypeByPrefix(std::string_view type, std::string_view wanted) {
    return type.size() >= wanted.size() && SameText(type.substr(0, wanted.size()), wanted);
}

// The table a record is filed in (0: not streamed) and the name it is filed under.
struct StreamName {
    uint8_t table = 0;
    std::string_view name;
};

StreamName StreamNameOf(const TArchiveEntry& entry, const TStreamingGame& game) {
    const std::string_view name = NameText(entry).substr(0, game.NameBytesRead);
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos || dot > game.MaxDotPosition)
        return {};
    const std::string_view type = name.substr(dot + 1);
    for (const TStreamedType& streamed : game.StreamedTypes)
        if (game.TypeByPrefixAnyCase ? SameTypeByPrefix(type, streamed.Extension)
                                     : type == streamed.Extension)
            return {streamed.Table, name.substr(0, dot)};
    return {};
}

// A streamed record in the order of its filed name: the name's first sixteen
// folded bytes as the key, and its slot.
struct Filed {
    uint64_t key;
    uint64_t more;
    uint32_t index;
};

// Marks the records whose filed name an earlier record (by slot) with data of
// the same table carries: the loader keeps the first and skips those.
std::vector<bool> RepeatedNames(std::span<const TArchiveEntry> entries,
                                const TStreamingGame& game) {
    std::vector<Filed> filed;
    filed.reserve(entries.size());
    PreferLargePages(filed);
    for (size_t i = 0; i < entries.size(); ++i) {
        const StreamName stream = StreamNameOf(entries[i], game);
        if (stream.table == 0)
            continue;
        const TFoldedKey key = FoldedKey(stream.name);
        filed.push_back({key[0], key[1], static_cast<uint32_t>(i)});
    }
    // Equal names of one table end up side by side, in slot order.
    const auto compareNames = [&](const Filed& a, const Filed& b) -> int32_t {
        if (a.key != b.key)
            return a.key < b.key ? -1 : 1;
        if (a.more != b.more)
            return a.more < b.more ? -1 : 1;
        const StreamName x = StreamNameOf(entries[a.index], game);
        const StreamName y = StreamNameOf(entries[b.index], game);
        if (x.table != y.table)
            return x.table < y.table ? -1 : 1;
        return CompareText(x.name, y.name);
    };
    std::sort(filed.begin(), filed.end(), [&](const Filed& a, const Filed& b) {
        const int32_t names = compareNames(a, b);
        return names != 0 ? names < 0 : a.index < b.index;
    });

    std::vector<bool> repeated(entries.size(), false);
    bool dataSeen = false; // in the group of equal names so far
    for (size_t i = 0; i < filed.size(); ++i) {
        if (i > 0 && compareNames(filed[i - 1], filed[i]) != 0)
            dataSeen = false;
        repeated[filed[i].index] = dataSeen;
        dataSeen = dataSeen || entries[filed[i].index].Size > 0;
    }
    return repeated;
}

} // namespace

bool IsStreamed(const TArchiveEntry& entry, const TStreamingGame& game) {
    return StreamNameOf(entry, game).table != 0;
}

const TStreamingGame FirstGameStreaming{4, sizeof(TArchiveEntry::Name), FirstGameTypes};
const TStreamingGame LaterGameStreaming{16, 23, LaterGameTypes, 20, true, false};

void ForEachStreamingBreak(
    std::span<const TArchiveEntry> entries, const TStreamingGame& game,
    const std::function<void(const TArchiveEntry& entry, const TArchiveEntry& before)>& broken) {
    const std::vector<bool> repeated = RepeatedNames(entries, game);
    const TArchiveEntry* chained = nullptr; // the last record with data in the chain
    for (size_t slot = 0; slot < entries.size(); ++slot) {
        const TArchiveEntry& entry = entries[slot];
        if (StreamNameOf(entry, game).table == 0) {
            chained = nullptr;
            continue;
        }
        if (repeated[slot]) {
            if (game.RepeatBreaksChain)
                chained = nullptr;
            continue;
        }
        if (entry.Size == 0)
            continue;
        if (chained && uint64_t{entry.Offset} != uint64_t{chained->Offset} + chained->Size)
            broken(entry, *chained);
        chained = &entry;
    }
}
