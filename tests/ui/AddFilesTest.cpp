// AddFiles: entries appended in path order under the file-name part, the list
// brought up to date once, and on failure everything released and nothing
// after the failing file tried.
#include "EditTestSupport.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "sorting/SortFunctions.h"

#include <QDir>
#include <QTest>
#include <QWidget>

#include <cerrno>

class AddFilesTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addsThreeInPathOrderAndShowsThemSorted();
    void entryNameAndSize_data();
    void entryNameAndSize();
    void openArchiveFilesAreRefused_data();
    void openArchiveFilesAreRefused();
    void secondOfThreeFails_data();
    void secondOfThreeFails();

private:
    QWidget* owner = nullptr;
};

void AddFilesTest::init() {
    faults::Reset();
    CurrentCompare = CompareByName;
    SortDescending = false;
    TfrmProgress::SetRepaintInterval(0); // every step painted, to be seen here
    owner = new QWidget;
    owner->show();
}

void AddFilesTest::cleanup() {
    faults::Reset();
    delete owner;
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void AddFilesTest::addsThreeInPathOrderAndShowsThemSorted() {
    ArchiveFolder folder;
    auto archive = folder.Create();
    folder.AddEntry(*archive, "mmm.txt", Pattern(10, 9));
    const QByteArray before = ReadBytes(folder.Dir());
    SortDescending = true;

    const QByteArray b = Pattern(100, 1), a = Pattern(3000, 2), c = Pattern(4096, 3);
    const QStringList paths = {folder.WriteSource("b.dff", b), folder.WriteSource("a.txd", a),
                               folder.WriteSource("c.col", c)};
    FakeEntryList list;
    list.rows = 1;
    list.archive = archive.get();
    list.selected = {0};

    ProgressRecorder recorder;
    int valueAtRepaint = -1, maxAtRepaint = -1;
    bool busyAtRepaint = false;
    list.onRepaint = [&] {
        if (TfrmProgress* dialog = ProgressRecorder::Current(owner)) {
            valueAtRepaint = dialog->ProgressBar1->value();
            maxAtRepaint = dialog->ProgressBar1->maximum();
        }
        busyAtRepaint = QApplication::overrideCursor() &&
                        QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    AddFiles(owner, *archive, list, paths);

    // Records appended after the old ones, in path order.
    const QList<DirRecord> records = ReadRecords(folder.Dir());
    QVERIFY(ReadBytes(folder.Dir()).startsWith(before));
    QCOMPARE(records.size(), 4);
    QCOMPARE(records[1], (DirRecord{1, 1, "b.dff"}));
    QCOMPARE(records[2], (DirRecord{2, 2, "a.txd"}));
    QCOMPARE(records[3], (DirRecord{4, 2, "c.col"}));
    const QByteArray img = ReadBytes(folder.Img());
    QCOMPARE(img.size(), 6 * 2048);
    QCOMPARE(img.mid(2048, b.size()), b);
    QCOMPARE(img.mid(2 * 2048, a.size()), a);
    QCOMPARE(img.mid(4 * 2048, c.size()), c);

    // The list: the new rows, one sort, one repaint, in the current order (name descending).
    QCOMPARE(list.log, QStringList({"setRowCount 4", "tableChanged 0", "repaint"}));
    QCOMPARE(list.selected, QSet<int>{0});
    QCOMPARE(list.Shown(), QList<QByteArray>({"mmm.txt", "c.col", "b.dff", "a.txd"}));

    // The bar was shown at 0, counted 3 of 3 and was full before the dialog went;
    // the second line stayed empty.
    QCOMPARE(recorder.Values(), QList<int>({0, 1, 2, 3}));
    for (const auto& frame : recorder.frames) {
        QCOMPARE(frame.maximum, 3);
        QCOMPARE(frame.line1, QString("Adding File(s)..."));
        QCOMPARE(frame.line2, QString());
    }
    QCOMPARE(valueAtRepaint, 3);
    QCOMPARE(maxAtRepaint, 3);
    QVERIFY(busyAtRepaint);
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);

    // What the list shows is what a reopened archive holds.
    archive.reset();
    QCOMPARE(ReadRecords(folder.Dir()), records);
}

void AddFilesTest::entryNameAndSize_data() {
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("storedName");
    QTest::addColumn<int>("sectors");

    QTest::newRow("zero-length file")
        << QByteArray("empty.bin") << 0 << QByteArray("empty.bin") << 0;
    QTest::newRow("name already present")
        << QByteArray("present.txt") << 10 << QByteArray("present.txt") << 1;
    QTest::newRow("30 characters stored as 24")
        << QByteArray("abcdefghijklmnopqrstuvwxyz.txt") << 2049
        << QByteArray("abcdefghijklmnopqrstuvwx") << 2;
    QTest::newRow("case and blanks kept")
        << QByteArray(" Mixed Case.TXT ") << 2048 << QByteArray(" Mixed Case.TXT ") << 1;
    QTest::newRow("exactly 24 characters") << QByteArray("twenty-four-characters.x") << 1
                                           << QByteArray("twenty-four-characters.x") << 1;
}

void AddFilesTest::entryNameAndSize() {
    QFETCH(QByteArray, fileName);
    QFETCH(int, length);
    QFETCH(QByteArray, storedName);
    QFETCH(int, sectors);

    ArchiveFolder folder;
    auto archive = folder.Create();
    folder.AddEntry(*archive, "present.txt", Pattern(4000, 5));
    const qint64 imgBefore = ReadBytes(folder.Img()).size();
    // The folders of the path never reach the name.
    QVERIFY(QDir(folder.Path()).mkpath("dir.x/sub"));
    const QString path =
        folder.WriteSource("dir.x/sub/" + QFile::decodeName(fileName), Pattern(length, 7));
    FakeEntryList list;
    list.rows = 1;

    AddFiles(owner, *archive, list, {path});

    const QList<DirRecord> records = ReadRecords(folder.Dir());
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0], (DirRecord{0, 2, "present.txt"}));
    QCOMPARE(records[1], (DirRecord{2, static_cast<quint32>(sectors), storedName}));
    QCOMPARE(ReadBytes(folder.Img()).size(), imgBefore + sectors * 2048);
    QCOMPARE(list.rows, 2);
}

void AddFilesTest::openArchiveFilesAreRefused_data() {
    QTest::addColumn<QString>("ownFile");
    QTest::newRow("data file") << QString("test.img");
    QTest::newRow("directory file") << QString("test.dir");
}

void AddFilesTest::openArchiveFilesAreRefused() {
    QFETCH(QString, ownFile);
    ArchiveFolder folder;
    auto archive = folder.Create();
    folder.AddEntry(*archive, "old.txt", Pattern(5000, 1));
    const QStringList paths = {folder.WriteSource("first.txt", Pattern(10, 2)),
                               folder.File(ownFile),
                               folder.WriteSource("after.txt", Pattern(10, 3))};
    FakeEntryList list;
    list.rows = 1;

    try {
        AddFiles(owner, *archive, list, paths);
        QFAIL("adding the archive's own file succeeded");
    } catch (const EFOpenError& error) {
        QCOMPARE(QString(error.what()), "Cannot open file " + folder.File(ownFile));
    }

    // The file before is added and shown, the one after is not tried.
    const QList<DirRecord> records = ReadRecords(folder.Dir());
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1].name, QByteArray("first.txt"));
    QCOMPARE(ReadBytes(folder.Img()).size(), 4 * 2048);
    QCOMPARE(archive->Count(), 2);
    QCOMPARE(list.rows, 2);
    QCOMPARE(list.log, QStringList({"setRowCount 2", "tableChanged 0", "repaint"}));
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void AddFilesTest::secondOfThreeFails_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("nth"); // the second file's first call of that kind
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");

    QTest::newRow("source cannot be opened")
        << int(faults::Call::Open) << 2 << EACCES << "Cannot open file %1/two.txt";
    QTest::newRow("data file cannot grow")
        << int(faults::Call::SetLength) << 2 << ENOSPC << "System Error.  Code: 28.";
    QTest::newRow("source cannot be read")
        << int(faults::Call::Read) << 2 << EIO << "Stream read error";
    // Each add writes its data, then its record.
    QTest::newRow("data file cannot be written")
        << int(faults::Call::Write) << 3 << EIO << "Stream write error";
}

void AddFilesTest::secondOfThreeFails() {
    QFETCH(int, call);
    QFETCH(int, nth);
    QFETCH(int, error);
    QFETCH(QString, message);

    ArchiveFolder folder;
    auto archive = folder.Create();
    const QStringList paths = {folder.WriteSource("one.txt", Pattern(100, 1)),
                               folder.WriteSource("two.txt", Pattern(100, 2)),
                               folder.WriteSource("three.txt", Pattern(100, 3))};
    FakeEntryList list;
    ProgressRecorder recorder;

    faults::FailNthCall(nth, error, static_cast<faults::Call>(call));
    try {
        AddFiles(owner, *archive, list, paths);
        QFAIL("the second file did not fail");
    } catch (const Exception& failure) {
        QVERIFY2(QString(failure.what()).startsWith(message.replace("%1", folder.Path())),
                 failure.what());
    }
    faults::Reset();

    // One was added and has its row; two left nothing behind; three was not tried.
    QCOMPARE(ReadRecords(folder.Dir()), QList<DirRecord>({{0, 1, "one.txt"}}));
    QCOMPARE(ReadBytes(folder.Img()).size(), 2048);
    QCOMPARE(archive->Count(), 1);
    QCOMPARE(list.rows, 1);
    QCOMPARE(list.log, QStringList({"setRowCount 1", "tableChanged 0", "repaint"}));
    QCOMPARE(recorder.Values(), QList<int>({0, 1}));
    QVERIFY(ProgressRecorder::Current(owner) == nullptr);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // The archive is still usable.
    AddFiles(owner, *archive, list, {paths[2]});
    QCOMPARE(list.rows, 2);
}

QTEST_MAIN(AddFilesTest)
#include "AddFilesTest.moc"
