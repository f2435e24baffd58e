// Import and Replace through the window's action: which entries get the new
// data and which files are added, what the list shows and selects afterwards,
// and a failure part-way.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include <QtTest>

namespace {

struct ImportCase {
    std::vector<TestEntry> archive;
    QStringList files;          // names of the files chosen, each of its own content
    QList<int> replacedSlots;   // of the archive's records
    QStringList addedNames;     // records appended, in order
    QStringList shownAfterSort; // the list by name
    QString sharedName;         // told, as the replaced entry spells it, when several carry it
};

} // namespace

Q_DECLARE_METATYPE(ImportCase)

class ImportReplaceTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
        TfrmProgress::SetRepaintInterval(0);
    }
    void cleanup() {
        dialogs.reset();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void importReplacesTheFirstEntryOfEachName_data();
    void importReplacesTheFirstEntryOfEachName();
    void failurePartWayKeepsWhatWasDone();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void ImportReplaceTest::importReplacesTheFirstEntryOfEachName_data() {
    QTest::addColumn<ImportCase>("c");
    QTest::newRow("one name") << ImportCase{{{"a.dff", 1}, {"b.txd", 2}, {"c.col", 1}},
                                            {"a.dff"},
                                            {0},
                                            {},
                                            {"a.dff", "b.txd", "c.col"},
                                            {}};
    // Names match with the letters a-z folded; the entry keeps its own name.
    QTest::newRow("several names, other case")
        << ImportCase{{{"a.dff", 1}, {"b.txd", 2}, {"c.col", 1}},
                      {"C.COL", "A.dff"},
                      {2, 0},
                      {},
                      {"a.dff", "b.txd", "c.col"},
                      {}};
    QTest::newRow("shared name: the first slot only")
        << ImportCase{{{"dup.dff", 1}, {"x", 1}, {"DUP.DFF", 2}},
                      {"Dup.dff"},
                      {0},
                      {},
                      {"dup.dff", "DUP.DFF", "x"},
                      "dup.dff"};
    QTest::newRow("replace and add")
        << ImportCase{{{"a.dff", 1}, {"b.txd", 2}}, {"new.ifp", "b.txd", "zz.col"},          {1},
                      {"new.ifp", "zz.col"},        {"a.dff", "b.txd", "new.ifp", "zz.col"}, {}};
}

void ImportReplaceTest::importReplacesTheFirstEntryOfEachName() {
    QFETCH(ImportCase, c);
    const QString img = folder->File("a.img");
    WriteArchive(img, c.archive);
    const QList<DirRecord> before = ReadRecords(DirPathOf(img));
    const QByteArray imgBefore = ReadBytes(img);
    QDir(folder->Path()).mkdir("src");
    QStringList paths;
    QHash<QByteArray, QByteArray> content; // by the name as stored, a-z folded
    for (int i = 0; i < c.files.size(); ++i) {
        const QByteArray bytes = Pattern(1000 + 2500 * i, 70 + i);
        paths << folder->File("src/" + c.files[i]);
        WriteBytes(paths.last(), bytes);
        content[c.files[i].toLatin1().toUpper()] = bytes;
    }
    auto window = ShownWindow(*folder, img);
    QVERIFY(CheckCounted(*window));

    dialogs->openAnswers << paths;
    QTest::keyClick(window->fileList(), Qt::Key_R, Qt::ControlModifier);

    QVERIFY(dialogs->errors().isEmpty());
    const DialogCall& asked = dialogs->calls.first();
    QCOMPARE(asked.title, QString("Select file(s) to import and replace..."));
    QVERIFY(asked.options.multiple && asked.options.mustExist);

    const QList<DirRecord> after = ReadRecords(DirPathOf(img));
    const QByteArray imgAfter = ReadBytes(img);
    QCOMPARE(after.size(), before.size() + c.addedNames.size());
    QCOMPARE(imgAfter.left(imgBefore.size()), imgBefore); // old data stays as dead space
    QStringList replacedNames;
    for (int slot = 0; slot < before.size(); ++slot) {
        QCOMPARE(after[slot].name, before[slot].name);
        if (!c.replacedSlots.contains(slot)) {
            QCOMPARE(after[slot], before[slot]);
            continue;
        }
        QVERIFY(after[slot].offset * 2048 >= imgBefore.size());
        QCOMPARE(RecordData(imgAfter, after[slot]),
                 Sectors(content.value(after[slot].name.toUpper())));
        replacedNames << QString::fromLatin1(after[slot].name);
    }
    for (int i = 0; i < c.addedNames.size(); ++i) {
        const DirRecord& added = after[before.size() + i];
        QCOMPARE(added.name, c.addedNames[i].toLatin1());
        QCOMPARE(RecordData(imgAfter, added), Sectors(content.value(added.name.toUpper())));
    }

    QCOMPARE(ColumnTexts(*window), c.shownAfterSort);
    replacedNames.sort(Qt::CaseInsensitive);
    QStringList selected = SelectedNames(*window);
    selected.sort(Qt::CaseInsensitive);
    QCOMPARE(selected, replacedNames);
    QCOMPARE(NoticeText(*window), QString("Import and Replace: %1 replaced, %2 added")
                                      .arg(c.replacedSlots.size())
                                      .arg(c.addedNames.size()));
    QCOMPARE(dialogs->count("showInformation"), c.sharedName.isEmpty() ? 0 : 1);
    if (!c.sharedName.isEmpty())
        QCOMPARE(dialogs->calls.last().text,
                 QString("Several entries are named %1; the first in the directory was replaced.")
                     .arg(c.sharedName));
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
    // The dead space left by the old data is counted anew.
    QVERIFY(CheckCounted(*window));
    QVERIFY(StatusText(*window).contains("dead space " +
                                         QLocale().formattedDataSize(
                                             imgAfter.size() -
                                                 [&] {
                                                     qsizetype used = 0;
                                                     for (const DirRecord& record : after)
                                                         used += qsizetype(record.size) * 2048;
                                                     return used;
                                                 }(),
                                             1)));
}

void ImportReplaceTest::failurePartWayKeepsWhatWasDone() {
    const QString img = folder->File("a.img");
    WriteArchive(img, {{"c.col", 1}, {"a.dff", 1}, {"b.txd", 1}});
    const QList<DirRecord> before = ReadRecords(DirPathOf(img));
    const QByteArray newA = Pattern(3000, 5);
    WriteBytes(folder->File("a.dff"), newA);
    WriteBytes(folder->File("b.txd"), Pattern(100, 6));
    WriteBytes(folder->File("new.ifp"), Pattern(100, 7));
    auto window = ShownWindow(*folder, img);
    SelectRows(*window, {2}); // c.col

    dialogs->openAnswers << QStringList{folder->File("new.ifp"), folder->File("a.dff"),
                                        folder->File("gone.dff"), folder->File("b.txd")};
    ActionNamed(*window, "actImport")->trigger();

    QCOMPARE(dialogs->errors(), QStringList{"Cannot open file " + folder->File("gone.dff") + "."});
    const QList<DirRecord> after = ReadRecords(DirPathOf(img));
    QCOMPARE(after.size(), 4);
    QCOMPARE(RecordData(ReadBytes(img), after[1]), Sectors(newA)); // a.dff replaced
    QCOMPARE(after[0], before[0]);
    QCOMPARE(after[2], before[2]); // b.txd, after the failure, untouched
    QCOMPARE(after[3].name, QByteArray("new.ifp"));
    // Unlike Add, the list shows every entry at once, sorted; the selection
    // stays on its entry.
    QCOMPARE(ColumnTexts(*window), QStringList({"a.dff", "b.txd", "c.col", "new.ifp"}));
    QCOMPARE(SelectedNames(*window), QStringList{"c.col"});
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
    QVERIFY(NoticeText(*window).isEmpty());
}

QTEST_MAIN(ImportReplaceTest)
#include "ImportReplaceTest.moc"
