// Timings of the archive object and the sort orders on a large archive.
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "bench/BenchFiles.h"
#include "sorting/SortFunctions.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr uint32_t EntryCount = 1'000'000;

// The large archive is made once and shared by the benchmarks that only read it.
struct TLargeArchive {
    TBenchFolder folder;
    std::string img = MakeArchive(folder.File("large.img"), EntryCount, 42);
};

const std::string& LargeArchive() {
    static TLargeArchive archive;
    return archive.img;
}

// The same entries as one single file ("VER2").
struct TLargeSingleFile {
    TBenchFolder folder;
    std::string img = MakeSingleFileArchive(folder.File("large-v2.img"), EntryCount, 42);
};

const std::string& LargeSingleFile() {
    static TLargeSingleFile archive;
    return archive.img;
}

// Argument 0: the pair; 1: the single file.
const std::string& LargeOfKind(int64_t kind) {
    return kind == 0 ? LargeArchive() : LargeSingleFile();
}

void BM_Open(benchmark::State& state) {
    const std::string& img = LargeOfKind(state.range(0));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TGTA3Archive archive(img, false);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(archive.Count());
    }
}
BENCHMARK(BM_Open)
    ->ArgName("single_file")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// Memory taken by the open archive, almost all of it the entry table, and
// with the rows of a sorted list besides.
void BM_TableMemory(benchmark::State& state) {
    const std::string& img = LargeOfKind(state.range(0));
    for (auto _ : state) {
        const uint64_t before = ResidentBytes();
        TGTA3Archive archive(img, false);
        const uint64_t after = ResidentBytes();
        state.counters["rss_growth_MiB"] = double(after - before) / (1 << 20);
        // With the rows of a list sorted by name: a permutation of the slots.
        const std::vector<uint32_t> rows = SortedSlots(archive.Table(), CompareByName, false);
#ifdef __GLIBC__
        malloc_trim(0); // what the sort freed is not memory the rows hold
#endif
        state.counters["with_rows_MiB"] = double(ResidentBytes() - before) / (1 << 20);
        state.counters["reserved_MiB"] =
            double(archive.Count() + 1) * sizeof(TArchiveEntry) / (1 << 20);
        state.counters["entry_bytes"] = sizeof(TArchiveEntry);
    }
}
BENCHMARK(BM_TableMemory)
    ->ArgName("single_file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Each sort orders the table's slots, which are random against name, size and
// type; the table itself stays as it is.
void BM_Sort(benchmark::State& state, TCompareFunc compare, bool descending) {
    TGTA3Archive archive(LargeArchive(), false);
    SortDescending = descending;
    uint64_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const uint64_t before = HeapInUse();
        ResetHeapPeak();
        state.ResumeTiming();
        const std::vector<uint32_t> rows = SortedSlots(archive.Table(), compare, descending);
        state.PauseTiming();
        peak = std::max(peak, HeapPeak() - before);
        benchmark::DoNotOptimize(rows.data());
        state.ResumeTiming();
    }
    state.counters["extra_heap_MiB"] = double(peak) / (1 << 20);
    SortDescending = false;
}

// For comparison: the same orders through the comparison function on every
// pair, as a sort without keys does it.
void BM_SortByComparison(benchmark::State& state, TCompareFunc compare) {
    TGTA3Archive archive(LargeArchive(), false);
    const auto table = archive.Table();
    std::vector<uint32_t> rows(table.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::iota(rows.begin(), rows.end(), 0u);
        state.ResumeTiming();
        std::sort(rows.begin(), rows.end(),
                  [&](uint32_t a, uint32_t b) { return compare(table[a], table[b]) < 0; });
    }
}
BENCHMARK_CAPTURE(BM_SortByComparison, name, CompareByName)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_SortByComparison, type, CompareByType)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The integrity check of a million entries, findings counted.
void BM_Check(benchmark::State& state) {
    TGTA3Archive archive(LargeArchive(), TOpenMode::Shared);
    for (auto _ : state) {
        uint64_t findings = 0;
        CheckArchive(archive, [&](const TCheckFinding&) { ++findings; });
        benchmark::DoNotOptimize(findings);
    }
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Sort, name, CompareByName, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Sort, size, CompareBySize, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Sort, type, CompareByType, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
// The floor: the cheapest comparison, as any order other than the list's three
// is sorted.
BENCHMARK_CAPTURE(BM_Sort, dir_index, CompareByDirIndex, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Sort, type_descending, CompareByType, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Deleting one entry in ten, chosen from the list sorted by name as a user would.
void BM_PurgeDeleted(benchmark::State& state) {
    TBenchFolder folder;
    const std::string img = folder.File("purge.img");
    for (auto _ : state) {
        state.PauseTiming();
        CopyPair(LargeArchive(), img);
        auto archive = std::make_unique<TGTA3Archive>(img, false);
        const std::vector<uint32_t> rows = SortedSlots(archive->Table(), CompareByName, false);
        for (size_t row = 0; row < rows.size(); row += 10)
            archive->MarkDeleted(static_cast<int>(rows[row]));
        state.ResumeTiming();

        archive->PurgeDeleted();

        state.PauseTiming();
        archive.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PurgeDeleted)->Unit(benchmark::kMillisecond)->Iterations(5);

// Undo of that delete: the 100,000 records written back in their slots, the
// directory put on disk; `history_MiB` is what the step holds.
void BM_UndoDelete(benchmark::State& state) {
    TBenchFolder folder;
    const std::string img = folder.File("undo.img");
    for (auto _ : state) {
        state.PauseTiming();
        CopyPair(LargeArchive(), img);
        auto archive = std::make_unique<TGTA3Archive>(img, false);
        const std::vector<uint32_t> rows = SortedSlots(archive->Table(), CompareByName, false);
        std::vector<int> doomed;
        for (size_t row = 0; row < rows.size(); row += 10)
            doomed.push_back(static_cast<int>(rows[row]));
        TUndoHistory history;
        TUndoStep step;
        DeleteEntries(*archive, doomed, &step);
        history.Record(std::move(step), *archive);
        state.counters["history_MiB"] = static_cast<double>(history.Bytes()) / (1 << 20);
        state.ResumeTiming();

        history.Undo(*archive);

        state.PauseTiming();
        if (archive->Count() != static_cast<int>(EntryCount))
            state.SkipWithError("the entries did not come back");
        archive.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoDelete)->Unit(benchmark::kMillisecond)->Iterations(5);

// Adding 10,000 files of 1-50 KiB to a new archive as the Add command does:
// open each source, AddFile, and one Flush at the end (argument 1; 0 leaves the
// Flush out, to tell the copying from the wait for the disk).
void BM_AddFiles(benchmark::State& state) {
    TBenchFolder folder;
    const auto sources = MakeSourceFiles(folder, 10'000, 3);
    std::vector<std::string> names;
    uint64_t bytes = 0;
    for (const auto& path : sources) {
        names.push_back(std::filesystem::path(path).filename().string());
        bytes += std::filesystem::file_size(path);
    }
    const std::string img = folder.File("add.img");
    for (auto _ : state) {
        state.PauseTiming();
        // Argument 2, full: a single file whose directory has no spare room,
        // so that adding records moves data to make it.
        auto archive = state.range(1) == 0 ? std::make_unique<TGTA3Archive>(img, true)
                                           : (MakeFullSingleFile(img, 63),
                                              std::make_unique<TGTA3Archive>(img, false));
        state.ResumeTiming();

        for (size_t i = 0; i < sources.size(); ++i) {
            FileStream source = FileStream::OpenReadShared(sources[i]);
            archive->AddFile(names[i], source);
        }
        if (state.range(0) != 0)
            archive->Flush();

        state.PauseTiming();
        archive.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_AddFiles)
    ->ArgNames({"flush", "full_single_file"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
