// Compact Archive through the window: asked first, the pair rewritten in
// place with every entry's bytes kept, the list shown afresh with the same
// entries selected, the pair still held, and the space saved in the status
// bar; declined or refused, nothing changes.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include "archive/Gta3Archive.h"
#include "platform/FaultInjection.h"

#include <QLineEdit>
#include <QtTest>

class CompactArchiveTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() {
        faults::Reset();
        dialogs.reset();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void compactsInPlace_data();
    void compactsInPlace();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void CompactArchiveTest::compactsInPlace_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<qint64>("freeSpace"); // -1: as the disk says
    QTest::addColumn<QList<DirRecord>>("after");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("error"); // "%1" is the folder

    // Sectors 1 and 4 are dead, b.txd lies before a.dff, which comes first in
    // the directory: compacted, the data follows the directory's order.
    const QList<DirRecord> before = {{2, 2, "b.txd"}, {0, 1, "a.dff"}, {9, 0, "empty"}};
    const QList<DirRecord> compacted = {{0, 2, "b.txd"}, {2, 1, "a.dff"}, {3, 0, "empty"}};
    const QString saved = "Archive compacted, 4.0 KiB (40.0%) smaller";
    QTest::newRow("compacted") << "" << QStringList{"b.txd", "empty"} << true << qint64(-1)
                               << compacted << saved << "";
    QTest::newRow("compacted, filtered")
        << "*.dff" << QStringList{"a.dff"} << true << qint64(-1) << compacted << saved << "";
    QTest::newRow("declined") << "" << QStringList{"a.dff"} << false << qint64(-1) << before << ""
                              << "";
    QTest::newRow("too little free space")
        << "" << QStringList{"a.dff"} << true << qint64(1000) << before << ""
        << "%1/gta3.img: not enough free space: the compacted copy needs 6240 bytes, 1000 are "
           "free; nothing was written.";
}

void CompactArchiveTest::compactsInPlace() {
    QFETCH(QString, filter);
    QFETCH(QStringList, selected);
    QFETCH(bool, yes);
    QFETCH(qint64, freeSpace);
    QFETCH(QList<DirRecord>, after);
    QFETCH(QString, notice);
    QFETCH(QString, error);
    const QString img = folder->File("gta3.img");
    WritePair(img, {{2, 2, "b.txd"}, {0, 1, "a.dff"}, {9, 0, "empty"}}, 5);
    const QByteArray imgBefore = ReadBytes(img);
    const QList<DirRecord> recordsBefore = ReadRecords(DirPathOf(img));
    auto window = ShownWindow(*folder, img);
    window->findChild<QLineEdit*>("edtFilter")->setText(filter);
    const QStringList shown = ColumnTexts(*window);
    QList<int> rows;
    for (const QString& name : selected)
        rows << int(shown.indexOf(name));
    SelectRows(*window, rows);
    if (freeSpace >= 0)
        faults::FakeFreeSpace(quint64(freeSpace));

    dialogs->confirmAnswers << yes;
    ActionNamed(*window, "actCompact")->trigger();

    QCOMPARE(dialogs->count("confirm"), 1);
    QVERIFY(
        dialogs->calls.first().text.startsWith("Compact gta3.img?\n\nThe archive is rewritten"));
    QCOMPARE(dialogs->errors(),
             error.isEmpty() ? QStringList() : QStringList{error.arg(folder->Path())});
    const QList<DirRecord> records = ReadRecords(DirPathOf(img));
    QCOMPARE(records, after);
    // Every entry keeps its bytes.
    const QByteArray imgNow = ReadBytes(img);
    for (qsizetype i = 0; i < records.size(); ++i)
        QCOMPARE(RecordData(imgNow, records[i]), RecordData(imgBefore, recordsBefore[i]));
    QCOMPARE(NoticeText(*window), notice);
    // The same archive goes on: the same name, rows, selection and filter;
    // nothing else in the folder; and nobody else can open the pair.
    QCOMPARE(window->windowTitle(), "Pelkon - [" + img + "]");
    QCOMPARE(ColumnTexts(*window), shown);
    QCOMPARE(SelectedNames(*window), selected);
    QStringList names = QDir(folder->Path()).entryList(QDir::Files | QDir::Hidden);
    names.removeAll("Pelkon.ini");
    QCOMPARE(names, QStringList({"gta3.dir", "gta3.img"}));
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
    QCOMPARE(QString::fromStdString(MessageOf([&] { TGTA3Archive(img.toStdString(), false); })),
             "Cannot open file " + img);
    QVERIFY(ActionNamed(*window, "actCompact")->isEnabled());
}

QTEST_MAIN(CompactArchiveTest)
#include "CompactArchiveTest.moc"
