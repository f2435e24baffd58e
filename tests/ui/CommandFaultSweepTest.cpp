// A three-file Add, a three-entry Extract and a three-file Import and
// Replace, each failed at every one of its file-layer calls in turn: the
// message is the file layer's, the files before the failure are done, the
// failing one leaves nothing (a replaced entry holds its old data or its new),
// nothing after it is touched, and neither the progress dialog nor the busy
// cursor is left behind.
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "tests/ui/ScriptedDialogs.h"
#include "tests/ui/WorkflowTestSupport.h"

#include <QDir>
#include <QtTest>

namespace {

const QList<QByteArray> Sources = {"one.dff", "two.txd", "three.col"};

QByteArray SourceBytes(int i) {
    return Pattern(3000 + i * 2500, 40 + i);
}

// A pair holding one entry, and three files ready to be added.
std::unique_ptr<TGTA3Archive> PrepareAdd(ArchiveFolder& folder, QStringList& paths) {
    auto archive = folder.Create();
    folder.AddEntry(*archive, "old.dff", Pattern(5000, 1));
    paths.clear();
    for (int i = 0; i < Sources.size(); ++i)
        paths << folder.WriteSource(QString::fromLatin1(Sources[i]), SourceBytes(i));
    return archive;
}

QStringList KnownMessages(const QString& folder) {
    QStringList messages = {"Stream read error", "Stream write error",
                            "System Error.  Code: 5.\nInput/output error"};
    for (const auto& name : Sources) {
        messages << "Cannot open file " + folder + "/" + QString::fromLatin1(name);
        messages << "Cannot create file " + folder + "/out/" + QString::fromLatin1(name);
    }
    return messages;
}

const QStringList ImportSources = {"one.dff", "TWO.TXD", "three.col"};

QByteArray ImportSourceBytes(int i) {
    return Pattern(2000 + i * 3000, 60 + i);
}

// For Import and Replace, the pair: the three names in another order than the files, and one entry
// no file names.
std::unique_ptr<TGTA3Archive> PrepareImport(ArchiveFolder& folder, QStringList& paths) {
    auto archive = folder.Craft({"three.col", "keep.ifp", "one.dff", "two.txd"}, 2);
    paths.clear();
    for (int i = 0; i < ImportSources.size(); ++i)
        paths << folder.WriteSource(ImportSources[i], ImportSourceBytes(i));
    return archive;
}

} // namespace

class CommandFaultSweepTest : public QObject {
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
    void addFailsCleanlyAtEveryCall();
    void extractFailsCleanlyAtEveryCall();
    void importFailsCleanlyAtEveryCall();

private:
    QWidget* owner = nullptr;
};

void CommandFaultSweepTest::addFailsCleanlyAtEveryCall() {
    // A clean run gives the call count and the bytes every failure is held to.
    ArchiveFolder clean;
    QStringList paths;
    auto archive = PrepareAdd(clean, paths);
    FakeEntryList list;
    list.rows = 1;
    faults::Reset();
    AddFiles(owner, *archive, list, paths);
    const long calls = faults::CallsSoFar();
    archive.reset();
    const QList<DirRecord> cleanRecords = ReadRecords(clean.Dir());
    const QByteArray cleanImg = ReadBytes(clean.Img());
    QCOMPARE(cleanRecords.size(), 4);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(cleanImg.mid(qsizetype(cleanRecords[i + 1].offset) * 2048, SourceBytes(i).size()),
                 SourceBytes(i));
    QVERIFY(calls > 10);
    qInfo("three-file add: %ld fault points", calls);

    for (long n = 1; n <= calls; ++n) {
        ArchiveFolder folder;
        archive = PrepareAdd(folder, paths);
        FakeEntryList rows;
        rows.rows = 1;
        faults::Reset();
        faults::FailNthCall(n, EIO);
        const QString message = MessageText([&] { AddFiles(owner, *archive, rows, paths); });
        faults::Reset();
        // Closing a source that was only read cannot undo its add: that call
        // alone may fail unreported, and then the whole batch is in.
        QVERIFY2(KnownMessages(folder.Path()).contains(message) ||
                     (message.isEmpty() && ReadRecords(folder.Dir()) == cleanRecords),
                 qPrintable(QString("call %1: '%2'").arg(n).arg(message)));

        // The files added before the failure are whole; the failing one left nothing.
        const QList<DirRecord> records = ReadRecords(folder.Dir());
        QVERIFY(records.size() >= 1 && records.size() <= 4);
        QCOMPARE(records, cleanRecords.first(records.size()));
        const DirRecord& last = records.last();
        const qsizetype used = qsizetype(last.offset + last.size) * 2048;
        QCOMPARE(ReadBytes(folder.Img()), cleanImg.left(used));
        QCOMPARE(archive->Count(), records.size());
        // The list shows what the files hold, after a failure too.
        QCOMPARE(rows.rows, int(records.size()));
        QVERIFY(!ProgressRecorder::Current(owner));
        QVERIFY(!QApplication::overrideCursor());
        archive.reset();
    }
}

void CommandFaultSweepTest::extractFailsCleanlyAtEveryCall() {
    const QList<QByteArray> names = {"one.dff", "skip1", "two.txd", "skip2", "three.col"};
    ArchiveFolder clean;
    auto archive = clean.Craft(names, 2);
    QVERIFY(QDir(clean.Path()).mkdir("out"));
    FakeEntryList list;
    list.rows = 5;
    list.selected = {0, 2, 4};
    faults::Reset();
    ExtractSelected(owner, *archive, list, clean.File("out"));
    const long calls = faults::CallsSoFar();
    QVERIFY(calls >= 6);
    qInfo("three-entry extract: %ld fault points", calls);

    for (long n = 1; n <= calls; ++n) {
        ArchiveFolder folder;
        archive = folder.Craft(names, 2);
        const QByteArray dirBefore = ReadBytes(folder.Dir());
        const QByteArray imgBefore = ReadBytes(folder.Img());
        QVERIFY(QDir(folder.Path()).mkdir("out"));
        faults::Reset();
        faults::FailNthCall(n, EIO);
        const QString message =
            MessageText([&] { ExtractSelected(owner, *archive, list, folder.File("out")); });
        faults::Reset();
        // Looking for leftovers of killed extracts may fail without harm.
        const QStringList written = QDir(folder.File("out")).entryList(QDir::Files, QDir::Name);
        QVERIFY2(KnownMessages(folder.Path()).contains(message) ||
                     (message.isEmpty() && written.size() == 3),
                 qPrintable(QString("call %1: '%2'").arg(n).arg(message)));

        // Targets before the failing one are whole; none after it exists, and
        // the failing one left nothing.
        QVERIFY(written.size() <= 3);
        bool failingSeen = false;
        for (int k = 0; k < 3; ++k) {
            const QString target = folder.File("out/" + QString::fromLatin1(Sources[k]));
            const QByteArray whole = Pattern(2 * 2048, 2 * k + 1);
            if (!QFile::exists(target)) {
                failingSeen = true;
                continue;
            }
            QVERIFY2(!failingSeen, "a target after the failure was written");
            QCOMPARE(ReadBytes(target), whole);
        }
        QCOMPARE(ReadBytes(folder.Dir()), dirBefore);
        QCOMPARE(ReadBytes(folder.Img()), imgBefore);
        QVERIFY(!ProgressRecorder::Current(owner));
    }
}

void CommandFaultSweepTest::importFailsCleanlyAtEveryCall() {
    ArchiveFolder clean;
    QStringList paths;
    auto archive = PrepareImport(clean, paths);
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
        archive = PrepareImport(folder, paths);
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
            QCOMPARE(RecordData(img, record), Sectors(ImportSourceBytes(i)));
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

QTEST_MAIN(CommandFaultSweepTest)
#include "CommandFaultSweepTest.moc"
