// ExtractSelected and ExtractEntryToFile: one whole-sector file per selected
// row, named by the display name, and never a file outside the chosen folder.
#include "EditTestSupport.h"

#include "archive/ArchiveCommands.h"
#include "platform/Errors.h"
#include "platform/FaultInjection.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>
#include <QWidget>

#include <cerrno>

namespace {

// Every file and folder under `root`, relative to it.
QStringList Tree(const QString& root) {
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

} // namespace

class ExtractTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void extractsSelectedRowsInAscendingOrder_data();
    void extractsSelectedRowsInAscendingOrder();
    void fileLengthIsWholeSectors_data();
    void fileLengthIsWholeSectors();
    void namesFromTheDisplayName();
    void hostileNamesWriteNothingOutside_data();
    void hostileNamesWriteNothingOutside();
    void neverReplacesTheOpenArchive();
    void neverWritesThroughALink_data();
    void neverWritesThroughALink();
    void secondOfThreeFails_data();
    void secondOfThreeFails();

private:
    QWidget* owner = nullptr;
};

void ExtractTest::init() {
    faults::Reset();
    TfrmProgress::SetRepaintInterval(0); // every step painted, to be seen here
    owner = new QWidget;
    owner->show();
}

void ExtractTest::cleanup() {
    faults::Reset();
    delete owner;
}

void ExtractTest::extractsSelectedRowsInAscendingOrder_data() {
    QTest::addColumn<QString>("folderSuffix");
    QTest::newRow("folder as picked") << QString();
    QTest::newRow("folder ending in a slash") << QString("/");
    QTest::newRow("folder ending in two slashes") << QString("//");
}

void ExtractTest::extractsSelectedRowsInAscendingOrder() {
    QFETCH(QString, folderSuffix);
    ArchiveFolder folder;
    auto archive = folder.Create();
    QList<QByteArray> contents;
    for (int i = 0; i < 10; ++i) {
        contents << Pattern(1000 + 1500 * i, i);
        folder.AddEntry(*archive, QByteArray("entry") + QByteArray::number(i) + ".dat",
                        contents[i]);
    }
    const QByteArray dirBefore = ReadBytes(folder.Dir());
    const QByteArray imgBefore = ReadBytes(folder.Img());
    QVERIFY(QDir(folder.Path()).mkdir("out"));
    FakeEntryList list;
    list.rows = 10;
    list.selected = {8, 1, 4};

    ProgressRecorder recorder;
    ExtractSelected(owner, *archive, list, folder.File("out") + folderSuffix);

    QCOMPARE(Tree(folder.File("out")), QStringList({"entry1.dat", "entry4.dat", "entry8.dat"}));
    for (int i : {1, 4, 8}) {
        const QByteArray written = ReadBytes(folder.File("out/entry%1.dat").arg(i));
        QCOMPARE(written.size(), archive->GetEntry(i).Size * 2048);
        QCOMPARE(written.left(contents[i].size()), contents[i]);
    }
    // Shown at 0, then counted 3, named in ascending row order, stepped before each
    // write, no busy cursor.
    QCOMPARE(recorder.Values(), QList<int>({0, 1, 2, 3}));
    QStringList shown;
    for (const auto& frame : recorder.Steps()) {
        shown << frame.line2;
        QCOMPARE(frame.line1, QString("Extracting File(s)..."));
        QCOMPARE(frame.maximum, 3);
        QVERIFY(!frame.busyCursor);
    }
    QCOMPARE(shown, QStringList({"", "entry1.dat", "entry4.dat", "entry8.dat"}));
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);
    // Archive, list and selection untouched.
    QCOMPARE(ReadBytes(folder.Dir()), dirBefore);
    QCOMPARE(ReadBytes(folder.Img()), imgBefore);
    QVERIFY(list.log.isEmpty());
    QCOMPARE(list.selected, QSet<int>({1, 4, 8}));
}

void ExtractTest::fileLengthIsWholeSectors_data() {
    QTest::addColumn<int>("contentLength");
    QTest::addColumn<int>("existingLength"); // a file already there under the name, or -1
    QTest::addColumn<int>("expectedLength");

    QTest::newRow("size 0") << 0 << -1 << 0;
    QTest::newRow("size 2 from 3000 bytes") << 3000 << -1 << 4096;
    QTest::newRow("size 3 from 5000 bytes") << 5000 << -1 << 6144;
    QTest::newRow("replaces a longer file") << 3000 << 20000 << 4096;
    QTest::newRow("size 0 replaces a file") << 0 << 100 << 0;
}

void ExtractTest::fileLengthIsWholeSectors() {
    QFETCH(int, contentLength);
    QFETCH(int, existingLength);
    QFETCH(int, expectedLength);

    ArchiveFolder folder;
    auto archive = folder.Create();
    folder.AddEntry(*archive, "filler.bin", Pattern(7000, 4));
    folder.AddEntry(*archive, "entry.bin", Pattern(contentLength, 5));
    const QString target = folder.File("entry.bin");
    if (existingLength >= 0)
        WriteBytes(target, QByteArray(existingLength, 'x'));

    FakeEntryList list;
    list.rows = 2;
    list.selected = {1};
    ExtractSelected(owner, *archive, list, folder.Path());

    const QByteArray written = ReadBytes(target);
    QCOMPARE(written.size(), expectedLength);
    QCOMPARE(written.left(contentLength), Pattern(contentLength, 5));
}

void ExtractTest::namesFromTheDisplayName() {
    ArchiveFolder folder;
    auto archive = folder.Craft({"  spaced.txt\t", "same.dat", " same.dat ", "Same.dat"});
    QVERIFY(QDir(folder.Path()).mkdir("out"));
    FakeEntryList list;
    list.rows = 4;
    list.selected = {0, 1, 2, 3};

    ProgressRecorder recorder;
    ExtractSelected(owner, *archive, list, folder.File("out"));

    // Trimmed names; of two with one display name the later row's file stays.
    QCOMPARE(ReadBytes(folder.File("out/spaced.txt")), Pattern(2048, 1));
#ifdef Q_OS_WIN
    // Windows' names ignore letter case: "Same.dat" is "same.dat" there.
    QCOMPARE(Tree(folder.File("out")).size(), 2);
    QCOMPARE(ReadBytes(folder.File("out/same.dat")), Pattern(2048, 4));
#else
    QCOMPARE(Tree(folder.File("out")), QStringList({"Same.dat", "same.dat", "spaced.txt"}));
    QCOMPARE(ReadBytes(folder.File("out/same.dat")), Pattern(2048, 3));
    QCOMPARE(ReadBytes(folder.File("out/Same.dat")), Pattern(2048, 4));
#endif
    QCOMPARE(recorder.Steps().at(1).line2, QString("spaced.txt")); // after the frame at 0
}

void ExtractTest::hostileNamesWriteNothingOutside_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("displayName");

    QTest::newRow("parent folder") << QByteArray("../x") << QByteArray("../x");
    QTest::newRow("deeper climb") << QByteArray("a/../../y") << QByteArray("a/../../y");
    QTest::newRow("absolute path")
        << QByteArray("/tmp/pelkon_hostile_x") << QByteArray("/tmp/pelkon_hostile_x");
    QTest::newRow("system folder") << QByteArray("/etc/x") << QByteArray("/etc/x");
    QTest::newRow("into a subfolder") << QByteArray("a/b") << QByteArray("a/b");
    QTest::newRow("dot dot") << QByteArray("..") << QByteArray("..");
    QTest::newRow("dot dot in blanks") << QByteArray(" .. ") << QByteArray("..");
    QTest::newRow("dot") << QByteArray(".") << QByteArray(".");
    QTest::newRow("all blanks") << QByteArray("    ") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void ExtractTest::hostileNamesWriteNothingOutside() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, displayName);
    QVERIFY(!QFile::exists("/tmp/pelkon_hostile_x"));
    const bool etcXExisted = QFile::exists("/etc/x");

    ArchiveFolder folder;
    auto archive = folder.Craft({"good.txt", name, "later.txt"});
    QVERIFY(QDir(folder.Path()).mkpath("out/in"));
    QVERIFY(QDir(folder.Path()).mkpath("out/in/a"));
    const QStringList treeBefore = Tree(folder.Path());
    FakeEntryList list;
    list.rows = 3;
    list.selected = {0, 1, 2};

    const QString out = folder.File("out/in");
    try {
        ExtractSelected(owner, *archive, list, out);
        QFAIL("a name leading out of the folder was extracted");
    } catch (const EFCreateError& error) {
        QCOMPARE(QByteArray(error.what()),
                 "Cannot create file " + QFile::encodeName(out) + "/" + displayName);
    }

    // Only the entry before the hostile one was written; the run stopped there.
    QStringList expected = treeBefore;
    expected << "out/in/good.txt";
    expected.sort();
    QCOMPARE(Tree(folder.Path()), expected);
    QVERIFY(!QFile::exists("/tmp/pelkon_hostile_x"));
    QCOMPARE(QFile::exists("/etc/x"), etcXExisted);
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);
}

void ExtractTest::neverReplacesTheOpenArchive() {
    ArchiveFolder folder;
    auto archive = folder.Craft({"test.dir", "test.img"}, 2);
    const QByteArray img = ReadBytes(folder.Img()), dir = ReadBytes(folder.Dir());

    for (int row : {0, 1}) {
        FakeEntryList list;
        list.rows = 2;
        list.selected = {row};
        QVERIFY_THROWS_EXCEPTION(EFCreateError,
                                 ExtractSelected(owner, *archive, list, folder.Path()));
    }
    QVERIFY_THROWS_EXCEPTION(EFCreateError, ExtractEntryToFile(*archive, 1, Host(folder.Img())));
    QCOMPARE(ReadBytes(folder.Img()), img);
    QCOMPARE(ReadBytes(folder.Dir()), dir);
}

void ExtractTest::neverWritesThroughALink_data() {
    QTest::addColumn<bool>("linkTargetExists");
    QTest::newRow("link to a file outside") << true;
    QTest::newRow("dangling link") << false;
}

void ExtractTest::neverWritesThroughALink() {
    QFETCH(bool, linkTargetExists);
    ArchiveFolder folder;
    auto archive = folder.Craft({"victim.txt"});
    QVERIFY(QDir(folder.Path()).mkdir("out"));
    if (linkTargetExists)
        WriteBytes(folder.File("outside.txt"), "keep");
    if (!MakeSymbolicLink(HostBytes(folder.File("outside.txt")),
                          HostBytes(folder.File("out/victim.txt"))))
        QSKIP(NoSymbolicLinksHere);
    FakeEntryList list;
    list.rows = 1;
    list.selected = {0};

    try {
        ExtractSelected(owner, *archive, list, folder.File("out"));
        QFAIL("extracted through a link");
    } catch (const EFCreateError& error) {
        QCOMPARE(QString(error.what()), "Cannot create file " + folder.File("out/victim.txt"));
    }
    QCOMPARE(QFile::exists(folder.File("outside.txt")), linkTargetExists);
    if (linkTargetExists)
        QCOMPARE(ReadBytes(folder.File("outside.txt")), QByteArray("keep"));
}

void ExtractTest::secondOfThreeFails_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");

    QTest::newRow("target cannot be created")
        << int(faults::Call::Open) << EACCES << "Cannot create file %1/out/two.bin";
    QTest::newRow("target disk full") << int(faults::Call::Write) << ENOSPC << "Stream write error";
    QTest::newRow("data file cannot be read")
        << int(faults::Call::Read) << EIO << "Stream read error";
}

void ExtractTest::secondOfThreeFails() {
    QFETCH(int, call);
    QFETCH(int, error);
    QFETCH(QString, message);

    ArchiveFolder folder;
    auto archive = folder.Craft({"one.bin", "skipped.bin", "two.bin", "three.bin"});
    QVERIFY(QDir(folder.Path()).mkdir("out"));
    FakeEntryList list;
    list.rows = 4;
    list.selected = {0, 2, 3};
    ProgressRecorder recorder;

    faults::FailNthCall(2, error, static_cast<faults::Call>(call));
    try {
        ExtractSelected(owner, *archive, list, folder.File("out"));
        QFAIL("the second entry did not fail");
    } catch (const Exception& failure) {
        QCOMPARE(QString(failure.what()), message.replace("%1", folder.Path()));
    }
    faults::Reset();

    // The failing entry leaves no file, not even a part of one.
    QCOMPARE(Tree(folder.File("out")), QStringList{"one.bin"});
    QCOMPARE(ReadBytes(folder.File("out/one.bin")), Pattern(2048, 1));
    QCOMPARE(recorder.Values(), QList<int>({0, 1, 2}));
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);
    QCOMPARE(list.selected, QSet<int>({0, 2, 3}));
}

QTEST_MAIN(ExtractTest)
#include "ExtractTest.moc"
