// A three-file Import and Replace failed at every one of its file-layer calls
// in turn: every entry holds either its old data or its new, the files before
// the failure are done and none after it, nothing else changed, and the
// failure is the file layer's own message with no dialog or cursor left.
#include "WorkflowTestSupport.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"

#include <QtTest>

namespace {

const QStringList Sources = {"one.dff", "TWO.TXD", "three.col"};

QByteArray SourceBytes(int i) {
    return Pattern(2000 + i * 3000, 60 + i);
}

// The pair: the three names in another order than the files, and one entry
// no file names.
std::unique_ptr<TGTA3Archive> Prepare(ArchiveFolder& folder, QStringList& paths) {
    auto archive = folder.Craft({"three.col", "keep.ifp", "one.dff", "two.txd"}, 2);
    paths.clear();
    for (int i = 0; i < Sources.size(); ++i)
        paths << folder.WriteSource(Sources[i], SourceBytes(i));
    return archive;
}

} // namespace

class ImportFaultSweepTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        faults::Reset();
        TfrmProgress::SetRepaintInterval(0);
        owner = new QWidget;
        owner->show();
    }
    void cleanup() {
        faults::Reset();
        delete owner;
    }
    void importFailsCleanlyAtEveryCall();

private:
    QWidget* owner = nullptr;
};

void ImportFaultSweepTest::importFailsCleanlyAtEveryCall() {
    ArchiveFolder clean;
    QStringList paths;
    auto archive = Prepare(clean, paths);
    const QList<DirRecord> old = ReadRecords(clean.Dir());
    const QByteArray oldImg = ReadBytes(clean.Img());
    FakeEntryList list;
    list.rows = 4;
    faults::Reset();
    ImportAndReplace(owner, *archive, list, paths);
    const long calls = faults::CallsSoFar();
    archive.reset();
    const QList<DirRecord> replaced = ReadRecords(clean.Dir());
    QVERIFY(calls > 10);
    qInfo("three-file import and replace: %ld fault points", calls);
    // The slot each file replaces, in the order of the files.
    const QList<int> slotOf = {2, 3, 0};

    for (long n = 1; n <= calls; ++n) {
        ArchiveFolder folder;
        archive = Prepare(folder, paths);
        FakeEntryList rows;
        rows.rows = 4;
        faults::Reset();
        faults::FailNthCall(n, EIO);
        const QString message =
            MessageText([&] { ImportAndReplace(owner, *archive, rows, paths); });
        faults::Reset();
        const QString where = QString("call %1: '%2'").arg(n).arg(message);
        QVERIFY2(message.isEmpty() || message == "Stream read error" ||
                     message == "Stream write error" ||
                     message == "System Error.  Code: 5.\nInput/output error" ||
                     message.startsWith("Cannot open file " + folder.Path() + "/"),
                 qPrintable(where));

        // Each entry is old or new, the new ones a prefix of the files.
        const QList<DirRecord> records = ReadRecords(folder.Dir());
        const QByteArray img = ReadBytes(folder.Img());
        QCOMPARE(records.size(), 4);
        QCOMPARE(img.left(oldImg.size()), oldImg);
        QCOMPARE(records[1], old[1]);
        int done = 0;
        while (done < 3 && records[slotOf[done]] != old[slotOf[done]])
            ++done;
        for (int i = 0; i < 3; ++i) {
            const DirRecord& record = records[slotOf[i]];
            if (i >= done) {
                QVERIFY2(record == old[slotOf[i]], qPrintable(where));
                continue;
            }
            QCOMPARE(record, replaced[slotOf[i]]);
            QCOMPARE(RecordData(img, record), Sectors(SourceBytes(i)));
        }
        QVERIFY2(!message.isEmpty() || done == 3, qPrintable(where));
        QCOMPARE(rows.rows, 4);
        QVERIFY(!ProgressRecorder::Current(owner));
        QVERIFY(!QApplication::overrideCursor());
        archive.reset();
        // What is on disk opens as the same pair.
        QCOMPARE(TGTA3Archive(Host(folder.Img()), false).Count(), 4);
    }
}

QTEST_MAIN(ImportFaultSweepTest)
#include "ImportFaultSweepTest.moc"
