// Check Archive and Save Compacted Copy As through the window, on sound and
// on hostile pairs: the findings listed with the entries' names, a compacted
// copy beside the open archive, which stays as it was, and the copies that are
// refused.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include <QtTest>

class CheckCompactTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() {
        dialogs.reset();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void checkListsTheFindings_data();
    void checkListsTheFindings();
    void compactedCopyLeavesTheArchiveAlone();
    void compactedCopyIsRefused_data();
    void compactedCopyIsRefused();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void CheckCompactTest::checkListsTheFindings_data() {
    QTest::addColumn<QList<DirRecord>>("records");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QStringList>("mentioned"); // in the findings, in order
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("sizes"); // the line under the verdict, one number format
    QTest::newRow("sound") << QList<DirRecord>{{0, 1, "a.dff"}, {1, 2, "b.txd"}}
                           << "No problems found." << QStringList{} << 0
                           << "2 entries; data file 6,144 bytes; dead space 0 bytes (0.0%).";
    QTest::newRow("dead space")
        << QList<DirRecord>{{0, 1, "a.dff"}} << "No problems found." << QStringList{} << 0
        << "1 entry; data file 6,144 bytes; dead space 4,096 bytes (66.7%).";
    QTest::newRow("hostile")
        << QList<DirRecord>{{0, 1, "../up.txd"}, {1, 40, "far.dff"}, {0, 1, "x"}, {5, 0, "X"}}
        << "4 problems found."
        << QStringList{"overlap: slot 2 \"x\"", "past end: slot 1 \"far.dff\"",
                       "unsafe name: slot 0 \"../up.txd\"", "duplicate name: slot 2 \"x\""}
        << 4 << "4 entries; data file 6,144 bytes; dead space 0 bytes (0.0%).";
    // What a delete or a replace leaves: entries the games read wrongly.
    QTest::newRow("out of streaming order")
        << QList<DirRecord>{{0, 1, "a.dff"}, {2, 1, "b.dff"}, {1, 1, "c.txd"}}
        << "2 problems found."
        << QStringList{"not after the entry before it: slot 1 \"b.dff\"",
                       "not after the entry before it: slot 2 \"c.txd\""}
        << 2 << "3 entries; data file 6,144 bytes; dead space 0 bytes (0.0%).";
    // A hostile directory's findings could be millions: the list stops.
    QList<DirRecord> unsafe;
    for (quint32 i = 0; i < 1004; ++i)
        unsafe.append({i, 0, ".."});
    QTest::newRow("more than are listed")
        << unsafe << "1,005 problems found." << QStringList{"… and 5 more"} << 1001
        << "1,004 entries; data file 6,144 bytes; dead space 6,144 bytes (100.0%).";
}

void CheckCompactTest::checkListsTheFindings() {
    QFETCH(QList<DirRecord>, records);
    QFETCH(QString, verdict);
    QFETCH(QStringList, mentioned);
    QFETCH(int, listed);
    QFETCH(QString, sizes);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString img = folder->File("a.img");
    WritePair(img, records, 3);
    auto window = ShownWindow(*folder, img);
    ActionNamed(*window, "actCheck")->trigger();

    QCOMPARE(dialogs->count("showFindings"), 1);
    const DialogCall& shown = dialogs->calls.last();
    QCOMPARE(shown.title, QString("Check Archive"));
    QCOMPARE(shown.text.section('\n', 0, 0), verdict);
    QCOMPARE(shown.text.section('\n', 1), sizes);
    QCOMPARE(dialogs->lastFindings.size(), listed);
    qsizetype from = 0;
    for (const QString& text : mentioned) {
        const auto at =
            std::find_if(dialogs->lastFindings.begin() + from, dialogs->lastFindings.end(),
                         [&](const QString& line) { return line.startsWith(text); });
        QVERIFY2(at != dialogs->lastFindings.end(), qPrintable(text));
        from = at - dialogs->lastFindings.begin() + 1;
    }
    // The status bar has the same count at once.
    const QString problems = verdict.section(' ', 0, 0);
    QCOMPARE(ProblemsText(*window),
             listed == 0 ? QString() : problems + " problems — Action, Check Archive");
    QLocale::setDefault(QLocale::system());
}

void CheckCompactTest::compactedCopyLeavesTheArchiveAlone() {
    // Sectors 1 and 4 are dead; a record of no data points past the end. The
    // copy holds the data in slot order.
    const QString img = folder->File("gta3.img");
    WritePair(img, {{2, 2, "b.txd"}, {0, 1, "a.dff"}, {9, 0, "empty"}}, 5);
    const QByteArray imgBefore = ReadBytes(img);
    const QByteArray dirBefore = ReadBytes(DirPathOf(img));
    auto window = ShownWindow(*folder, img);

    dialogs->saveAnswers << folder->File("gta3-compacted.img");
    ActionNamed(*window, "actSaveCompacted")->trigger();

    QVERIFY(dialogs->errors().isEmpty());
    const DialogCall& asked = dialogs->calls.first();
    QCOMPARE(asked.title, QString("Save compacted copy as"));
    QCOMPARE(asked.options.defaultSuffix, QString("img"));
    QCOMPARE(asked.options.initialPath, folder->File("gta3-compacted.img"));
    QCOMPARE(ReadBytes(img), imgBefore);
    QCOMPARE(ReadBytes(DirPathOf(img)), dirBefore);
    const QList<DirRecord> copy = ReadRecords(folder->File("gta3-compacted.dir"));
    QCOMPARE(copy, QList<DirRecord>({{0, 2, "b.txd"}, {2, 1, "a.dff"}, {3, 0, "empty"}}));
    const QByteArray copyImg = ReadBytes(folder->File("gta3-compacted.img"));
    QCOMPARE(copyImg, imgBefore.mid(2 * 2048, 2 * 2048) + imgBefore.mid(0, 2048));
    QCOMPARE(NoticeText(*window),
             "Compacted copy saved, 4.0 KiB (40.0%) smaller: gta3-compacted.img and "
             "gta3-compacted.dir in " +
                 folder->Path());
    // The open archive is still the one shown and in use.
    QCOMPARE(window->windowTitle(), "Pelkon - [" + img + "]");
    QCOMPARE(ColumnTexts(*window), QStringList({"a.dff", "b.txd", "empty"}));
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
}

void CheckCompactTest::compactedCopyIsRefused_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("type"); // of the copy; empty: the dialog's first
    QTest::addColumn<QList<DirRecord>>("records");
    QTest::addColumn<QString>("error"); // "%1" is the folder
    const QList<DirRecord> sound = {{0, 1, "a.dff"}, {2, 1, "b.txd"}};
    QTest::newRow("the open archive itself")
        << "gta3.img" << QString() << sound
        << "%1/gta3.img already exists; a compacted copy is saved only as a new pair.";
    QTest::newRow("the open archive itself, as a single file")
        << "gta3.img" << SingleFileArchiveFilter() << sound
        << "%1/gta3.img already exists; a compacted copy is saved only as a new archive.";
    QTest::newRow("over the open archive's directory file")
        << "gta3.pair" << QString() << sound
        << "%1/gta3.dir already exists; a compacted copy is saved only as a new pair.";
    QTest::newRow("a record past the end")
        << "copy.img" << QString() << QList<DirRecord>{{0, 1, "a.dff"}, {2, 7, "far.txd"}}
        << "slot 1 \"far.txd\" reaches past the end of %1/gta3.img (see Action, Check Archive); "
           "nothing was written.";
    QTest::newRow("cancelled") << "" << QString() << sound << "";
}

void CheckCompactTest::compactedCopyIsRefused() {
    QFETCH(QString, target);
    QFETCH(QString, type);
    QFETCH(QList<DirRecord>, records);
    QFETCH(QString, error);
    const QString img = folder->File("gta3.img");
    WritePair(img, records, 3);
    const QStringList before = QDir(folder->Path()).entryList(QDir::Files);
    const QByteArray imgBefore = ReadBytes(img);
    const QByteArray dirBefore = ReadBytes(DirPathOf(img));
    auto window = ShownWindow(*folder, img);

    dialogs->saveAnswers << (target.isEmpty() ? QString() : folder->File(target));
    if (!type.isEmpty())
        dialogs->filterAnswers << type;
    ActionNamed(*window, "actSaveCompacted")->trigger();

    QCOMPARE(dialogs->errors(),
             error.isEmpty() ? QStringList() : QStringList{error.arg(folder->Path())});
    QCOMPARE(QDir(folder->Path()).entryList(QDir::Files), before);
    QCOMPARE(ReadBytes(img), imgBefore);
    QCOMPARE(ReadBytes(DirPathOf(img)), dirBefore);
    QVERIFY(NoticeText(*window).isEmpty());
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
}

QTEST_MAIN(CheckCompactTest)
#include "CheckCompactTest.moc"
