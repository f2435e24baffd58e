// DeleteSelected and RenameSelected: what reaches the directory file, and what
// the list is told, for every answer the user can give.
#include "EditTestSupport.h"

#include "ScriptedDialogs.h"
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "sorting/SortFunctions.h"

#include <QTest>
#include <QWidget>

#include <cerrno>

namespace {

struct Sample {
    QByteArray name;
    int sectors;
};

// Six entries in slot order, with sizes that differ from the name order.
const QList<Sample> Samples = {{"delta.txt", 3}, {"alpha.txt", 1},   {"echo.txt", 5},
                               {"bravo.txt", 2}, {"foxtrot.txt", 4}, {"charlie.txt", 6}};

std::unique_ptr<TGTA3Archive> MakeSampleArchive(ArchiveFolder& folder) {
    auto archive = folder.Create();
    for (int i = 0; i < Samples.size(); ++i)
        folder.AddEntry(*archive, Samples[i].name, Pattern(Samples[i].sectors * 2048 - 10, i));
    return archive;
}

} // namespace

class DeleteRenameTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void deleteAnsweredNoChangesNothing();
    void deleteKeepsTheRestInOrder_data();
    void deleteKeepsTheRestInOrder();
    void deleteRefreshesEvenWhenItFails_data();
    void deleteRefreshesEvenWhenItFails();
    void rename_data();
    void rename();
    void renameShownEvenWhenFlushFails();

private:
    QWidget* owner = nullptr;
};

void DeleteRenameTest::init() {
    faults::Reset();
    CurrentCompare = CompareByName;
    SortDescending = false;
    owner = new QWidget;
}

void DeleteRenameTest::cleanup() {
    faults::Reset();
    delete owner;
}

void DeleteRenameTest::deleteAnsweredNoChangesNothing() {
    ArchiveFolder folder;
    auto archive = MakeSampleArchive(folder);
    const QByteArray dirBefore = ReadBytes(folder.Dir());
    FakeEntryList list;
    list.rows = 6;
    list.archive = archive.get();
    list.Sort();
    list.selected = {1, 3};
    ScriptedDialogs dialogs;
    dialogs.confirmAnswers << false;

    DeleteSelected(owner, *archive, list);

    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls[0].kind, QString("confirm"));
    QCOMPARE(dialogs.calls[0].title, QString("Confirm"));
    QCOMPARE(dialogs.calls[0].text, QString("Are you sure you want to delete the selected files?"));
    QCOMPARE(ReadBytes(folder.Dir()), dirBefore);
    QCOMPARE(archive->Count(), 6);
    QVERIFY(list.log.isEmpty());
    QCOMPARE(list.selected, QSet<int>({1, 3}));
}

void DeleteRenameTest::deleteKeepsTheRestInOrder_data() {
    QTest::addColumn<bool>("bySize");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QSet<int>>("selected");
    QTest::addColumn<QList<QByteArray>>("shown");     // rows afterwards
    QTest::addColumn<QList<QByteArray>>("slotOrder"); // records afterwards

    QTest::newRow("rows 2 and 5 by name")
        << false << false << QSet<int>{2, 5}
        << QList<QByteArray>{"alpha.txt", "bravo.txt", "delta.txt", "echo.txt"}
        << QList<QByteArray>{"delta.txt", "alpha.txt", "echo.txt", "bravo.txt"};
    QTest::newRow("by size descending")
        << true << true << QSet<int>{0, 3}
        << QList<QByteArray>{"echo.txt", "foxtrot.txt", "bravo.txt", "alpha.txt"}
        << QList<QByteArray>{"alpha.txt", "echo.txt", "bravo.txt", "foxtrot.txt"};
    QTest::newRow("one row") << false << true << QSet<int>{0}
                             << QList<QByteArray>{"echo.txt", "delta.txt", "charlie.txt",
                                                  "bravo.txt", "alpha.txt"}
                             << QList<QByteArray>{"delta.txt", "alpha.txt", "echo.txt", "bravo.txt",
                                                  "charlie.txt"};
    QTest::newRow("everything") << false << false << QSet<int>{0, 1, 2, 3, 4, 5}
                                << QList<QByteArray>{} << QList<QByteArray>{};
}

void DeleteRenameTest::deleteKeepsTheRestInOrder() {
    QFETCH(bool, bySize);
    QFETCH(bool, descending);
    QFETCH(QSet<int>, selected);
    QFETCH(QList<QByteArray>, shown);
    QFETCH(QList<QByteArray>, slotOrder);

    ArchiveFolder folder;
    auto archive = MakeSampleArchive(folder);
    CurrentCompare = bySize ? CompareBySize : CompareByName;
    SortDescending = descending;
    const QList<DirRecord> recordsBefore = ReadRecords(folder.Dir());
    const qint64 imgLength = ReadBytes(folder.Img()).size();
    FakeEntryList list;
    list.rows = 6;
    list.archive = archive.get();
    list.Sort();
    list.selected = selected;
    ScriptedDialogs dialogs;
    dialogs.confirmAnswers << true;

    DeleteSelected(owner, *archive, list);

    const qsizetype left = shown.size();
    QCOMPARE(list.log, QStringList({QStringLiteral("tableChanged %1").arg(selected.size()),
                                    QStringLiteral("setRowCount %1").arg(left), "clearSelection",
                                    "repaint"}));
    QVERIFY(list.selected.isEmpty());
    QCOMPARE(list.Shown(), shown);

    // Former slot order, renumbered from 0, every Offset and Size kept.
    const QList<DirRecord> records = ReadRecords(folder.Dir());
    QCOMPARE(ReadBytes(folder.Dir()).size(), 32 * left);
    QList<QByteArray> names;
    for (const DirRecord& record : records) {
        names << record.name;
        QVERIFY(recordsBefore.contains(record));
    }
    QCOMPARE(names, slotOrder);
    QCOMPARE(ReadBytes(folder.Img()).size(), imgLength);
}

void DeleteRenameTest::deleteRefreshesEvenWhenItFails_data() {
    QTest::addColumn<bool>("purgeFails");
    QTest::addColumn<QString>("message");
    QTest::newRow("directory file cannot be written") << true << "Stream write error";
    QTest::newRow("a row beyond the table") << false << "List index out of bounds (6)";
}

void DeleteRenameTest::deleteRefreshesEvenWhenItFails() {
    QFETCH(bool, purgeFails);
    QFETCH(QString, message);

    ArchiveFolder folder;
    auto archive = MakeSampleArchive(folder);
    FakeEntryList list;
    list.rows = purgeFails ? 6 : 7;
    list.archive = archive.get();
    list.Sort();
    list.selected = {1, 6};
    ScriptedDialogs dialogs;
    dialogs.confirmAnswers << true;

    if (purgeFails) // a full disk is rewritten in place instead: an input/output error
        faults::FailNthCall(1, EIO, faults::Call::Write);
    try {
        DeleteSelected(owner, *archive, list);
        QFAIL("the delete did not fail");
    } catch (const Exception& failure) {
        QVERIFY2(QString(failure.what()).startsWith(message), failure.what());
    }
    faults::Reset();

    // Nothing is deleted, and the list, sorted again, shows every entry.
    QCOMPARE(list.log,
             QStringList({"tableChanged 0", "setRowCount 6", "clearSelection", "repaint"}));
    QCOMPARE(list.Shown(), QList<QByteArray>({"alpha.txt", "bravo.txt", "charlie.txt", "delta.txt",
                                              "echo.txt", "foxtrot.txt"}));
    for (int i = 0; i < archive->Count(); ++i)
        QCOMPARE(archive->GetEntry(i).Deleted, 0);
    QCOMPARE(ReadRecords(folder.Dir()).size(), 6);
}

void DeleteRenameTest::rename_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("answer");     // "<proposal>": the proposed text unchanged
    QTest::addColumn<QByteArray>("renamed"); // null: nothing may be written

    const QString proposal = "<proposal>";
    QTest::newRow("confirmed or cancelled unchanged")
        << QByteArray("name.txt") << proposal << QByteArray();
    QTest::newRow("field cleared") << QByteArray("name.txt") << QString() << QByteArray();
    QTest::newRow("letter case only")
        << QByteArray("name.txt") << QString("NAME.txt") << QByteArray("NAME.txt");
    QTest::newRow("trailing blank added")
        << QByteArray("name.txt") << QString("name.txt ") << QByteArray("name.txt ");
    QTest::newRow("blanks of the stored name proposed")
        << QByteArray(" padded.txt ") << proposal << QByteArray();
    QTest::newRow("blanks of the stored name removed")
        << QByteArray(" padded.txt ") << QString("padded.txt") << QByteArray("padded.txt");
    QTest::newRow("30 characters stored as 24")
        << QByteArray("short.txt") << QString("abcdefghijklmnopqrstuvwxyz.txt")
        << QByteArray("abcdefghijklmnopqrstuvwx");
    QTest::newRow("name of another entry")
        << QByteArray("name.txt") << QString("third.txt") << QByteArray("third.txt");
    QTest::newRow("invalid UTF-8 confirmed unchanged")
        << QByteArray("\xff\xfe\x80.bin") << proposal << QByteArray();
    QTest::newRow("invalid UTF-8 replaced")
        << QByteArray("\xff.bin") << QString("new.bin") << QByteArray("new.bin");
}

void DeleteRenameTest::rename() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, answer);
    QFETCH(QByteArray, renamed);

    ArchiveFolder folder;
    auto archive = folder.Craft({"zzz.txt", stored, "third.txt"});
    const QByteArray dirBefore = ReadBytes(folder.Dir());
    FakeEntryList list;
    list.rows = 3;
    list.archive = archive.get();
    list.selected = {1};
    ScriptedDialogs dialogs;
    const QString proposed = QString::fromLatin1(stored);
    dialogs.inputAnswers << (answer == "<proposal>" ? proposed : answer);

    RenameSelected(owner, *archive, list);

    // The stored name is proposed untrimmed, every byte shown.
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls[0].title, QString("Rename file..."));
    QCOMPARE(dialogs.lastPrompt, QString("?"));
    QCOMPARE(dialogs.calls[0].maxLength, 255);
    if (QString::fromUtf8(stored).toUtf8() == stored)
        QCOMPARE(dialogs.calls[0].text, QString::fromUtf8(stored));
    else
        QCOMPARE(dialogs.calls[0].text, proposed);

    const QByteArray dirAfter = ReadBytes(folder.Dir());
    if (renamed.isNull()) {
        QCOMPARE(dirAfter, dirBefore);
        QVERIFY(list.log.isEmpty());
        return;
    }
    // Only the record of row 1 changed, its Offset and Size kept; the row did not move.
    QByteArray expected = dirBefore;
    expected.replace(32, 32, RecordBytes(1, 1, renamed));
    QCOMPARE(dirAfter, expected);
    QCOMPARE(list.Shown(), QList<QByteArray>({"zzz.txt", renamed, "third.txt"}));
    QCOMPARE(list.log, QStringList({"repaint"}));
    QCOMPARE(list.selected, QSet<int>{1});
}

void DeleteRenameTest::renameShownEvenWhenFlushFails() {
    ArchiveFolder folder;
    auto archive = folder.Craft({"old.txt"});
    FakeEntryList list;
    list.rows = 1;
    list.archive = archive.get();
    list.selected = {0};
    ScriptedDialogs dialogs;
    dialogs.inputAnswers << "new.txt";

    faults::FailNthCall(1, EIO, faults::Call::Flush);
    QVERIFY_THROWS_EXCEPTION(EOSError, RenameSelected(owner, *archive, list));
    faults::Reset();

    QCOMPARE(ReadRecords(folder.Dir()), QList<DirRecord>({{0, 1, "new.txt"}}));
    QCOMPARE(list.Shown(), QList<QByteArray>({"new.txt"}));
    QCOMPARE(list.log, QStringList({"repaint"}));
}

QTEST_MAIN(DeleteRenameTest)
#include "DeleteRenameTest.moc"
