#include "tests/reliability/ReliabilitySupport.h"

#include "archive/ArchiveCommands.h"
#include "archive/ArchiveCompact.h"
#include "archive/ArchiveRebuild.h"
#include "archive/DirectoryCodec.h"
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/TemporaryFile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace reliability {
namespace {

std::string Numbered(const char* format, unsigned i) {
    char name[32];
    std::snprintf(name, sizeof name, format, i);
    return name;
}

int IndexOfName(const TGTA3Archive& archive, const std::string& name) {
    for (int i = 0; i < archive.Count(); ++i)
        if (NameOf(archive.GetEntry(i)) == name)
            return i;
    throw std::runtime_error("no entry named " + name);
}

bool IsTemporary(const std::string& name) {
    return name.find(".pelkon-tmp-") != std::string::npos;
}

bool IsSwapMarker(const std::string& name) {
    return name.ends_with(".pelkon-swap");
}

// Where the pair's two files stand as a reader sees them: a compaction's
// marker beside the data file names a token, and each new file that still
// has its temporary name of that token is read there. Read here from the
// marker's text ("token T" on its second line) without the program's code;
// that the program trusts only whole markers of its own is tested apart.
std::pair<std::string, std::string> PairAsMarked(const std::string& img, const std::string& dir) {
    const fs::path imgPath(img);
    const std::string marker =
        (imgPath.parent_path() / ("." + imgPath.filename().string() + ".pelkon-swap")).string();
    if (!fs::exists(marker))
        return {img, dir};
    const std::string text = ReadAll(marker);
    const size_t line = text.find("\ntoken ");
    if (line == std::string::npos)
        return {img, dir};
    const size_t begin = line + 7;
    const std::string token = text.substr(begin, text.find('\n', begin) - begin);
    const auto where = [&](const std::string& path) {
        const fs::path finalPath(path);
        const fs::path temporary = finalPath.parent_path() /
                                   ("." + finalPath.filename().string() + ".pelkon-tmp-" + token);
        return fs::exists(temporary) ? temporary.string() : path;
    };
    return {where(img), where(dir)};
}

// A short stand-in for a file's or an entry's bytes: their length and a hash,
// so that failure reports stay readable.
std::string Digest(std::string_view bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
    char text[48];
    std::snprintf(text, sizeof text, "%zu bytes #%016llx", bytes.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

uint32_t LoadLE32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// The journal's marks, as the directory file stores them (after Offset and Size).
const std::string HeadMark("\0pelkon journal head", 20);
const std::string TailMark("\0pelkon jrnl end", 16);

// Where the journal's head stands, if the directory file has one.
std::optional<size_t> JournalHead(const std::string& dirBytes) {
    for (size_t at = 0; at + 32 <= dirBytes.size(); at += 32) {
        const uint64_t oldCount = LoadLE32(dirBytes, at), newCount = LoadLE32(dirBytes, at + 4);
        const uint64_t first = LoadLE32(dirBytes, at + 28);
        if (oldCount == at / 32 && dirBytes.compare(at + 8, 20, HeadMark) == 0 &&
            newCount <= oldCount && first <= newCount &&
            (dirBytes.size() - at) / 32 <= newCount - first + 2)
            return at;
    }
    return std::nullopt;
}

uint64_t LoadLE64(const std::string& bytes, size_t at) {
    return LoadLE32(bytes, at) | uint64_t{LoadLE32(bytes, at + 4)} << 32;
}

bool IsSingleFile(const std::string& img) {
    return fs::exists(img) && ReadAll(img).starts_with("VER2");
}

// A single-file archive's bytes as the journal beside it says they are: a
// journal stands only once whole (it is renamed into place).
std::string ResolvedSingleFile(const std::string& img) {
    std::string bytes = ReadAll(img);
    const std::string journalPath = img + ".pelkon-journal";
    if (!fs::exists(journalPath))
        return bytes;
    const std::string journal = ReadAll(journalPath);
    if (journal.size() < 56 || journal.compare(0, 16, "pelkon ver2 jrnl") != 0)
        return bytes;
    const uint64_t offset = LoadLE64(journal, 32), length = LoadLE64(journal, 40);
    if (journal.size() == 56 + length && offset + length <= bytes.size())
        bytes.replace(offset, length, journal.substr(48, length));
    return bytes;
}

// A single-file archive's records, each as a pair's record (the 16-bit size
// widened, the second size left out).
std::string SingleFileRecords(const std::string& bytes) {
    if (bytes.size() < 8)
        return "";
    const uint64_t present = std::min<uint64_t>(LoadLE32(bytes, 4), (bytes.size() - 8) / 32);
    std::string records;
    for (uint64_t i = 0; i < present; ++i) {
        const size_t at = 8 + 32 * i;
        const uint32_t size = LoadLE32(bytes, at + 4) & 0xFFFF;
        records += bytes.substr(at, 4);
        for (size_t b = 0; b < 4; ++b)
            records += static_cast<char>(size >> (8 * b));
        records += bytes.substr(at + 8, 24);
    }
    return records;
}

// The records of a pair as a reader sees them, decoded here independently.
void ReadPair(Contents& contents, const std::string& prefix, const std::string& finalImg,
              const std::string& finalDir, bool layout) {
    if (const std::string marked = PairAsMarked(finalImg, finalDir).first; IsSingleFile(marked)) {
        const std::string bytes = ResolvedSingleFile(marked);
        const std::string records = SingleFileRecords(bytes);
        for (size_t at = 0; at + 32 <= records.size(); at += 32) {
            const uint64_t begin = uint64_t{LoadLE32(records, at)} * SectorSize;
            const uint64_t length = uint64_t{LoadLE32(records, at + 4)} * SectorSize;
            std::string name = records.substr(at + 8, 24);
            name.resize(std::min(name.size(), name.find('\0')));
            contents[prefix + Numbered("/slot%05u", static_cast<unsigned>(at / 32))] =
                name + " | " +
                (begin + length <= bytes.size()
                     ? Digest(std::string_view(bytes).substr(begin, length))
                     : std::string("past the end")) +
                (layout ? " @" + std::to_string(begin / SectorSize) : "");
        }
        return;
    }
    const auto [img, dir] = PairAsMarked(finalImg, finalDir);
    const bool hasImg = fs::exists(img), hasDir = fs::exists(dir);
    if (!hasImg || !hasDir) {
        if (hasImg || hasDir)
            contents[prefix + "/half"] = hasImg ? "data file alone" : "directory file alone";
        return;
    }
    const std::string dirBytes = ResolvedDirectory(ReadAll(dir));
    const std::string imgBytes = ReadAll(img);
    std::map<std::pair<uint64_t, uint64_t>, std::string> digests; // records often share data
    for (size_t at = 0; at + 32 <= dirBytes.size(); at += 32) {
        const uint64_t begin = uint64_t{LoadLE32(dirBytes, at)} * SectorSize;
        const uint64_t length = uint64_t{LoadLE32(dirBytes, at + 4)} * SectorSize;
        std::string& data = digests[{begin, length}];
        if (data.empty())
            data = begin + length <= imgBytes.size()
                       ? Digest(std::string_view(imgBytes).substr(begin, length))
                       : std::string("past the end");
        std::string name = dirBytes.substr(at + 8, 24);
        name.resize(std::min(name.size(), name.find('\0')));
        contents[prefix + Numbered("/slot%05u", static_cast<unsigned>(at / 32))] =
            name + " | " + data + (layout ? " @" + std::to_string(begin / SectorSize) : "");
    }
    if (const size_t piece = dirBytes.size() % 32)
        contents[prefix + "/piece"] = dirBytes.substr(dirBytes.size() - piece);
}

} // namespace

std::string ResolvedDirectory(const std::string& dirBytes) {
    const std::optional<size_t> head = JournalHead(dirBytes);
    if (!head)
        return dirBytes;
    const uint64_t newCount = LoadLE32(dirBytes, *head + 4);
    const uint64_t first = LoadLE32(dirBytes, *head + 28);
    const std::string journal = dirBytes.substr(*head);
    // A stop leaves a prefix of the journal: whole when its tail is there.
    // (Stale bytes a power cut may leave are told by the checksum, which the
    // journal's own tests cover.)
    const bool whole = journal.size() == (newCount - first + 2) * 32 &&
                       journal.compare(journal.size() - 24, 16, TailMark) == 0 &&
                       journal.compare(journal.size() - 32, 8, journal, 0, 8) == 0;
    if (!whole)
        return dirBytes.substr(0, *head);
    return dirBytes.substr(0, first * 32) + journal.substr(32, (newCount - first) * 32);
}

bool HoldsJournal(const std::string& dirBytes) {
    return JournalHead(dirBytes).has_value();
}

bool JournalLeft(const PairOnDisk& pair) {
    if (IsSingleFile(pair.Img()))
        return fs::exists(pair.Img() + ".pelkon-journal");
    return HoldsJournal(ReadAll(pair.Dir()));
}

std::string SixRecords() {
    std::string bytes;
    for (unsigned i = 0; i < 6; ++i)
        bytes += Record(i, 1, Numbered("entry%u.dff", i));
    return bytes;
}

bool IsRebuildOverExisting(const std::string& message) {
    return message.ends_with("already exists; rebuild writes only a new pair") ||
           message.ends_with("already exists; rebuild writes only a new archive");
}

std::vector<Scenario> Scenarios() {
    using Op = Scenario::Op;
    using namespace std::string_literals;
    const std::string sixSectors = Pattern(6 * SectorSize, 7);
    // More records than the directory moves in one write, so a purge takes
    // several writes and can fail or stop between them.
    std::string manyRecords;
    for (unsigned i = 0; i < 70000; ++i)
        manyRecords += Record(i % 6, 1, Numbered("e%05u", i));
    // Dead sectors, overlapping and repeated records, an empty entry.
    // Single-file archives: six records with room for more before their data
    // at sector 1, and 63 records that fill everything before it.
    std::string sixV2, fullV2;
    for (unsigned i = 0; i < 6; ++i)
        sixV2 += V2Record(1 + i, 1, Numbered("entry%u.dff", i));
    for (unsigned i = 0; i < 63; ++i)
        fullV2 += V2Record(1 + i, 1, Numbered("v%u.dff", i));
    const std::string V2Six = SingleFile(sixV2, sixSectors, 1);
    const std::string V2Full = SingleFile(fullV2, Pattern(63 * SectorSize, 12), 1);
    // The same untidy records in a single file, its data from sector 1.
    const std::string V2Untidy = SingleFile(
        V2Record(4, 2, "late.dff") + V2Record(1, 2, "first.txd") + V2Record(2, 2, "overlap.col") +
            V2Record(2, 2, "overlap.col") + V2Record(9, 0, "empty") + V2Record(7, 1, "tail.ifp"),
        Pattern(9 * SectorSize, 6), 1);
    const std::string untidy = Record(4, 2, "late.dff") + Record(1, 2, "first.txd") +
                               Record(2, 2, "overlap.col") + Record(2, 2, "overlap.col") +
                               Record(9, 0, "empty") + Record(7, 1, "tail.ifp");

    // Undo: a delete of entry1 and entry4, an add of entry4 and entry5, a
    // rename of entry2, each as the step a command leaves.
    const auto sixth = [](unsigned i) {
        return MakeEntry(i, 1, Numbered("entry%u.dff", i), int(i));
    };
    Scenario undoDelete{"UndoDeleteTwoOfSix", "", sixSectors, Op::Undo, {}, {}};
    for (unsigned i : {0u, 2u, 3u, 5u})
        undoDelete.dirBytes += Record(i, 1, Numbered("entry%u.dff", i));
    undoDelete.undone.Command = TUndoCommand::Delete;
    undoDelete.undone.Dropped = {sixth(1), sixth(4)};
    Scenario undoAdd{"UndoAddTwo", SixRecords(), sixSectors, Op::Undo, {}, {}};
    undoAdd.undone.Appended = {sixth(4), sixth(5)};
    Scenario undoRename{"UndoRename", SixRecords(), sixSectors, Op::Undo, {}, {}};
    undoRename.undone.Command = TUndoCommand::Rename;
    undoRename.undone.NoteRewrite(MakeEntry(2, 1, "old-name.dff", 2), sixth(2));

    return {
        {"AddToCleanPair",
         SixRecords(),
         sixSectors,
         Op::Add,
         {{"added.bin", Pattern(5000, 3)}},
         {}},
        {"AddToRaggedPair",
         SixRecords() + std::string(10, 'x'),
         sixSectors + Pattern(777, 5),
         Op::Add,
         {{"added.bin", Pattern(5000, 3)}},
         {}},
        {"AddEmptySource", SixRecords(), sixSectors, Op::Add, {{"added.bin", ""}}, {}},
        {"Rename", SixRecords(), sixSectors, Op::Rename, {}, {"entry2.dff"}},
        {"PurgeTwoOfSix", SixRecords(), sixSectors, Op::Purge, {}, {"entry1.dff", "entry4.dff"}},
        {"PurgeAcrossWrites", manyRecords, sixSectors, Op::Purge, {}, {"e00003", "e69990"}},
        {"ImportReplaceAndAdd",
         SixRecords(),
         sixSectors,
         Op::Import,
         {{"ENTRY2.DFF", Pattern(5000, 8)}, {"added.bin", Pattern(3000, 9)}},
         {}},
        {"Rebuild", untidy, Pattern(10 * SectorSize, 6), Op::Rebuild, {}, {}},
        {"ExtractOverAFile",
         SixRecords(),
         sixSectors,
         Op::Extract,
         {{"entry3.dff", "an older file"}},
         {"entry1.dff", "entry3.dff"}},
        {"PurgeInPlace",
         SixRecords(),
         sixSectors,
         Op::Purge,
         {},
         {"entry1.dff", "entry4.dff"},
         true},
        {"PurgeInPlaceAcrossWrites",
         manyRecords,
         sixSectors,
         Op::Purge,
         {},
         {"e00003", "e69990"},
         true},
        {"PurgeOfAnotherUsersDirectory",
         SixRecords(),
         sixSectors,
         Op::Purge,
         {},
         {"entry1.dff", "entry4.dff"},
         false,
         true},
        {"NewOverAnExistingPair",
         SixRecords(),
         sixSectors,
         Op::Create,
         {{"new.img", sixSectors}, {"new.dir", Record(1, 2, "old.dff") + Record(0, 1, "a.txd")}},
         {}},
        {"V2AddWithRoom",
         "",
         V2Six,
         Op::Add,
         {{"added.bin", Pattern(5000, 3)}},
         {},
         false,
         false,
         true},
        {"V2AddThatMakesRoom",
         "",
         V2Full,
         Op::Add,
         {{"added.bin", Pattern(5000, 3)}},
         {},
         false,
         false,
         true},
        {"V2Rename", "", V2Six, Op::Rename, {}, {"entry2.dff"}, false, false, true},
        {"V2RenameAcrossABlock", "", V2Full, Op::Rename, {}, {"v15.dff"}, false, false, true},
        {"V2PurgeTwoOfSix",
         "",
         V2Six,
         Op::Purge,
         {},
         {"entry1.dff", "entry4.dff"},
         false,
         false,
         true},
        {"V2ImportReplaceAndAdd",
         "",
         V2Six,
         Op::Import,
         {{"ENTRY2.DFF", Pattern(5000, 8)}, {"added.bin", Pattern(3000, 9)}},
         {},
         false,
         false,
         true},
        {"CompactInPlace", untidy, Pattern(10 * SectorSize, 6), Op::Compact, {}, {}},
        undoDelete,
        undoAdd,
        undoRename,
        {"V2CompactInPlace", "", V2Untidy, Op::Compact, {}, {}, false, false, true},
        {"V2Rebuild", "", V2Untidy, Op::Rebuild, {}, {}, false, false, true},
        {"SweepAfterAKilledRebuild",
         SixRecords(),
         sixSectors,
         Op::Sweep,
         {{".new.img.pelkon-tmp-"s + DeadToken, Pattern(2 * SectorSize, 4)},
          {".new.dir.pelkon-tmp-"s + DeadToken, Record(1, 1, "b.dff") + Record(0, 1, "a.dff")},
          {".stray.bin.pelkon-tmp-2147483646-gone", "a leftover"}},
         {".new.dir.pelkon-tmp-"s + DeadToken}},
    };
}

PairOnDisk::PairOnDisk(const Scenario& scenario)
    : layoutMatters_(scenario.op == Scenario::Op::Compact) {
    using Op = Scenario::Op;
    if (!scenario.singleFile)
        WriteAll(Dir(), scenario.dirBytes);
    WriteAll(Img(), scenario.imgBytes);
    if (scenario.dirLinked)
        fs::create_hard_link(Dir(), dir_.File("second-name.dir"));
    if (scenario.dirOfAnotherUser)
        GiveToUnprivilegedUser(Dir());
    fs::create_directory(dir_.File("in"));
    fs::create_directory(Out());
    for (const auto& [name, bytes] : scenario.files) {
        if (scenario.op == Op::Extract)
            WriteAll(Out() + "/" + name, bytes);
        else if (scenario.op == Op::Create || scenario.op == Op::Sweep)
            WriteAll(dir_.File(name), bytes);
        else
            WriteAll(Input(name), bytes);
    }
    if (scenario.op == Op::Sweep)
        for (const std::string& name : scenario.names) {
            const std::string finalName = name.substr(1, name.find(".pelkon-tmp-") - 1);
            fs::create_hard_link(dir_.File(name), dir_.File(finalName));
        }
}

void RunOperation(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive,
                  const std::function<void()>& beforeRun) {
    std::vector<std::string> inputs;
    for (const auto& file : scenario.files)
        inputs.push_back(pair.Input(file.first));
    switch (scenario.op) {
    case Scenario::Op::Add:
        beforeRun();
        AddFiles(archive, inputs);
        break;
    case Scenario::Op::Import: {
        beforeRun();
        TImportResult result;
        ImportFiles(archive, inputs, result);
        break;
    }
    case Scenario::Op::Rename: {
        const int index = IndexOfName(archive, scenario.names.front());
        beforeRun();
        archive.RenameEntry(index, RenamedName);
        archive.Flush();
        break;
    }
    case Scenario::Op::Purge: {
        std::vector<int> doomed;
        for (const std::string& name : scenario.names)
            doomed.push_back(IndexOfName(archive, name));
        beforeRun();
        DeleteEntries(archive, doomed);
        break;
    }
    case Scenario::Op::Rebuild:
        beforeRun();
        RebuildArchive(archive, pair.RebuiltImg());
        break;
    case Scenario::Op::Create:
        beforeRun();
        CreatePair(pair.RebuiltImg(), true);
        break;
    case Scenario::Op::Compact:
        beforeRun();
        CompactArchive(archive);
        break;
    case Scenario::Op::Undo: {
        // The history of a window that did the command: also when run again.
        TUndoHistory history;
        history.Record(scenario.undone, archive);
        beforeRun();
        history.Undo(archive);
        break;
    }
    case Scenario::Op::Sweep:
        beforeRun();
        RemoveStaleTemporaries(pair.Path());
        break;
    case Scenario::Op::Extract: {
        std::vector<int> chosen;
        for (const std::string& name : scenario.names)
            chosen.push_back(IndexOfName(archive, name));
        beforeRun();
        PrepareExtractFolder(pair.Out());
        for (int index : chosen)
            ExtractEntryToFolder(archive, index, pair.Out());
        break;
    }
    }
}

void RunAgain(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive) {
    try {
        RunOperation(scenario, pair, archive, [] {});
    } catch (const Exception& error) {
        const std::string message = error.what();
        if (!IsRebuildOverExisting(message))
            throw;
    }
}

bool RunsAgainAnyway(const Scenario& scenario) {
    using Op = Scenario::Op;
    return scenario.op == Op::Rebuild || scenario.op == Op::Create || scenario.op == Op::Sweep;
}

CleanRun RunCleanly(const Scenario& scenario) {
    PairOnDisk pair(scenario);
    CleanRun clean;
    clean.before = ReadContents(pair);
    {
        TGTA3Archive archive(pair.Img(), false);
        RunOperation(scenario, pair, archive, [] { faults::Reset(); });
        clean.calls = faults::CallsSoFar();
        faults::Reset();
    }
    clean.after = ReadContents(pair);
    return clean;
}

Contents ReadContents(const PairOnDisk& pair) {
    Contents contents;
    ReadPair(contents, "pair", pair.Img(), pair.Dir(), pair.LayoutMatters());
    ReadPair(contents, "new", pair.RebuiltImg(), DirectoryFileName(pair.RebuiltImg()),
             pair.LayoutMatters());
    for (const auto& file : fs::directory_iterator(pair.Out())) {
        const std::string name = file.path().filename().string();
        if (!IsTemporary(name))
            contents["out/" + name] = Digest(ReadAll(file.path().string()));
    }
    return contents;
}

std::string DirectoryBytes(const PairOnDisk& pair) {
    if (const std::string marked = PairAsMarked(pair.Img(), pair.Dir()).first; IsSingleFile(marked))
        return SingleFileRecords(ResolvedSingleFile(marked));
    return ReadAll(PairAsMarked(pair.Img(), pair.Dir()).second);
}

std::vector<std::string> TemporaryLeftovers(const PairOnDisk& pair) {
    std::vector<std::string> leftovers;
    for (const auto& file : fs::recursive_directory_iterator(pair.Path())) {
        const std::string name = file.path().filename().string();
        if (IsTemporary(name) || IsSwapMarker(name))
            leftovers.push_back(file.path().string());
    }
    return leftovers;
}

std::string FolderListing(const PairOnDisk& pair) {
    std::string listing;
    std::set<std::string> lines;
    for (const auto& file : fs::recursive_directory_iterator(pair.Path())) {
        struct stat info {};
        ::lstat(file.path().c_str(), &info);
        lines.insert(file.path().string() + " " + std::to_string(info.st_size) + " #" +
                     std::to_string(info.st_ino) + " x" + std::to_string(info.st_nlink));
    }
    for (const std::string& line : lines)
        listing += line + "\n";
    return listing;
}

std::string JudgeInterrupted(const Scenario& scenario, const Contents& before,
                             const Contents& after, const Contents& now) {
    using Op = Scenario::Op;
    if (scenario.op != Op::Import && scenario.op != Op::Extract) {
        if (now == before || now == after)
            return "";
        // A rebuild stopped between putting its two files in place leaves a
        // directory file alone - no pair -, which the next sweep completes.
        if (scenario.op == Op::Rebuild && now.size() == before.size() + 1 &&
            now.count("new/half") && now.at("new/half") == "directory file alone")
            return "";
        for (const auto& [key, value] : now)
            if (!before.count(key) || before.at(key) != value)
                return key + " is neither as it was nor as it ends: a mix";
        return "something is missing: a mix";
    }
    std::set<std::string> keys;
    for (const Contents* contents : {&before, &after, &now})
        for (const auto& item : *contents)
            keys.insert(item.first);
    const auto valueIn = [](const Contents& contents, const std::string& key) {
        auto found = contents.find(key);
        return found == contents.end() ? std::string("<absent>") : found->second;
    };
    for (const std::string& key : keys) {
        const std::string value = valueIn(now, key);
        if (value != valueIn(before, key) && value != valueIn(after, key))
            return key + " is neither as it was nor as it ends";
    }
    return "";
}

std::vector<std::string> RecordsOf(const std::string& dirBytes) {
    std::vector<std::string> records;
    for (size_t at = 0; at + DirRecordSize <= dirBytes.size(); at += DirRecordSize)
        records.push_back(dirBytes.substr(at, DirRecordSize));
    return records;
}

std::string TableAgreesWithDirectory(const TGTA3Archive& archive, const std::string& dirBytes) {
    const std::vector<std::string> records = RecordsOf(ResolvedDirectory(dirBytes));
    if (static_cast<size_t>(archive.Count()) != records.size())
        return std::to_string(archive.Count()) + " entries, " + std::to_string(records.size()) +
               " records";
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveEntry entry = archive.GetEntry(i);
        const std::string where = "entry " + std::to_string(i) + " (" + NameOf(entry) + ", slot " +
                                  std::to_string(entry.DirIndex) + ")";
        if (entry.DirIndex != i)
            return where + ": not in its slot";
        if (records[static_cast<size_t>(i)] != EncodeRecords({&entry, 1}))
            return where + ": the slot holds another record";
        if (entry.Deleted != 0)
            return where + ": still marked";
    }
    return "";
}

} // namespace reliability
