// Loading and saving the history when the system refuses part-way. The
// settings file is written beside itself and renamed over, so every failure
// must leave the old file byte for byte and no stray file, and report "Unable
// to write to %s"; a load that fails leaves nothing to be written back. The
// limits are set in a child process, so they hold as root too.
#include "history/History.h"
#include "history/SettingsFile.h"
#include "platform/FaultInjection.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#ifndef _WIN32
#include <fstream>
#include <set>
#include <sys/resource.h>
#include <unistd.h>
#endif

// The allocation seam: in a child, FailingAllocation refuses one allocation
// of the C library's allocator, through which Qt's containers and operator new
// both allocate. The sanitizers replace the allocator, so it is left alone there;
// on Windows the C runtime's allocator is not one a program can replace.
namespace {
long AllocationsToFailing = 0; // 0: none fails
} // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
namespace {
bool AllocationRefused() {
    return AllocationsToFailing > 0 && --AllocationsToFailing == 0;
}
} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

void* malloc(size_t size) noexcept {
    return AllocationRefused() ? nullptr : __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    return AllocationRefused() ? nullptr : __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) noexcept {
    return AllocationRefused() ? nullptr : __libc_realloc(block, size);
}
}
#endif

namespace {

// While it lives, the `failing`th allocation from now on returns nothing.
class FailingAllocation {
public:
    explicit FailingAllocation(long failing) { AllocationsToFailing = failing; }
    ~FailingAllocation() {
        Reached_ = AllocationsToFailing == 0;
        AllocationsToFailing = 0;
    }
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    static bool Reached() { return Reached_; }

private:
    static inline bool Reached_ = false;
};

const std::string OldSettings =
    "[other]\r\nkeep=this\r\n[history]\r\n0=/old/a.img\r\n9=/stale.img\r\n";

void FillHistory(THistory& history) {
    history.SetMaxItems(8);
    for (int i = 0; i < 8; ++i)
        history.Add("/games/archive " + QByteArray::number(i) + "/models/gta3.img");
}

std::string SaveIn(const std::string& path) {
    THistory history;
    FillHistory(history);
    history.SaveToFile(QString::fromStdString(path), "history");
    return "saved";
}

size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}

#ifndef _WIN32

// The lowest file descriptor number that is free, which is what the next open gets.
[[maybe_unused]] rlim_t LowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return static_cast<rlim_t>(fd);
}

#endif

// Each file-layer call of a save failed in turn, from the load to the
// rename: the old file byte for byte and "Unable to write to %s", or a save
// that carried on and wrote the new file whole; never a file left beside it.
TEST(SettingsFaults, EveryFailedFileCallKeepsTheOldFileOrWritesTheNew) {
    TempDir dir;
    const std::string path = dir.File("Pelkon.ini");
    WriteAll(path, OldSettings);
    SaveIn(path);
    const std::string saved = ReadAll(path);
    long failed = 0;
    for (long n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        WriteAll(path, OldSettings);
        faults::FailNthCall(n, EIO);
        const std::string message = MessageOf([&] { SaveIn(path); });
        const bool reached = faults::Fired();
        faults::Reset();
        if (!reached)
            break;
        if (message.empty()) {
            EXPECT_EQ(ReadAll(path), saved) << "a failure passed unreported";
        } else {
            ++failed;
            EXPECT_EQ(message, "Unable to write to " + path);
            EXPECT_EQ(ReadAll(path), OldSettings);
        }
        EXPECT_EQ(FilesIn(dir.Path()), 1u) << "a file was left beside the settings";
    }
    EXPECT_GE(failed, 6); // the open, the read, the new file, its write, its flush, the rename
}

// The limits of a child process fail the write part-way, as a full disk
// would. Windows has neither fork nor such limits.
TEST(SettingsFaults, EveryWriteLimitKeepsTheOldFile) {
#ifdef _WIN32
    GTEST_SKIP() << NoFileSizeLimitOnWindows;
#else
    // The length of a successful save is the range of limits to sweep.
    size_t savedLength = 0;
    {
        TempDir dir;
        const std::string path = dir.File("Pelkon.ini");
        WriteAll(path, OldSettings);
        ASSERT_EQ(RunInChild([&] { return SaveIn(path); }), "saved");
        savedLength = ReadAll(path).size();
        EXPECT_NE(ReadAll(path).find("[other]\r\nkeep=this\r\n"), std::string::npos);
    }
    ASSERT_GT(savedLength, OldSettings.size());

    long points = 0;
    for (size_t limit = 0; limit < savedLength; ++limit, ++points) {
        SCOPED_TRACE("file size limit " + std::to_string(limit));
        TempDir dir;
        const std::string path = dir.File("Pelkon.ini");
        WriteAll(path, OldSettings);
        const std::string result = RunInChild([&] {
            signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
            const rlimit cap{limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
            return SaveIn(path);
        });
        ASSERT_EQ(result, "Unable to write to " + path);
        EXPECT_EQ(ReadAll(path), OldSettings);
        EXPECT_EQ(FilesIn(dir.Path()), 1u) << "a partial file was left beside the settings";
    }
    RecordProperty("fault_points", static_cast<int>(points));
    std::printf("settings file save: fault points (write limits): %ld\n", points);
#endif
}

TEST(SettingsFaults, NoFileDescriptorLeftKeepsTheOldFile) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own memory checks need free descriptors";
#elif defined(_WIN32)
    GTEST_SKIP() << "Windows has no limit of open files per process (RLIMIT_NOFILE)";
#else
    TempDir dir;
    const std::string path = dir.File("Pelkon.ini");
    WriteAll(path, OldSettings);
    const std::string result = RunInChild([&] {
        const rlim_t lowest = LowestFreeDescriptor();
        const rlimit cap{lowest, lowest};
        setrlimit(RLIMIT_NOFILE, &cap);
        return SaveIn(path);
    });
    EXPECT_EQ(result, "Unable to write to " + path);
    EXPECT_EQ(ReadAll(path), OldSettings);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
#endif
}

#ifndef _WIN32
// In a child: at most `spare` bytes of address space more than taken so far.
[[maybe_unused]] void CapAddressSpace(rlim_t spare) {
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    const rlim_t cap = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + spare;
    const rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
}

// Loads and then saves through one settings file object, as a caller that
// keeps it would, with the `failing`th allocation from the load on refused; a
// failed load goes on to the save. Tells how each went, and whether the
// failing allocation was reached.
[[maybe_unused]] std::string LoadThenSave(const std::string& path, long failing) {
    THistory history;
    history.SetMaxItems(8);
    TSettingsFile ini(QString::fromStdString(path));
    std::string loaded = "loaded";
    std::string saved = "saved";
    {
        const FailingAllocation fault(failing);
        try {
            history.LoadFromIni(&ini, "history");
        } catch (const std::bad_alloc&) {
            loaded = "out of memory";
        }
        try {
            history.Add("/new.img");
            history.SaveToIni(&ini, "history");
            ini.Flush();
        } catch (const std::exception& error) {
            saved = std::string("not saved: ") + error.what();
        }
    }
    return loaded + ", " + saved + (FailingAllocation::Reached() ? "" : " (not reached)");
}
#endif

// Wherever an allocation fails, every other section of the file stays; the
// history section is the old one, or the new one up to the key that failed
// (each key is written as it comes, as the platform's profile functions do).
TEST(SettingsFaults, EveryFailedAllocationKeepsTheOtherSections) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers keep the allocator to themselves";
#elif defined(_WIN32)
    GTEST_SKIP() << "Windows's C runtime allocator cannot be replaced to refuse an allocation";
#else
    std::string others = "[other]\r\nkeep=this\r\n";
    for (int i = 0; i < 8; ++i)
        others += "[kept " + std::to_string(i) + "]\r\nx=/games/archive/models/gta3.img\r\n";
    const std::string old = others + "[history]\r\n0=/old/a.img\r\n9=/stale.img\r\n";
    const std::string saved = others + "[history]\r\n0=/new.img\r\n1=/old/a.img\r\n";
    const std::set<std::string> whole = {old, others, others + "[history]\r\n",
                                         others + "[history]\r\n0=/new.img\r\n", saved};

    long points = 0;
    long failedLoads = 0;
    std::string result;
    for (long failing = 1; !result.ends_with("(not reached)"); ++failing, ++points) {
        SCOPED_TRACE("failed allocation " + std::to_string(failing));
        TempDir dir;
        const std::string path = dir.File("Pelkon.ini");
        WriteAll(path, old);
        result = RunInChild([&] { return LoadThenSave(path, failing); });
        ASSERT_FALSE(result.empty()) << "the child died";
        const std::string after = ReadAll(path);
        // A load that failed part-way must not be written back: it would
        // lose the lines not read.
        EXPECT_EQ(whole.count(after), 1u) << result << ": the file lost lines\n" << after;
        if (result.starts_with("out of memory"))
            ++failedLoads;
        if (result.starts_with("loaded, saved")) {
            EXPECT_EQ(after, saved);
        }
        EXPECT_EQ(FilesIn(dir.Path()), 1u) << result << ": a file was left beside the settings";
    }
    EXPECT_EQ(result, "loaded, saved (not reached)");
    --points; // the last run failed nothing
    RecordProperty("fault_points", static_cast<int>(points));
    std::printf("settings file load and save: fault points (allocations): %ld, in the load %ld\n",
                points, failedLoads);
#endif
}

// A file far past the bound is refused without being read: in little memory
// the load tells so rather than running out, the history starts empty, and a
// save through the same object leaves the file as it was.
TEST(SettingsFaults, AHugeFileIsRefusedInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than any cap allows";
#elif defined(_WIN32)
    GTEST_SKIP() << "Windows has no cap on a process's address space (RLIMIT_AS)";
#else
    TempDir dir;
    const std::string path = dir.File("Pelkon.ini");
    const std::string huge(20 * 1000 * 1000, '\n');
    WriteAll(path, huge);
    const std::string result = RunInChild([&] {
        CapAddressSpace(16 * 1024 * 1024);
        THistory history;
        TSettingsFile ini(QString::fromStdString(path));
        const std::string load = MessageOf([&] { history.LoadFromIni(&ini, "history"); });
        history.Add("/new.img");
        const std::string save = MessageOf([&] {
            history.SaveToIni(&ini, "history");
            ini.Flush();
        });
        return load + "|" + std::to_string(history.Count()) + "|" + save;
    });
    EXPECT_EQ(result, path +
                          " is over 1 MiB, too large to be Pelkon's settings file: it is left as "
                          "it is, and the list of recent files starts empty and is not saved|1|"
                          "Unable to write to " +
                          path);
    EXPECT_EQ(ReadAll(path), huge);
#endif
}

} // namespace
