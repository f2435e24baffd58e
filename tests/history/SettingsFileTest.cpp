// The settings file's reading and writing rules, checked byte for byte.
#include "history/SettingsFile.h"
#include "platform/Errors.h"
#include "tests/support/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include "platform/FaultInjection.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QByteArray Read(const QByteArray& section, const QByteArray& key) {
        TSettingsFile ini(Ini);
        return ini.ReadString(section, key, "(default)");
    }

    // Writes through a settings file of its own, flushed when it is released.
    QByteArray AfterWrite(const QByteArray& before, const QByteArray& section,
                          const QByteArray& key, const QByteArray& value) {
        WriteBytes(Ini, before);
        {
            TSettingsFile ini(Ini);
            ini.WriteString(section, key, value);
        }
        return ReadBytes(Ini);
    }

    QByteArray AfterErase(const QByteArray& before, const QByteArray& section) {
        WriteBytes(Ini, before);
        TSettingsFile ini(Ini);
        ini.EraseSection(section);
        ini.Flush();
        return ReadBytes(Ini);
    }

    // Which file the name shows (on Windows its file index).
    uint64_t Inode() const { return PathInfo(HostBytes(Ini)).value().inode; }

    TestFolder Folder;
    QString Ini = Folder.File("Pelkon.ini");
};

// A file, what to look up in it, and what a read must give.
struct ReadCase {
    const char* Name;
    QByteArray File;
    QByteArray Section;
    QByteArray Key;
    QByteArray Expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.Name;
}

class SettingsReadTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsReadTest, ReadsAsThePlatformDoes) {
    WriteBytes(Ini, GetParam().File);
    EXPECT_EQ(Read(GetParam().Section, GetParam().Key), GetParam().Expected);
}

const QByteArray Default = "(default)";

// Bytes of a literal that holds NULs.
template <size_t N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// The text in UTF-16 with its byte-order mark, as Windows' Notepad saves "Unicode".
QByteArray Utf16(const QString& text, QStringConverter::Encoding order) {
    QStringEncoder encoder(order, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsReadTest,
    ::testing::Values(
        ReadCase{"CrLf", "[s]\r\na=1\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"LfAlone", "[s]\na=1\nk=v\n", "s", "k", "v"},
        ReadCase{"CrAlone", "[s]\ra=1\rk=v\r", "s", "k", "v"},
        ReadCase{"MixedEnds", "[t]\r\nk=no\r[s]\nk=v\r\n", "s", "k", "v"},
        ReadCase{"NoFinalEnd", "[s]\r\nk=v", "s", "k", "v"},
        ReadCase{"SectionCase", "[HiStOrY]\r\nk=v\r\n", "history", "k", "v"},
        ReadCase{"KeyCase", "[s]\r\nKey=v\r\n", "s", "kEY", "v"},
        ReadCase{"AccentedCase", "[s]\r\n\xc3\x89t\xc3\xa9=v\r\n", "s", "\xc3\xa9T\xc3\x89", "v"},
        ReadCase{"Blanks", " [ \ts \t] \r\n \tk \t= \t v w \t \r\n", "s", "k", "v w"},
        ReadCase{"BlanksInArguments", "[s]\r\nk=v\r\n", " s\t", "\tk ", "v"},
        ReadCase{"DoubleQuotes", "[s]\r\nk=\"a b\"\r\n", "s", "k", "a b"},
        ReadCase{"SingleQuotes", "[s]\r\nk='a'\r\n", "s", "k", "a"},
        ReadCase{"QuotesAfterTrim", "[s]\r\nk= \" a \" \r\n", "s", "k", " a "},
        ReadCase{"OnePairOnly", "[s]\r\nk=\"\"a\"\"\r\n", "s", "k", "\"a\""},
        ReadCase{"UnmatchedQuote", "[s]\r\nk=\"abc\r\n", "s", "k", "\"abc"},
        ReadCase{"MixedQuotes", "[s]\r\nk=\"abc'\r\n", "s", "k", "\"abc'"},
        ReadCase{"LoneQuote", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        ReadCase{"EmptyQuotes", "[s]\r\nk=\"\"\r\n", "s", "k", ""},
        ReadCase{"EmptyValue", "[s]\r\nk=\r\n", "s", "k", ""},
        ReadCase{"FirstEqualsSplits", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        ReadCase{"LineWithoutEquals", "[s]\r\njust text\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"OpenBracketIsNoHeader", "[s]\r\n[broken\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"TextAfterHeader", "[s] more\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"SemicolonIsText", "[s]\r\n;k=v\r\n", "s", ";k", "v"},
        ReadCase{"HashInValue", "[s]\r\nk=v ;c #d\r\n", "s", "k", "v ;c #d"},
        ReadCase{"FirstKeyWins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        ReadCase{"FirstSectionWins", "[s]\r\nk=1\r\n[S]\r\nk=2\r\n", "s", "k", "1"},
        ReadCase{"SecondSectionUnread", "[s]\r\na=1\r\n[s]\r\nk=2\r\n", "s", "k", Default},
        ReadCase{"KeyOfOtherSection", "[t]\r\nk=v\r\n[s]\r\n", "s", "k", Default},
        ReadCase{"KeyBeforeAnySection", "k=v\r\n[s]\r\n", "s", "k", Default},
        ReadCase{"MissingSection", "[t]\r\nk=v\r\n", "s", "k", Default},
        ReadCase{"Utf8Value", "[s]\r\nk=/home/Zo\xc3\xab/\xc3\x89t\xc3\xa9.img\r\n", "s", "k",
                 "/home/Zo\xc3\xab/\xc3\x89t\xc3\xa9.img"},
        ReadCase{"Latin1Value", "[s]\r\nk=/home/caf\xe9.img\r\n", "s", "k", "/home/caf\xe9.img"},
        ReadCase{"Utf8Mark", "\xef\xbb\xbf[s]\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"MarkInANameIsPartOfIt", "[t]\r\n[\xef\xbb\xbfs]\r\nk=v\r\n", "s", "k", Default},
        ReadCase{"Utf16LittleEndian", Utf16("[s]\r\nk=caf\u00e9\r\n", QStringConverter::Utf16LE),
                 "s", "k", "caf\xc3\xa9"},
        ReadCase{"Utf16BigEndian", Utf16("[s]\nk=v\n", QStringConverter::Utf16BE), "s", "k", "v"},
        ReadCase{"CtrlZEndsLastLine", "[s]\r\nk=v\x1a", "s", "k", "v"},
        ReadCase{"CtrlZBeforeLineEnd", "[s]\r\nk=\"a \"\x1a\r\n", "s", "k", "a "},
        ReadCase{"CtrlZInside",
                 "[s]\r\nk=a\x1a"
                 "b\r\n",
                 "s", "k",
                 "a\x1a"
                 "b"},
        ReadCase{"NulEndsValue", Bytes("[s]\r\nk= ab \0cd\r\nj=x\r\n"), "s", "k", "ab"},
        ReadCase{
            "NulInUtf16",
            Utf16(QStringLiteral("[s]\r\nk=ab") + QChar(0) + "cd\r\n", QStringConverter::Utf16LE),
            "s", "k", "ab"}),
    [](const ::testing::TestParamInfo<ReadCase>& test) { return std::string(test.param.Name); });

TEST_F(SettingsFileTest, MissingFileReadsAsDefaultAndIsNotMade) {
    EXPECT_EQ(Read("s", "k"), Default);
    EXPECT_FALSE(FileExists(Ini));
}

TEST_F(SettingsFileTest, LongValuesAreCutAt2047) {
    WriteBytes(Ini, "[s]\r\nlong=" + QByteArray(3000, 'x') + "\r\nexact=\"" +
                        QByteArray(2047, 'y') + "\"\r\nsplit=" + QByteArray(2046, 'z') +
                        "\xc3\xa9\r\n");
    EXPECT_EQ(Read("s", "long"), QByteArray(2047, 'x'));
    EXPECT_EQ(Read("s", "exact"), QByteArray(2047, 'y'));
    // The cut falls inside a two-byte letter, which is dropped whole.
    EXPECT_EQ(Read("s", "split"), QByteArray(2046, 'z'));
}

// A file before, one write, and the file after it.
struct WriteCase {
    const char* Name;
    QByteArray Before;
    QByteArray Section;
    QByteArray Key;
    QByteArray Value;
    QByteArray After;
};

void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << c.Name;
}

class SettingsWriteTest : public SettingsFileTest,
                          public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SettingsWriteTest, KeepsEveryOtherByte) {
    const WriteCase& c = GetParam();
    EXPECT_EQ(AfterWrite(c.Before, c.Section, c.Key, c.Value), c.After);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsWriteTest,
    ::testing::Values(
        WriteCase{"IntoEmptyFile", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
        WriteCase{"NewSectionAtEnd", "[a]\nx = 1\n", "s", "k", "v", "[a]\nx = 1\n[s]\r\nk=v\r\n"},
        WriteCase{"NewSectionAfterMissingEnd", "[a]\r\nx=1", "s", "k", "v",
                  "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
        WriteCase{"NewKeyAtSectionEnd", "[s]\r\na=1\r\n\r\n[t]\r\nb=2\r\n", "s", "k", "v",
                  "[s]\r\na=1\r\nk=v\r\n\r\n[t]\r\nb=2\r\n"},
        WriteCase{"NewKeyAfterText", "[s]\ra=1\rnote\r", "S", "k", "v", "[s]\ra=1\rnote\rk=v\r\n"},
        WriteCase{"NewKeyInEmptySection", "[s]\r\n[t]\r\n", "s", "k", "v", "[s]\r\nk=v\r\n[t]\r\n"},
        WriteCase{"NewKeyAtFileEnd", "[s]\r\na=1", "s", "k", "v", "[s]\r\na=1\r\nk=v\r\n"},
        WriteCase{"ReplaceKeepsLineEnd", "[s]\nx = 1\n K = old \nz=3", "s", "k", "new",
                  "[s]\nx = 1\nk=new\nz=3"},
        WriteCase{"ReplaceFirstOfTwoKeys", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "v",
                  "[s]\r\nk=v\r\nk=2\r\n"},
        WriteCase{"FirstOfTwoSections", "[s]\r\na=1\r\n[s]\r\nk=2\r\n", "s", "k", "v",
                  "[s]\r\na=1\r\nk=v\r\n[s]\r\nk=2\r\n"},
        WriteCase{"OtherBytesKept", "\xef\xbb\xbf; \xe9\t\r\n[a]\r\nx=\"q\" \r\n", "a", "y", "2",
                  "\xef\xbb\xbf; \xe9\t\r\n[a]\r\nx=\"q\" \r\ny=2\r\n"},
        WriteCase{"BlanksKeptByQuotes", "", "s", "k", " a\t", "[s]\r\nk=\" a\t\"\r\n"},
        WriteCase{"QuotePairKeptByQuotes", "", "s", "k", "'a'", "[s]\r\nk=\"'a'\"\r\n"},
        WriteCase{"LoneQuoteAsIs", "", "s", "k", "\"a", "[s]\r\nk=\"a\r\n"},
        WriteCase{"Utf8Value", "", "s", "k", "/Zo\xc3\xab.img", "[s]\r\nk=/Zo\xc3\xab.img\r\n"},
        WriteCase{"Latin1Value", "", "s", "k", "/caf\xe9.img", "[s]\r\nk=/caf\xe9.img\r\n"},
        WriteCase{"Utf8MarkKept", "\xef\xbb\xbf[s]\r\nk=old\r\n", "s", "k", "new",
                  "\xef\xbb\xbf[s]\r\nk=new\r\n"},
        WriteCase{"CtrlZKeptByQuotes", "", "s", "k", "a\x1a", "[s]\r\nk=\"a\x1a\"\r\n"},
        WriteCase{"CtrlZAndNulLinesKept", Bytes("[s]\r\nz=a\x1a\r\nn=b\0c\r\nk=old\x1a"), "s", "k",
                  "new", Bytes("[s]\r\nz=a\x1a\r\nn=b\0c\r\nk=new")}),
    [](const ::testing::TestParamInfo<WriteCase>& test) { return std::string(test.param.Name); });

TEST_F(SettingsFileTest, WrittenValuesReadBackAsGiven) {
    const QByteArrayList values = {
        "plain", " lead", "trail\t", "\"both\"", "'single'",           "\"",
        "a=b",   "",      "x;#y",    "caf\xe9",  QByteArray(2047, 'w')};
    {
        TSettingsFile ini(Ini);
        for (int i = 0; i < values.size(); ++i)
            ini.WriteString("s", QByteArray::number(i), values[i]);
        for (int i = 0; i < values.size(); ++i) // also before the file is written
            EXPECT_EQ(ini.ReadString("s", QByteArray::number(i), Default), values[i]);
    }
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(Read("s", QByteArray::number(i)), values[i]);
}

TEST_F(SettingsFileTest, WritesReachTheFileOnFlushOrRelease) {
    TSettingsFile ini(Ini);
    ini.WriteString("s", "k", "v");
    EXPECT_FALSE(FileExists(Ini));
    ini.Flush();
    EXPECT_EQ(ReadBytes(Ini), "[s]\r\nk=v\r\n");
}

TEST_F(SettingsFileTest, UnchangedFileIsNotRewritten) {
    WriteBytes(Ini, "[s]\r\nk=v\r\n");
    const uint64_t before = Inode();
    EXPECT_EQ(AfterWrite("[s]\r\nk=v\r\n", "S", "K", "v"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(AfterErase("[s]\r\nk=v\r\n", "missing"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(Inode(), before);
}

TEST_F(SettingsFileTest, Utf16FileIsWrittenBackInUtf16) {
    for (const auto order : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        WriteBytes(Ini, Utf16("[other]\r\nx=\u00e9t\u00e9 \u20ac\r\n[s]\r\nk=old\r\n", order));
        {
            TSettingsFile ini(Ini);
            ini.WriteString("s", "k", "new");
            ini.WriteString("s", "j", "caf\xc3\xa9");
            ini.Flush();
        }
        EXPECT_EQ(
            ReadBytes(Ini),
            Utf16("[other]\r\nx=\u00e9t\u00e9 \u20ac\r\n[s]\r\nk=new\r\nj=caf\u00e9\r\n", order));
    }
}

// UTF-16 holds no bytes that are not text, and a broken UTF-16 file cannot be
// written back as it was: the file is left whole and the save fails, never
// turned half UTF-16 and half bytes.
TEST_F(SettingsFileTest, Utf16FileIsLeftAloneWhenItCannotBeWrittenFaithfully) {
    const std::string unable = "Unable to write to " + Ini.toStdString();
    const QByteArray good = Utf16("[s]\r\nk=v\r\n", QStringConverter::Utf16LE);
    WriteBytes(Ini, good);
    {
        TSettingsFile ini(Ini);
        ini.WriteString("s", "k", "caf\xe9");
        EXPECT_EQ(MessageOf([&] { ini.Flush(); }), unable);
    }
    EXPECT_EQ(ReadBytes(Ini), good);

    const QByteArray lonePart = good + "\xd8";
    const QByteArray loneSurrogate =
        Utf16("[s]\r\nk=v\r\n", QStringConverter::Utf16LE) + QByteArray("\x00\xd8\r\x00\n\x00", 6);
    for (const QByteArray& broken : {lonePart, loneSurrogate}) {
        WriteBytes(Ini, broken);
        TSettingsFile ini(Ini);
        EXPECT_EQ(ini.ReadString("s", "k", Default), "v");
        EXPECT_EQ(MessageOf([&] { ini.WriteString("s", "k", "w"); }), unable);
        EXPECT_EQ(MessageOf([&] { ini.EraseSection("s"); }), unable);
        ini.Flush();
        EXPECT_EQ(ReadBytes(Ini), broken);
    }
}

// A file before, the section erased, and the file after it.
struct EraseCase {
    const char* Name;
    QByteArray Before;
    QByteArray Section;
    QByteArray After;
};

void PrintTo(const EraseCase& c, std::ostream* out) {
    *out << c.Name;
}

class SettingsEraseTest : public SettingsFileTest,
                          public ::testing::WithParamInterface<EraseCase> {};

TEST_P(SettingsEraseTest, RemovesHeaderAndLines) {
    const EraseCase& c = GetParam();
    EXPECT_EQ(AfterErase(c.Before, c.Section), c.After);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsEraseTest,
    ::testing::Values(EraseCase{"Middle", "top\r\n[a]\r\nx=1\r\n[s]\r\nk=v\r\nnote\r\n\r\n[b]\ny=2",
                                "s", "top\r\n[a]\r\nx=1\r\n[b]\ny=2"},
                      EraseCase{"Last", "[a]\nx=1\n[ S ]\nk=v", "s", "[a]\nx=1\n"},
                      EraseCase{"Only", "[s]\r\nk=v\r\n", "s", ""},
                      EraseCase{"EveryCopy", "[s]\r\nk=1\r\n[a]\r\nx=1\r\n[S]\r\nk=2\r\n", "s",
                                "[a]\r\nx=1\r\n"},
                      EraseCase{"Missing", "[a]\r\nx=1", "s", "[a]\r\nx=1"}),
    [](const ::testing::TestParamInfo<EraseCase>& test) { return std::string(test.param.Name); });

TEST_F(SettingsFileTest, ErasingInAMissingFileMakesNoFile) {
    TSettingsFile ini(Ini);
    ini.EraseSection("s");
    ini.Flush();
    EXPECT_FALSE(FileExists(Ini));
}

TEST_F(SettingsFileTest, SectionWrittenAfterEraseHoldsOnlyTheNewKeys) {
    // With a second copy of the section left behind, its old keys would come back.
    WriteBytes(Ini, "[s]\r\n0=a\r\n[s]\r\n0=b\r\n1=stale\r\n");
    {
        TSettingsFile ini(Ini);
        ini.EraseSection("s");
        ini.WriteString("s", "0", "new");
    }
    EXPECT_EQ(ReadBytes(Ini), "[s]\r\n0=new\r\n");
    EXPECT_EQ(Read("s", "1"), Default);
}

// What cannot be written without turning into other lines, keys or sections.
struct RefusedWrite {
    const char* Name;
    QByteArray Section;
    QByteArray Key;
    QByteArray Value;
};

void PrintTo(const RefusedWrite& c, std::ostream* out) {
    *out << c.Name;
}

class SettingsRefusalTest : public SettingsFileTest,
                            public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(SettingsRefusalTest, WritesNothing) {
    const RefusedWrite& c = GetParam();
    WriteBytes(Ini, "[s]\r\nk=v\r\n");
    TSettingsFile ini(Ini);
    EXPECT_EQ(MessageOf([&] { ini.WriteString(c.Section, c.Key, c.Value); }),
              "Unable to write to " + Ini.toStdString());
    ini.Flush();
    EXPECT_EQ(ReadBytes(Ini), "[s]\r\nk=v\r\n");
}

INSTANTIATE_TEST_SUITE_P(Rules, SettingsRefusalTest,
                         ::testing::Values(RefusedWrite{"LfInValue", "s", "k", "a\nb"},
                                           RefusedWrite{"NulInValue", "s", "k", Bytes("a\0b")},
                                           RefusedWrite{"CrInValue", "s", "k", "a\rb"},
                                           RefusedWrite{"BreakInKey", "s", "k\r\nx", "v"},
                                           RefusedWrite{"EqualsInKey", "s", "k=x", "v"},
                                           RefusedWrite{"BracketKey", "s", "[t]", "v"},
                                           RefusedWrite{"BreakInSection", "s\nt", "k", "v"},
                                           RefusedWrite{"BracketInSection", "s]x", "k", "v"}),
                         [](const ::testing::TestParamInfo<RefusedWrite>& test) {
                             return std::string(test.param.Name);
                         });

// A file, made of `head` and then `fill` up to `size` bytes (NULs as a hole).
struct SizeCase {
    const char* Name;
    QByteArray Head;
    char Fill;
    qint64 Size;
    bool TooLarge;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.Name;
}

class SettingsSizeTest : public SettingsFileTest, public ::testing::WithParamInterface<SizeCase> {};

// Past the bound nothing is read, every read says so, and nothing is written.
TEST_P(SettingsSizeTest, ALargerFileIsNeitherReadNorWritten) {
    const SizeCase& c = GetParam();
    WriteBytes(Ini, c.Head);
    if (c.Fill == '\0')
        ASSERT_TRUE(QFile::resize(Ini, c.Size));
    else
        WriteBytes(Ini, c.Head + QByteArray(c.Size - c.Head.size(), c.Fill));
    const uint64_t inode = Inode();
    TSettingsFile ini(Ini);
    if (!c.TooLarge) {
        EXPECT_EQ(ini.ReadString("s", "k", Default), "v");
        return;
    }
    const std::string tooLarge =
        HostBytes(Ini) + " is over 1 MiB, too large to be Pelkon's settings file: it is left as "
                         "it is, and the list of recent files starts empty and is not saved";
    for (int read = 0; read < 2; ++read)
        EXPECT_EQ(MessageOf([&] { ini.ReadString("s", "k", Default); }), tooLarge);
    const std::string unable = "Unable to write to " + HostBytes(Ini);
    EXPECT_EQ(MessageOf([&] { ini.WriteString("s", "k", "w"); }), unable);
    EXPECT_EQ(MessageOf([&] { ini.EraseSection("s"); }), unable);
    ini.Flush();
    EXPECT_EQ(Inode(), inode);
    EXPECT_EQ(QFileInfo(Ini).size(), c.Size);
    QFile file(Ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(c.Head.size()), c.Head);
}

constexpr qint64 Bound = TSettingsFile::MaxFileSize;

INSTANTIATE_TEST_SUITE_P(
    Bound, SettingsSizeTest,
    ::testing::Values(SizeCase{"AtTheBound", "[s]\r\nk=v\r\n", '\n', Bound, false},
                      SizeCase{"OneBytePast", "[s]\r\nk=v\r\n", '\n', Bound + 1, true},
                      SizeCase{"Utf16OnePast", Utf16("[s]\r\nk=v\r\n", QStringConverter::Utf16LE),
                               ' ', Bound + 1, true},
                      SizeCase{"FarPastAndSparse", "[s]\r\nk=v\r\n", '\0', 256 * Bound, true}),
    [](const ::testing::TestParamInfo<SizeCase>& test) { return std::string(test.param.Name); });

// What the next start would refuse to read is not written either.
TEST_F(SettingsFileTest, AWriteThatWouldPassTheBoundIsRefused) {
    const QByteArray head = "[s]\r\nk=v\r\n";
    const QByteArray before = head + QByteArray(Bound - head.size() - 4, '\n');
    WriteBytes(Ini, before);
    TSettingsFile ini(Ini);
    ini.WriteString("s", "k", "vw"); // one byte more
    ini.WriteString("s", "j", "x");  // and five
    EXPECT_EQ(MessageOf([&] { ini.Flush(); }), "Unable to write to " + HostBytes(Ini));
    EXPECT_EQ(ReadBytes(Ini), before);
}

TEST_F(SettingsFileTest, FileThatCannotBeReadIsNeverOverwritten) {
    ASSERT_TRUE(QDir().mkdir(Ini));
    ASSERT_TRUE(QDir(Ini).exists());
    TSettingsFile ini(Ini);
    EXPECT_EQ(ini.ReadString("s", "k", Default), Default);
    const std::string unable = "Unable to write to " + Ini.toStdString();
    EXPECT_EQ(MessageOf([&] { ini.WriteString("s", "k", "v"); }), unable);
    EXPECT_EQ(MessageOf([&] { ini.EraseSection("s"); }), unable);
    EXPECT_TRUE(QDir(Ini).exists());
}

} // namespace

namespace {

// Where the settings folder lets no new file be made (EACCES, EPERM), the
// file is rewritten in place; any other refusal of the new file writes nothing.
struct NewFileRefusal {
    int Error;
    bool WrittenInPlace;
};

void PrintTo(const NewFileRefusal& c, std::ostream* out) {
    *out << std::strerror(c.Error);
}

class SettingsNewFileRefusedTest : public SettingsFileTest,
                                   public ::testing::WithParamInterface<NewFileRefusal> {
protected:
    void TearDown() override { faults::Reset(); }
};

TEST_P(SettingsNewFileRefusedTest, RewritesInPlaceOnlyWhereTheFolderIsClosed) {
    const QByteArray before = "[s]\r\nk=old\r\n";
    WriteBytes(Ini, before);
    const uint64_t inode = Inode();
    TSettingsFile ini(Ini);
    ini.WriteString("s", "k", "new");
    faults::FailNthCall(1, GetParam().Error, faults::Call::Open); // the file made beside
    const std::string message = MessageOf([&] { ini.Flush(); });
    if (GetParam().WrittenInPlace) {
        EXPECT_EQ(message, "");
        EXPECT_EQ(ReadBytes(Ini), "[s]\r\nk=new\r\n");
        EXPECT_EQ(Inode(), inode);
    } else {
        EXPECT_EQ(message, "Unable to write to " + HostBytes(Ini));
        EXPECT_EQ(ReadBytes(Ini), before);
    }
    EXPECT_EQ(QDir(Folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Pelkon.ini"});
}

INSTANTIATE_TEST_SUITE_P(Errors, SettingsNewFileRefusedTest,
                         ::testing::Values(NewFileRefusal{EACCES, true},
                                           NewFileRefusal{EPERM, true},
                                           NewFileRefusal{ENOSPC, false},
                                           NewFileRefusal{EMFILE, false}));

#ifndef _WIN32
// A FIFO at the path is neither waited on nor written; a link to a file is
// read through and stays a link, the file it leads to rewritten.
TEST_F(SettingsFileTest, AFifoIsNotWaitedOnAndALinkStaysALink) {
    ASSERT_EQ(mkfifo(HostBytes(Ini).c_str(), 0600), 0);
    {
        TSettingsFile ini(Ini);
        EXPECT_EQ(ini.ReadString("s", "k", Default), Default);
        EXPECT_EQ(MessageOf([&] { ini.WriteString("s", "k", "v"); }),
                  "Unable to write to " + HostBytes(Ini));
    }
    EXPECT_EQ(PathKind(HostBytes(Ini)), TPathKind::Other);
    RemoveFile(HostBytes(Ini));

    const QString target = Folder.File("kept elsewhere.ini");
    WriteBytes(target, "[s]\r\nk=old\r\n");
    ASSERT_EQ(symlink("kept elsewhere.ini", HostBytes(Ini).c_str()), 0);
    {
        TSettingsFile ini(Ini);
        EXPECT_EQ(ini.ReadString("s", "k", Default), "old");
        ini.WriteString("s", "k", "new");
        ini.Flush();
    }
    EXPECT_EQ(PathKind(HostBytes(Ini)), TPathKind::Link);
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=new\r\n");
}
#endif

} // namespace
