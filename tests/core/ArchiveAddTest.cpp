// Appending files: sizes, records, names, odd file lengths, and every failure
// leaving both files as they were.
#include "tests/core/ArchiveTestSupport.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/resource.h>
#endif

struct AppendCase {
    size_t sourceLength;
    uint32_t sectors;
};

class AppendSizeTest : public ArchiveTest, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(AppendSizeTest, GrowsByWholeSectorsAndReadsBackWithSlack) {
    const AppendCase c = GetParam();
    const std::string existing = Pattern(4096, 7);
    MakePair(Record(0, 2, "first.dff"), existing);
    auto archive = Open();
    const std::string content = Pattern(c.sourceLength, 3);
    AddBytes(*archive, "new.txd", content);

    EXPECT_EQ(FileLength(Img()), 4096u + c.sectors * 2048u);
    EXPECT_EQ(ReadAll(Dir()), Record(0, 2, "first.dff") + Record(2, c.sectors, "new.txd"));
    const std::string img = ReadAll(Img());
    EXPECT_EQ(img.substr(0, 4096), existing);
    EXPECT_EQ(img.substr(4096, c.sourceLength), content);

    ASSERT_EQ(archive->Count(), 2);
    TArchiveEntry added = archive->GetEntry(1);
    EXPECT_EQ(added.Offset, 2u);
    EXPECT_EQ(added.Size, c.sectors);
    EXPECT_EQ(added.DirIndex, 1);
    const std::string back = Extracted(*archive, 1);
    EXPECT_EQ(back.size(), c.sectors * 2048u);
    EXPECT_EQ(back.substr(0, c.sourceLength), content);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AppendSizeTest,
                         ::testing::Values(AppendCase{0, 0}, AppendCase{1, 1}, AppendCase{2048, 1},
                                           AppendCase{4096, 2}, AppendCase{5000, 3}));

TEST_F(ArchiveTest, NamesAreCutTo24BytesAndDuplicatesAreKept) {
    auto archive = Create();
    AddBytes(*archive, "abcdefghijklmnopqrstuvwxyz1234", "x");
    AddBytes(*archive, "abcdefghijklmnopqrstuvwx", "y");
    AddBytes(*archive, "same.dff", "1");
    AddBytes(*archive, "same.dff", "2");
    EXPECT_EQ(NameOf(archive->GetEntry(0)), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(NameOf(archive->GetEntry(1)), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(archive->Count(), 4);
    EXPECT_EQ(ReadAll(Dir()).substr(64), Record(2, 1, "same.dff") + Record(3, 1, "same.dff"));
    archive.reset();
    EXPECT_EQ(NameOf(Open()->GetEntry(0)), "abcdefghijklmnopqrstuvwx");
}

TEST_F(ArchiveTest, AppendAfterAnOddDataLengthStartsAtTheNextSector) {
    MakePair(Record(0, 1, "a"), Pattern(3000, 5));
    auto archive = Open();
    AddBytes(*archive, "b", Pattern(10, 9));
    EXPECT_EQ(archive->GetEntry(1).Offset, 2u); // 3000 bytes end inside sector 1
    EXPECT_EQ(FileLength(Img()), 4096u + 2048u);
    EXPECT_EQ(ReadAll(Img()).substr(4096, 10), Pattern(10, 9));
    EXPECT_EQ(ReadAll(Img()).substr(0, 3000), Pattern(3000, 5));
    EXPECT_EQ(Extracted(*archive, 1).substr(0, 10), Pattern(10, 9));
}

TEST_F(ArchiveTest, AppendOverATrailingPartialRecord) {
    MakePair(Record(0, 1, "a") + "partial", std::string(2048, 'a'));
    auto archive = Open();
    AddBytes(*archive, "b", "bytes");
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "a") + Record(1, 1, "b"));
    EXPECT_EQ(archive->GetEntry(1).DirIndex, 1);
    archive.reset();
    EXPECT_EQ(NameOf(Open()->GetEntry(1)), "b");
}

// Every way an append can fail leaves both files byte for byte as they were,
// the table unchanged, and reports the file layer's message.
struct AppendFault {
    const char* what;
    faults::Call call;
    long nth; // which call of that kind fails
    const char* message;
};

class AppendFaultTest : public ArchiveTest, public ::testing::WithParamInterface<AppendFault> {};

TEST_P(AppendFaultTest, LeavesBothFilesAsTheyWere) {
    const AppendFault f = GetParam();
    const std::string dirBytes = Record(0, 1, "a") + "tail!";
    const std::string imgBytes = Pattern(3000);
    MakePair(dirBytes, imgBytes);
    auto archive = Open();
    WriteAll(dir.File("src"), Pattern(70000));
    FileStream source = FileStream::OpenReadShared(dir.File("src"));
    faults::FailNthCall(f.nth, EIO, f.call);
    EXPECT_EQ(MessageOf([&] { archive->AddFile("new", source); }), f.message) << f.what;
    EXPECT_EQ(ReadAll(Img()), imgBytes) << f.what;
    EXPECT_EQ(ReadAll(Dir()), dirBytes) << f.what;
    EXPECT_EQ(archive->Count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AppendFaultTest,
    ::testing::Values(
        AppendFault{"reading the partial record", faults::Call::Read, 1, "Stream read error"},
        AppendFault{"extending the data file", faults::Call::SetLength, 1,
                    "System Error.  Code: 5.\nInput/output error"},
        AppendFault{"reading the source", faults::Call::Read, 2, "Stream read error"},
        AppendFault{"writing the data", faults::Call::Write, 1, "Stream write error"},
        AppendFault{"writing the record", faults::Call::Write, 2, "Stream write error"}),
    [](const auto& test) { return "Case" + std::to_string(test.index); });

TEST_F(ArchiveTest, FullDiskFailsTheExtensionWithNothingChanged) {
#ifdef _WIN32
    GTEST_SKIP() << NoFileSizeLimitOnWindows;
#else
    const std::string imgBytes = Pattern(4096);
    MakePair(Record(0, 2, "a"), imgBytes);
    WriteAll(dir.File("big"), Pattern(1 << 20));
    std::string message = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        TGTA3Archive archive(Img(), false);
        FileStream source = FileStream::OpenReadShared(dir.File("big"));
        archive.AddFile("big", source);
        return std::string("added");
    });
    EXPECT_EQ(message, "System Error.  Code: 27.\nFile too large");
    EXPECT_EQ(ReadAll(Img()), imgBytes);
    EXPECT_EQ(ReadAll(Dir()), Record(0, 2, "a"));
#endif
}

TEST_F(ArchiveTest, SourceShorterThanItsLengthIsUndone) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows a file the layer reads shares only reading: nobody can shrink it "
                    "meanwhile";
#endif
    // The source shrinks between asking its length and copying it.
    MakePair("", "");
    auto archive = Open();
    WriteAll(dir.File("src"), Pattern(10000));
    FileStream source = FileStream::OpenReadShared(dir.File("src"));
    faults::BeforeNthCall(
        1, [&] { std::filesystem::resize_file(dir.File("src"), 100); }, faults::Call::SetLength);
    EXPECT_EQ(MessageOf([&] { archive->AddFile("shrunk", source); }), "Stream read error");
    EXPECT_EQ(FileLength(Img()), 0u);
    EXPECT_EQ(FileLength(Dir()), 0u);
    EXPECT_EQ(archive->Count(), 0);
}

TEST_F(ArchiveTest, ByteOffsetsPast4GiBReadCorrectly) {
    // A sparse data file of 5 GiB with an entry near its end.
    MakePair(Record(2'400'000, 1, "far.dff"), "");
    std::filesystem::resize_file(Img(), 5ULL << 30);
    const std::string content = Pattern(2048, 11);
    std::fstream file(Img(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(2'400'000LL * 2048);
    ASSERT_TRUE(file.write(content.data(), static_cast<std::streamsize>(content.size())));
    file.close();
    auto archive = Open();
    EXPECT_EQ(Extracted(*archive, 0), content);
    AddBytes(*archive, "after.txd", "x");
    EXPECT_EQ(archive->GetEntry(1).Offset, (5ULL << 30) / 2048);
}

TEST_F(ArchiveTest, AppendPastTheLargestRecordableOffsetIsRefused) {
    MakePair("", "");
    std::error_code tooLarge;
    std::filesystem::resize_file(Img(), (1ULL << 32) * 2048, tooLarge);
    if (tooLarge)
        GTEST_SKIP() << "file system cannot hold an 8 TiB sparse file";
    auto archive = Open();
    std::string message = MessageOf([&] { AddBytes(*archive, "x", "data"); });
    EXPECT_NE(message.find("largest offset"), std::string::npos) << message;
    EXPECT_EQ(FileLength(Img()), uint64_t(1) << 43);
    EXPECT_EQ(FileLength(Dir()), 0u);
    EXPECT_EQ(archive->Count(), 0);
}
