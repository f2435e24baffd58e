// Both kinds of archive in the window: New and Save Compacted Copy As offer
// both file types, the title and the status bar tell the kind, and an add that
// makes room (moving entries to other slots) keeps the rows and the selection
// on their entries.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"
#include "ui/DialogSeam.h"

#include <QtTest>

class SingleFileWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() { dialogs.reset(); }

    void newAndCompactedCopy_data();
    void newAndCompactedCopy();
    void addThatMakesRoomKeepsTheSelection();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void SingleFileWindowTest::newAndCompactedCopy_data() {
    QTest::addColumn<QString>("newType");
    QTest::addColumn<QString>("copyType"); // empty: the one preselected
    QTest::addColumn<bool>("single");      // the new archive is a single file
    QTest::addColumn<bool>("copySingle");
    const QString pair = PairArchiveFilter(), single = SingleFileArchiveFilter();
    QTest::newRow("pair, copied as it is") << pair << QString() << false << false;
    QTest::newRow("single file, copied as it is") << single << QString() << true << true;
    QTest::newRow("pair, copied as a single file") << pair << single << false << true;
    QTest::newRow("single file, copied as a pair") << single << pair << true << false;
    QTest::newRow("all files: a pair") << QString("All Files (*.*)") << QString() << false << false;
}

void SingleFileWindowTest::newAndCompactedCopy() {
    QFETCH(QString, newType);
    QFETCH(QString, copyType);
    QFETCH(bool, single);
    QFETCH(bool, copySingle);
    TfrmMain window(QByteArrayList{}, folder->File(QStringLiteral("Pelkon.ini")));
    window.resize(900, window.height());
    window.show();
    const QString img = folder->File("new.img");
    dialogs->saveAnswers << img;
    dialogs->filterAnswers << newType;
    ActionNamed(window, "mniNew")->trigger();
    QVERIFY(dialogs->errors().isEmpty());
    const QStringList offered = dialogs->calls.last().options.filter.split(";;");
    QCOMPARE(offered.mid(0, 2), QStringList({PairArchiveFilter(), SingleFileArchiveFilter()}));
    QCOMPARE(ReadBytes(img).startsWith("VER2"), single);
    QCOMPARE(QFileInfo::exists(DirPathOf(img)), !single);
    QCOMPARE(window.windowTitle(),
             "Pelkon - [" + img + "]" + (single ? QString(" (single file)") : QString()));
    QVERIFY(CheckCounted(window));
    QVERIFY2(StatusText(window).contains(single ? "single file " : "data file "),
             qPrintable(StatusText(window)));

    const QString copy = folder->File("copy.img");
    dialogs->saveAnswers << copy;
    if (!copyType.isEmpty())
        dialogs->filterAnswers << copyType;
    ActionNamed(window, "actSaveCompacted")->trigger();
    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(dialogs->calls.last().options.selectedFilter,
             single ? SingleFileArchiveFilter() : PairArchiveFilter());
    QCOMPARE(ReadBytes(copy).startsWith("VER2"), copySingle);
    QCOMPARE(QFileInfo::exists(DirPathOf(copy)), !copySingle);
}

void SingleFileWindowTest::addThatMakesRoomKeepsTheSelection() {
    // 63 records fill everything before the data at sector 1: one more moves
    // the first entries' data, and their records, to the end.
    std::string records;
    QStringList names;
    for (unsigned i = 0; i < 63; ++i) {
        const std::string name = "v" + std::to_string(i) + ".dff";
        records += V2Record(1 + i, 1, name);
        names << QString::fromStdString(name);
    }
    const QString img = folder->File("full.img");
    WriteAll(HostBytes(img), SingleFile(records, Pattern(63 * 2048, 12).toStdString(), 1));
    auto window = ShownWindow(*folder, img);
    SelectRows(*window, {static_cast<int>(ColumnTexts(*window).indexOf("v3.dff"))});

    WriteAll(HostBytes(folder->File("added.dff")), Pattern(3000, 2).toStdString());
    dialogs->openAnswers << QStringList{folder->File("added.dff")};
    ActionNamed(*window, "actAdd")->trigger();

    QVERIFY(dialogs->errors().isEmpty());
    names << "added.dff";
    names.sort();
    QCOMPARE(ColumnTexts(*window), names);
    QCOMPARE(SelectedNames(*window), QStringList{"v3.dff"});
}

QTEST_MAIN(SingleFileWindowTest)
#include "SingleFileWindowTest.moc"
