// Saving the history when the system refuses part-way. The settings file is
// written beside itself and renamed over, so every failure must leave the old
// file byte for byte and no stray file, and report "Unable to write to %s".
// The limits are set in a child process, so they hold as root too.
#include "history/History.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

const std::string OldSettings =
    "[other]\r\nkeep=this\r\n[history]\r\n0=/old/a.img\r\n9=/stale.img\r\n";

#ifndef _WIN32
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

// The lowest file descriptor number that is free, which is what the next open gets.
rlim_t LowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return static_cast<rlim_t>(fd);
}

#endif

// Qt writes the settings file through its own file classes, past the fault
// seam: the limits of a child process fail it part-way. Windows has neither
// fork nor such limits.
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

} // namespace
