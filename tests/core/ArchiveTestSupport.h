// Shared set-up of the archive tests: a pair on disk in a fresh folder.
#pragma once

#include "archive/Gta3Archive.h"
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Five records; slot i holds entry "e<i>" at sector i*2 of i+1 sectors.
inline std::string FiveRecords() {
    std::string bytes;
    for (uint32_t i = 0; i < 5; ++i)
        bytes += Record(i * 2, i + 1, "e" + std::to_string(i));
    return bytes;
}

class ArchiveTest : public ::testing::Test {
protected:
    void TearDown() override { faults::Reset(); }

    std::string Img() const { return dir.File("gta3.img"); }
    std::string Dir() const { return dir.File("gta3.dir"); }

    // Writes the pair's two files as given.
    void MakePair(std::string_view dirBytes, std::string_view imgBytes) const {
        WriteAll(Dir(), dirBytes);
        WriteAll(Img(), imgBytes);
    }
    std::unique_ptr<TGTA3Archive> Open() const {
        return std::make_unique<TGTA3Archive>(Img(), false);
    }
    std::unique_ptr<TGTA3Archive> Create() const {
        return std::make_unique<TGTA3Archive>(Img(), true);
    }

    // Writes `bytes` to a new file in the folder and appends it as `name`.
    void AddBytes(TGTA3Archive& archive, std::string_view name, std::string_view bytes,
                  const std::string& fileName = "source.bin") const {
        WriteAll(dir.File(fileName), bytes);
        FileStream source = FileStream::OpenReadShared(dir.File(fileName));
        archive.AddFile(name, source);
    }

    // The entry's bytes as ExtractEntry writes them into a new file.
    std::string Extracted(TGTA3Archive& archive, int index) const {
        const std::string target = dir.File("extracted.bin");
        {
            FileStream dest = FileStream::CreateHeld(target);
            archive.ExtractEntry(index, dest);
        }
        return ReadAll(target);
    }

    TempDir dir;
};
