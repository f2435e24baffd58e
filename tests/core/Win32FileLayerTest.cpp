// The Win32 file layer where Windows differs from Linux: share modes as holds,
// files removed or renamed over while open, Windows' error codes in the
// program's words, long paths and names in UTF-16. Built on Windows only.
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"
#include "platform/WidePath.h"
#include "platform/Win32Errors.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = WideFromUtf8(utf8).value();
    return std::wstring(text.begin(), text.end());
}

// Another program's open of the file, as CreateFileW makes it.
HANDLE OpenAsAnotherProgram(const std::string& path, DWORD access, DWORD share) {
    return ::CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

enum class Hold { Exclusive, ReadShared };

struct ShareCase {
    const char* title;
    Hold hold;
    DWORD access;
    DWORD share;
    bool opens;
};

void PrintTo(const ShareCase& c, std::ostream* os) {
    *os << c.title;
}

class ShareModes : public ::testing::TestWithParam<ShareCase> {};

// What another program may do while Pelkon holds a file. The games open their
// archives for reading and share only reading: a held archive keeps them out.
TEST_P(ShareModes, LetInOnlyWhatTheHoldAllows) {
    const ShareCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("gta3.img");
    WriteAll(path, "data");
    FileStream held =
        c.hold == Hold::Exclusive ? FileStream::OpenHeld(path) : FileStream::OpenReadShared(path);
    const HANDLE other = OpenAsAnotherProgram(path, c.access, c.share);
    const DWORD error = ::GetLastError();
    EXPECT_EQ(other != INVALID_HANDLE_VALUE, c.opens);
    if (other != INVALID_HANDLE_VALUE)
        ::CloseHandle(other);
    else
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

INSTANTIATE_TEST_SUITE_P(
    Opens, ShareModes,
    ::testing::Values(
        ShareCase{"GameWhileHeld", Hold::Exclusive, GENERIC_READ, FILE_SHARE_READ, false},
        ShareCase{"WriterWhileHeld", Hold::Exclusive, ReadWrite, ShareAll, false},
        ShareCase{"ExclusiveReaderWhileHeld", Hold::Exclusive, GENERIC_READ, 0, false},
        ShareCase{"ReaderAllowingWritersWhileHeld", Hold::Exclusive, GENERIC_READ, ShareAll, true},
        ShareCase{"AttributesOnlyWhileHeld", Hold::Exclusive, FILE_READ_ATTRIBUTES, 0, true},
        ShareCase{"GameWhileRead", Hold::ReadShared, GENERIC_READ, FILE_SHARE_READ, true},
        ShareCase{"WriterWhileRead", Hold::ReadShared, ReadWrite, ShareAll, false},
        ShareCase{"ExclusiveReaderWhileRead", Hold::ReadShared, GENERIC_READ, 0, false}),
    [](const auto& test) { return std::string(test.param.title); });

// A file another program holds without letting others write is refused by
// every open of ours that would write, "in use by another program".
TEST(Win32FileLayer, AFileAnotherProgramHoldsIsInUse) {
    TempDir dir;
    const std::string path = dir.File("gta3.img");
    WriteAll(path, "data");
    const HANDLE game = OpenAsAnotherProgram(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(game, INVALID_HANDLE_VALUE);
    try {
        FileStream::OpenHeld(path);
        ADD_FAILURE() << "held a file a game has open";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.SystemError(), EWOULDBLOCK);
        EXPECT_EQ(error.Reason(), "Cannot open: in use by another program");
    }
    EXPECT_EQ(MessageOf([&] { FileStream::CreateHeld(path); }), "Cannot create file " + path);
    EXPECT_FALSE(FileStream::TryHold(path).has_value());
    FileStream reader = FileStream::OpenReadShared(path);
    ::CloseHandle(game);
    EXPECT_EQ(ReadAll(path), "data");
}

// A file removed while another program still has it open is "delete pending"
// on Windows until that program closes it; its name is free again then, and
// (with POSIX semantics) at once.
TEST(Win32FileLayer, ARemovedFileThatIsStillOpenLeavesItsNameOnceClosed) {
    TempDir dir;
    const std::string path = dir.File("leftover.bin");
    WriteAll(path, "old");
    const HANDLE other = OpenAsAnotherProgram(path, GENERIC_READ, ShareAll);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    RemoveFile(path);
    char byte = 0;
    DWORD got = 0;
    EXPECT_TRUE(::ReadFile(other, &byte, 1, &got, nullptr)); // still readable by its holder
    EXPECT_EQ(byte, 'o');
    ::CloseHandle(other);
    EXPECT_EQ(PathKind(path), TPathKind::Missing);
    FileStream again = FileStream::CreateNew(path);
    again.Write("new", 3);
    again.Close();
    EXPECT_EQ(ReadAll(path), "new");
}

// Renaming over a file this program holds works even where Windows cannot
// replace an open file: the hold is let go for the rename.
TEST(Win32FileLayer, RenamingOverAFileThisProgramHoldsReplacesIt) {
    TempDir dir;
    const std::string target = dir.File("gta3.dir");
    WriteAll(target, "old");
    FileStream held = FileStream::OpenHeld(target);
    TTemporaryFile replacement(target);
    replacement.Stream().Write("new", 3);
    replacement.ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    replacement.Stream().Close();
    EXPECT_EQ(ReadAll(target), "new");
    std::vector<std::string> names = FolderNames(dir.Path());
    EXPECT_EQ(names, std::vector<std::string>{"gta3.dir"});
}

// Where another program holds the file too, the rename fails as "in use",
// and this program's own hold is taken again: its stream still reads.
TEST(Win32FileLayer, ARenameThatFailsGivesBackThisProgramsHold) {
    TempDir dir;
    const std::string target = dir.File("gta3.dir");
    WriteAll(target, "old");
    FileStream held = FileStream::OpenReadShared(target);
    const HANDLE game = OpenAsAnotherProgram(target, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(game, INVALID_HANDLE_VALUE);
    WriteAll(dir.File("new"), "new");
    try {
        RenameFile(dir.File("new"), target);
        ADD_FAILURE() << "renamed over a file a game has open";
    } catch (const EOSError& error) {
        EXPECT_TRUE(error.SystemError() == EWOULDBLOCK || error.SystemError() == EACCES)
            << error.what();
    }
    ::CloseHandle(game);
    char bytes[3] = {};
    held.Seek(0);
    held.ReadExact(bytes, 3);
    EXPECT_EQ(std::string(bytes, 3), "old");
    EXPECT_EQ(ReadAll(target), "old");
}

struct ErrorCase {
    unsigned long windows;
    int number;
    const char* reason;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << "Windows error " << c.windows;
}

class ErrorCodes : public ::testing::TestWithParam<ErrorCase> {};

// Each Windows code becomes the error number the rest of the program knows,
// told in the words Linux's C library uses.
TEST_P(ErrorCodes, ReadAsOnLinux) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(ErrorNumberFromWindows(c.windows), c.number);
    EXPECT_EQ(EOSError(c.number, "x").Reason(), c.reason);
    EXPECT_EQ(std::string(EOSError(c.number).what()),
              "System Error.  Code: " + std::to_string(c.number) + ".\n" +
                  (c.number == EWOULDBLOCK ? "Resource temporarily unavailable" : c.reason));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorCodes,
    ::testing::Values(ErrorCase{ERROR_FILE_NOT_FOUND, ENOENT, "No such file or directory"},
                      ErrorCase{ERROR_PATH_NOT_FOUND, ENOENT, "No such file or directory"},
                      ErrorCase{ERROR_ACCESS_DENIED, EACCES, "Permission denied"},
                      ErrorCase{ERROR_SHARING_VIOLATION, EWOULDBLOCK, "in use by another program"},
                      ErrorCase{ERROR_LOCK_VIOLATION, EWOULDBLOCK, "in use by another program"},
                      ErrorCase{ERROR_FILE_EXISTS, EEXIST, "File exists"},
                      ErrorCase{ERROR_ALREADY_EXISTS, EEXIST, "File exists"},
                      ErrorCase{ERROR_DISK_FULL, ENOSPC, "No space left on device"},
                      ErrorCase{ERROR_HANDLE_DISK_FULL, ENOSPC, "No space left on device"},
                      ErrorCase{ERROR_FILE_TOO_LARGE, EFBIG, "File too large"},
                      ErrorCase{ERROR_WRITE_PROTECT, EROFS, "Read-only file system"},
                      ErrorCase{ERROR_DIRECTORY, ENOTDIR, "Not a directory"},
                      ErrorCase{ERROR_DIR_NOT_EMPTY, ENOTEMPTY, "Directory not empty"},
                      ErrorCase{ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG, "File name too long"},
                      ErrorCase{ERROR_INVALID_NAME, EINVAL, "Invalid argument"},
                      ErrorCase{ERROR_NOT_SAME_DEVICE, EXDEV, "Invalid cross-device link"},
                      ErrorCase{ERROR_TOO_MANY_OPEN_FILES, EMFILE, "Too many open files"},
                      ErrorCase{ERROR_NOT_ENOUGH_MEMORY, ENOMEM, "Cannot allocate memory"},
                      ErrorCase{ERROR_NOT_SUPPORTED, EOPNOTSUPP, "Operation not supported"},
                      ErrorCase{ERROR_INVALID_FUNCTION, ENOSYS, "Function not implemented"},
                      ErrorCase{ERROR_BROKEN_PIPE, EPIPE, "Broken pipe"},
                      ErrorCase{ERROR_CRC, EIO, "Input/output error"},
                      ErrorCase{ERROR_PRIVILEGE_NOT_HELD, EPERM, "Operation not permitted"},
                      ErrorCase{ERROR_NO_UNICODE_TRANSLATION, EILSEQ,
                                "Invalid or incomplete multibyte or wide character"},
                      ErrorCase{0xDEAD, EIO, "Input/output error"}),
    [](const auto& test) { return "Code" + std::to_string(test.param.windows); });

// Past MAX_PATH (260 characters) the layer reaches files through the "\\?\"
// form.
TEST(Win32FileLayer, PathsPastMaxPathWork) {
    TempDir dir;
    std::string folder = dir.Path();
    while (folder.size() < 300) {
        folder += "/" + std::string(40, 'd');
        std::u16string wide = u"\\\\?\\" + WideFromUtf8(folder).value();
        std::replace(wide.begin(), wide.end(), u'/', u'\\');
        ASSERT_TRUE(::CreateDirectoryW(std::wstring(wide.begin(), wide.end()).c_str(), nullptr))
            << ::GetLastError();
    }
    const std::string path = folder + "/gta3.img";
    ASSERT_GT(path.size(), ShortPathLimit);
    {
        FileStream created = FileStream::CreateNew(path);
        created.Write("long", 4);
        created.Close();
    }
    EXPECT_EQ(PathKind(path), TPathKind::File);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"gta3.img"});
    RenameFile(path, folder + "/renamed.img");
    EXPECT_EQ(FileStream::OpenReadShared(folder + "/renamed.img").Length(), 4u);
    RemoveFile(folder + "/renamed.img");
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{});
}

// Names are UTF-8 inside the program and UTF-16 on disk.
TEST(Win32FileLayer, NamesBeyondTheCodePageKeepEveryCharacter) {
    TempDir dir;
    const std::string name = "v\xc3\xa9hicule-\xe6\x97\xa5\xe6\x9c\xac-\xf0\x9f\x9a\x97.dff";
    FileStream created = FileStream::CreateNew(dir.File(name));
    created.Close();
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{name});
    const std::u16string wide = WideFromUtf8(dir.File(name)).value();
    EXPECT_NE(::GetFileAttributesW(std::wstring(wide.begin(), wide.end()).c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(MessageOf([&] { FileStream::OpenHeld(dir.File("\xff.dff")); }),
              "Cannot open file " + dir.File("\xff.dff"));
}

// File identity is the volume's serial number and the file's index: two
// names of one file are the same file, two files are not.
TEST(Win32FileLayer, FileIdentityTellsFilesApart) {
    TempDir dir;
    WriteAll(dir.File("a"), "a");
    WriteAll(dir.File("b"), "b");
    MakeHardLink(dir.File("a"), dir.File("a2"));
    const TFileInfo a = PathInfo(dir.File("a")).value();
    EXPECT_TRUE(a.SameFile(PathInfo(dir.File("a2")).value()));
    EXPECT_FALSE(a.SameFile(PathInfo(dir.File("b")).value()));
    EXPECT_EQ(a.links, 2u);
    EXPECT_TRUE(a.SameFile(FileStream::OpenReadShared(dir.File("a2")).Info()));
}

// The owner is asked of the file's security descriptor: what this user
// makes is its own, whether asked through the open file or its path, and a
// file it cannot ask about (delete pending) is nobody's.
TEST(Win32FileLayer, FilesThisUserMakesAreItsOwn) {
    TempDir dir;
    WriteAll(dir.File("a"), "a");
    FileStream held = FileStream::OpenHeld(dir.File("a"));
    const TFileInfo info = held.Info();
    EXPECT_TRUE(info.OwnedByThisUser());
    EXPECT_EQ(PathInfo(dir.File("a")).value().owner, info.owner);
    EXPECT_FALSE(TFileInfo{}.OwnedByThisUser());
}

// A new temporary file is held from the call that makes it: no sweep, no
// other program, can take it before its writer has it.
TEST(Win32FileLayer, ANewTemporaryFileIsHeldFromItsCreation) {
    TempDir dir;
    TTemporaryFile file(dir.File("x.bin"));
    const std::vector<std::string> names = FolderNames(dir.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_FALSE(FileStream::TryHold(dir.File(names[0])).has_value());
    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), 0u);
    EXPECT_EQ(FolderNames(dir.Path()), names);
}

TEST(Win32FileLayer, FreeSpaceIsTheDisksAndCanBeFaked) {
    TempDir dir;
    EXPECT_GT(FreeSpace(dir.Path()), 0u);
    faults::FakeFreeSpace(4096);
    EXPECT_EQ(FreeSpace(dir.Path()), 4096u);
    faults::Reset();
}

} // namespace
