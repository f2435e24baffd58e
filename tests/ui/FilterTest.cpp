// The filter above the list: which names it shows, the commands and the
// type-ahead acting on the rows shown only, the selection across filter
// changes, and sorting that sorts every entry.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QtTest>

namespace {

QLineEdit* FilterField(TfrmMain& window) {
    return window.findChild<QLineEdit*>(QStringLiteral("edtFilter"));
}

// Ctrl+F, then the text typed, as a user does.
void TypeFilter(TfrmMain& window, const QString& text) {
    QTest::keyClick(window.fileList(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit* field = FilterField(window);
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, text);
}

void ClickHeader(TfrmMain& window, int column) {
    QHeaderView* header = window.fileList()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
}

} // namespace

class FilterTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() { dialogs.reset(); }

    void showsTheNamesAsked_data();
    void showsTheNamesAsked();
    void commandsActOnTheRowsShown();
    void selectionAndSortingUnderAFilter();

private:
    std::unique_ptr<TfrmMain> Window(const std::vector<TestEntry>& entries) {
        WriteArchive(folder->File("a.img"), entries);
        return ShownWindow(*folder, folder->File("a.img"));
    }

    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void FilterTest::showsTheNamesAsked_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("takenBack"); // characters then taken back with Backspace
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("part of a name, a-z folded")
        << "inf" << 0 << QStringList{"infernus.dff", "INFERNUS.TXD"};
    // Each key narrows the rows shown; a key taken back widens them again.
    QTest::newRow("taken back") << "radar01" << 2 << QStringList{"radar01.txd", "radar10.dff"};
    QTest::newRow("wildcard") << "*.txd" << 0
                              << QStringList{"cheetah.txd", "INFERNUS.TXD", "radar01.txd"};
    QTest::newRow("wildcard, other case")
        << "*.TxD" << 0 << QStringList{"cheetah.txd", "INFERNUS.TXD", "radar01.txd"};
    QTest::newRow("one character") << "?adar*" << 0 << QStringList{"radar01.txd", "radar10.dff"};
    QTest::newRow("the whole name") << "radar0?.txd" << 0 << QStringList{"radar01.txd"};
    QTest::newRow("display name, not stored") << "padded.co?" << 0 << QStringList{"padded.col"};
    QTest::newRow("nothing") << "zzz" << 0 << QStringList{};
    QTest::newRow("every name") << "**" << 0
                                << QStringList{"padded.col",   "cheetah.txd", "infernus.dff",
                                               "INFERNUS.TXD", "radar01.txd", "radar10.dff"};
}

void FilterTest::showsTheNamesAsked() {
    QFETCH(QString, filter);
    QFETCH(int, takenBack);
    QFETCH(QStringList, shown);
    auto window = Window({{"infernus.dff", 1},
                          {"INFERNUS.TXD", 1},
                          {"cheetah.txd", 1},
                          {"radar01.txd", 1},
                          {"radar10.dff", 1},
                          {"  padded.col ", 1}});
    QAbstractItemModelTester tester(window->fileList()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    TypeFilter(*window, filter);
    for (int i = 0; i < takenBack; ++i)
        QTest::keyClick(FilterField(*window), Qt::Key_Backspace);
    QCOMPARE(ColumnTexts(*window), shown);
    QVERIFY(StatusText(*window).startsWith(QString("%1 of 6 entries shown").arg(shown.size())));

    QTest::keyClick(FilterField(*window), Qt::Key_Escape);
    QCOMPARE(ColumnTexts(*window).size(), 6);
    QVERIFY(StatusText(*window).startsWith("6 entries"));
    QVERIFY(FilterField(*window)->hasFocus());
    QTest::keyClick(FilterField(*window), Qt::Key_Escape);
    QVERIFY(window->fileList()->hasFocus());
}

void FilterTest::commandsActOnTheRowsShown() {
    // Entry i holds sectors of the byte 'A' + i.
    auto window = Window({{"a.dff", 1}, {"a.txd", 1}, {"b.dff", 1}, {"b.txd", 1}, {"c.txd", 1}});
    TFileListView* list = window->fileList();
    TypeFilter(*window, "*.txd");
    QCOMPARE(ColumnTexts(*window), QStringList({"a.txd", "b.txd", "c.txd"}));

    // Type-ahead finds shown rows only.
    list->setFocus();
    list->keyboardSearch("b");
    QCOMPARE(FocusedName(*window), QString("b.txd"));
    list->keyboardSearch("");
    QTest::qWait(QApplication::keyboardInputInterval() + 10);
    list->keyboardSearch("a.d");
    QCOMPARE(FocusedName(*window), QString("b.txd"));

    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(list->selectedRowCount(), 3);
    QVERIFY(QDir(folder->Path()).mkdir("out"));
    dialogs->folderAnswers << folder->File("out");
    QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(QDir(folder->File("out")).entryList(QDir::Files),
             QStringList({"a.txd", "b.txd", "c.txd"}));
    QCOMPARE(ReadBytes(folder->File("out/b.txd")), QByteArray(2048, 'D'));

    SelectRows(*window, {1});
    dialogs->inputAnswers << "bb.txd";
    QTest::keyClick(list, Qt::Key_F2);
    QCOMPARE(dialogs->calls.last().text, QString("b.txd"));
    QCOMPARE(ReadRecords(folder->File("a.dir"))[3].name, QByteArray("bb.txd"));

    SelectRows(*window, {0, 2});
    dialogs->confirmAnswers << true;
    QTest::keyClick(list, Qt::Key_Delete);
    QStringList left;
    for (const DirRecord& record : ReadRecords(folder->File("a.dir")))
        left << QString::fromLatin1(record.name);
    QCOMPARE(left, QStringList({"a.dff", "b.dff", "bb.txd"}));
    QCOMPARE(ColumnTexts(*window), QStringList{"bb.txd"});

    // Import and Replace matches every entry, shown or not: a file named as a
    // hidden entry replaces it rather than adding a second of that name. What
    // it adds shows when the filter asks for it.
    WriteBytes(folder->File("new.txd"), "t");
    WriteBytes(folder->File("new.col"), "c");
    WriteBytes(folder->File("a.dff"), "d");
    dialogs->openAnswers << QStringList{folder->File("new.col"), folder->File("a.dff"),
                                        folder->File("new.txd")};
    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(ColumnTexts(*window), QStringList({"bb.txd", "new.txd"}));
    QCOMPARE(NoticeText(*window), QString("Import and Replace: 1 replaced, 2 added"));
    QCOMPARE(ReadRecords(folder->File("a.dir")).size(), 5);
    QVERIFY(StatusText(*window).startsWith("2 of 5 entries shown"));
    QVERIFY(dialogs->errors().isEmpty());
}

void FilterTest::selectionAndSortingUnderAFilter() {
    std::vector<TestEntry> entries; // sizes in another order than names
    for (uint32_t i = 0; i < 30; ++i)
        entries.push_back(
            {QString("%1%2").arg(i % 2 ? "odd" : "even").arg(10 + i).toStdString(), (i * 7) % 31});
    auto window = Window(entries);
    QAbstractItemModelTester tester(window->fileList()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    TFileListView* list = window->fileList();
    SelectRows(*window, {0, 1, 20}); // even10, even12, odd11
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::NoUpdate);

    // A text that shows every entry, and taking it back, leave the list alone:
    // no reset, the selection as it was.
    QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
    TypeFilter(*window, "*");
    QVERIFY(StatusText(*window).startsWith("30 of 30 entries shown"));
    QTest::keyClick(FilterField(*window), Qt::Key_Backspace);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(list->selectedRowCount(), 3);

    // Entries that stay shown stay selected and focused; hidden ones drop out.
    TypeFilter(*window, "even");
    QCOMPARE(resets.count(), 1);
    QCOMPARE(SelectedNames(*window), QStringList({"even10", "even12"}));
    QCOMPARE(FocusedName(*window), QString("even12"));
    QCOMPARE(list->selectedRowCount(), 2);

    // A header click sorts every entry, the filter then shows its part.
    ClickHeader(*window, 2);
    const auto bySize = [](const QStringList& names, const std::vector<TestEntry>& all) {
        for (qsizetype i = 1; i < names.size(); ++i) {
            const auto size = [&](const QString& name) {
                return std::find_if(all.begin(), all.end(),
                                    [&](const TestEntry& e) {
                                        return QString::fromStdString(e.name) == name;
                                    })
                    ->sectors;
            };
            if (size(names[i - 1]) > size(names[i]))
                return false;
        }
        return true;
    };
    QCOMPARE(ColumnTexts(*window).size(), 15);
    QVERIFY(bySize(ColumnTexts(*window), entries));
    QCOMPARE(FocusedName(*window), QString("even12"));
    FilterField(*window)->clear();
    QCOMPARE(ColumnTexts(*window).size(), 30);
    QVERIFY(bySize(ColumnTexts(*window), entries));
    QStringList selected = SelectedNames(*window);
    selected.sort();
    QCOMPARE(selected, QStringList({"even10", "even12"}));
    QCOMPARE(FocusedName(*window), QString("even12"));
}

QTEST_MAIN(FilterTest)
#include "FilterTest.moc"
