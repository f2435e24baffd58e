// Any bytes after "VER2" as a single-file archive: open it, check it, and run
// extract, rename, add (which may have to make room) and delete on it, holding
// the table against the file's records after each step and after reopening.
//
// Input: byte 0 seeds the choices (which entries to mark, rename, extract),
// the rest follows the signature as the file.
#include "archive/ArchiveCheck.h"
#include "archive/Gta3Archive.h"
#include "archive/SingleFileFormat.h"
#include "fuzz/FuzzCheck.h"
#include "platform/Errors.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// The table holds the file's records, read here by hand: the count the
// header gives, cut to the whole records present.
void CheckTable(const TGTA3Archive& archive, const std::string& file) {
    const uint64_t present =
        file.size() < 8 ? 0 : std::min<uint64_t>(Le32(file, 4), (file.size() - 8) / 32);
    FUZZ_CHECK(uint64_t(archive.Count()) == present, "count differs from the records present");
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveEntry entry = archive.GetEntry(i);
        const size_t at = 8 + 32 * static_cast<size_t>(i);
        FUZZ_CHECK(entry.DirIndex == i, "not in slot order");
        FUZZ_CHECK(entry.Offset == Le32(file, at) && entry.Size == (Le32(file, at + 4) & 0xFFFF) &&
                       std::memcmp(entry.Name, file.data() + at + 8, 24) == 0,
                   "slot holds another record");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string folder = FuzzScratchFolder();
    const std::string img = folder + "/a.img";
    const unsigned seed = data[0];
    {
        std::ofstream out(img, std::ios::binary | std::ios::trunc);
        out << SingleFileSignature;
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    std::remove((img + ".pelkon-journal").c_str());
    auto archive = std::make_unique<TGTA3Archive>(img, TOpenMode::Exclusive);
    FUZZ_CHECK(archive->Kind() == TArchiveKind::SingleFile, "not told as a single file");
    CheckTable(*archive, ReadFile(img));
    uint64_t findings = 0;
    const TCheckSummary summary = CheckArchive(*archive, [&](const TCheckFinding&) { ++findings; });
    FUZZ_CHECK(summary.Problems == findings, "check");

    if (archive->Count() > 0) {
        const int target = static_cast<int>(seed % static_cast<unsigned>(archive->Count()));
        {
            FileStream dest = FileStream::CreateHeld(folder + "/out.bin");
            try {
                archive->ExtractEntry(target, dest);
            } catch (const EReadError&) {
                FUZZ_CHECK(DataEnd(archive->GetEntry(target)) > ReadFile(img).size(),
                           "an entry inside the file could not be read");
            }
        }
        archive->RenameEntry(target, std::string_view(reinterpret_cast<const char*>(data), size));
        CheckTable(*archive, ReadFile(img));
    }

    // Adding may have to move entries to make room; an entry that reaches
    // past the end cannot be moved, and the add is refused with nothing changed.
    {
        const std::string before = ReadFile(img);
        FileStream source = FileStream::CreateHeld(folder + "/in.bin");
        source.Write(data, size);
        source.Seek(0);
        try {
            archive->AddFile("added.dff", source);
            const TArchiveEntry added = archive->GetEntry(archive->Count() - 1);
            FUZZ_CHECK(DataBegin(added) >= DirectoryEnd(uint64_t(archive->Count())),
                       "added data lies in the directory");
        } catch (const Exception& error) {
            FUZZ_CHECK(std::string(error.what()).starts_with("Cannot make room"),
                       std::string("add failed: ") + error.what());
            FUZZ_CHECK(ReadFile(img) == before, "a refused add changed the file");
        }
    }
    CheckTable(*archive, ReadFile(img));

    int marked = 0;
    for (int i = 0; i < archive->Count(); ++i)
        if ((seed >> (i % 8)) & 1) {
            archive->MarkDeleted(i);
            ++marked;
        }
    const int before = archive->Count();
    archive->PurgeDeleted();
    FUZZ_CHECK(archive->Count() == before - marked, "purge count");
    CheckTable(*archive, ReadFile(img));
    archive.reset();
    TGTA3Archive reopened(img, TOpenMode::Shared);
    FUZZ_CHECK(reopened.Count() == before - marked, "reopening found other records");
    return 0;
}
