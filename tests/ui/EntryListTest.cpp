// The virtual entry list: what a row shows, header clicks and the selection
// across them, type-ahead.
#include "EditTestSupport.h"
#include "MainWindowTestSupport.h"
#include "ScriptedDialogs.h"
#include "sorting/SortFunctions.h"
#include "ui/EntryModel.h"
#include "ui/Icons.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>

namespace {

void ClickHeader(TfrmMain& window, int column) {
    QHeaderView* header = window.fileList()->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

// Rows clicked as the user does: the first alone, the others with Ctrl held,
// each becoming the focused row in turn.
void ClickRows(TfrmMain& window, const QList<int>& rows) {
    TFileListView* list = window.fileList();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QModelIndex index = list->model()->index(rows[i], 0);
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                          list->visualRect(index).center());
    }
}

bool FocusedRowInView(TfrmMain& window) {
    TFileListView* list = window.fileList();
    return list->viewport()->rect().contains(list->visualRect(list->currentIndex()));
}

qint64 IconKey(const QVariant& decoration) {
    return decoration.value<QIcon>().cacheKey();
}

} // namespace

class EntryListTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() { dialogs.reset(); }

    void rowShowsNameTypeSizeAndIcon_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<uint>("sectors");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("image");
        QTest::newRow("dff") << QByteArray("player.dff") << 1u << "player.dff"
                             << "DFF File"
                             << "2 kB" << 2;
        QTest::newRow("mixed-case txd") << QByteArray("Roads.Txd") << 3u << "Roads.Txd"
                                        << "TXD File"
                                        << "6 kB" << 1;
        QTest::newRow("upper-case txd") << QByteArray("TEXTURES.TXD") << 0u << "TEXTURES.TXD"
                                        << "TXD File"
                                        << "0 kB" << 1;
        QTest::newRow("two dots") << QByteArray("a.b.col") << 1u << "a.b.col"
                                  << "COL File"
                                  << "2 kB" << 0;
        QTest::newRow("no extension") << QByteArray("readme") << 1u << "readme"
                                      << "File"
                                      << "2 kB" << 0;
        QTest::newRow("bare dot") << QByteArray("name.") << 1u << "name."
                                  << " File"
                                  << "2 kB" << 0;
        QTest::newRow("24 bytes, no zero")
            << QByteArray("abcdefghijklmnopqrst.dff") << 1u << "abcdefghijklmnopqrst.dff"
            << "DFF File"
            << "2 kB" << 2;
        QTest::newRow("only blanks") << QByteArray("    ") << 1u << ""
                                     << "File"
                                     << "2 kB" << 0;
        QTest::newRow("blanks around") << QByteArray("  x.txd \t") << 1u << "x.txd"
                                       << "TXD File"
                                       << "2 kB" << 1;
        QTest::newRow("not utf-8")
            << QByteArray("caf\xe9.dff") << 1u << QString::fromLatin1("caf\xe9.dff") << "DFF File"
            << "2 kB" << 2;
    }
    void rowShowsNameTypeSizeAndIcon() {
        QFETCH(QByteArray, stored);
        QFETCH(uint, sectors);
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{stored.toStdString(), sectors}});
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        QAbstractItemModel* model = window.fileList()->model();
        QCOMPARE(model->rowCount(), 1);
        QTEST(model->index(0, 0).data().toString(), "name");
        QTEST(model->index(0, 1).data().toString(), "type");
        QTEST(model->index(0, 2).data().toString(), "size");
        QFETCH(int, image);
        QCOMPARE(IconKey(model->index(0, 0).data(Qt::DecorationRole)), EntryIcon(image).cacheKey());
        QVERIFY(!model->index(0, 2).data(Qt::DecorationRole).isValid());
        QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(window.fileList()->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void sizeTextDoesNotOverflow_data() {
        QTest::addColumn<uint>("sectors");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0u << "0 kB";
        QTest::newRow("2^31") << 0x80000000u << "4294967296 kB";
        QTest::newRow("max") << 0xFFFFFFFFu << "8589934590 kB";
    }
    void sizeTextDoesNotOverflow() {
        QFETCH(uint, sectors);
        QTEST(SizeText(sectors), "text");
    }

    void imagesAreFourDistinctPictures() {
        QList<QImage> images;
        for (int i = 0; i < EntryImageCount; ++i) {
            const QImage image = DrawEntryImage(i).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            QVERIFY(image.hasAlphaChannel());
            QVERIFY(!images.contains(image));
            images << image;
        }
    }

    void modelPassesTheTesterThroughRowCountChanges() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{"a", 1}, {"b", 2}, {"c", 3}});
        TfrmMain window({}, folder.File(QStringLiteral("Pelkon.ini")));
        QAbstractItemModelTester tester(window.fileList()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.OpenArchive(PathBytes(path));
        QCOMPARE(window.fileList()->model()->rowCount(), 3);
        SelectRows(window, {0, 1});
        ClickHeader(window, 2);
        window.CloseArchive();
        QCOMPARE(window.fileList()->model()->rowCount(), 0);
    }

    void headerClicksCycleTheOrder() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        // Names, types and sizes each give a different order.
        WriteArchive(path, {{"b.txd", 1}, {"a.zzz", 2}, {"c.dff", 3}});
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        QCOMPARE(ColumnTexts(window), QStringList({"a.zzz", "b.txd", "c.dff"}));
        SelectRows(window, {0});

        const struct {
            int column;
            QStringList order;
        } clicks[] = {
            {0, {"c.dff", "b.txd", "a.zzz"}}, // already by name: descending
            {0, {"a.zzz", "b.txd", "c.dff"}},
            {2, {"b.txd", "a.zzz", "c.dff"}},
            {2, {"c.dff", "a.zzz", "b.txd"}},
            {1, {"c.dff", "b.txd", "a.zzz"}}, // after size descending: type ascending
            {1, {"a.zzz", "b.txd", "c.dff"}},
        };
        for (const auto& click : clicks) {
            ClickHeader(window, click.column);
            QCOMPARE(ColumnTexts(window), click.order);
            QCOMPARE(window.fileList()->model()->rowCount(), 3);
            QCOMPARE(SelectedNames(window), QStringList({"a.zzz"}));
        }
        QVERIFY(!window.fileList()->horizontalHeader()->isSortIndicatorShown());
    }

    // A command right after a re-sort acts on the entries the user chose: the
    // selection and the focused row follow their entries, and the focused row
    // stays in view.
    void selectionAndFocusFollowTheirEntriesAcrossHeaderClicks() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        std::vector<TestEntry> entries; // sizes in another order than names
        for (uint32_t i = 0; i < 60; ++i)
            entries.push_back({"e" + std::to_string(10 + i), (i * 37) % 61});
        WriteArchive(path, entries);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        QAbstractItemModelTester tester(window.fileList()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ClickRows(window, {5, 41, 17});
        const QStringList chosen = {"e15", "e27", "e51"};
        QCOMPARE(SelectedNames(window), chosen);
        QCOMPARE(FocusedName(window), QString("e27"));

        for (int column : {2, 2, 1, 0}) {
            ClickHeader(window, column);
            QStringList selected = SelectedNames(window);
            selected.sort();
            QCOMPARE(selected, chosen);
            QCOMPARE(FocusedName(window), QString("e27"));
            QVERIFY(FocusedRowInView(window));
        }
        QVERIFY(!window.fileList()->horizontalHeader()->isSortIndicatorShown());

        dialogs->confirmAnswers << true;
        QTest::keyClick(window.fileList(), Qt::Key_Delete);
        QCOMPARE(ColumnTexts(window).size(), 57);
        for (const QString& name : chosen)
            QVERIFY(!ColumnTexts(window).contains(name));

        // A selection of the whole table is kept whole.
        QTest::keyClick(window.fileList(), Qt::Key_A, Qt::ControlModifier);
        ClickHeader(window, 2);
        QCOMPARE(window.fileList()->selectedRowCount(), 57);
    }

    // The re-sorts after Delete and Add keep the focused entry too; entries that
    // a failed Add left without a row are never followed into the list.
    void focusFollowsItsEntryAcrossDeleteAndAdd() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{"d", 1}, {"b", 2}, {"f", 3}, {"a", 4}, {"e", 5}, {"c", 6}});
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        QAbstractItemModelTester tester(window.fileList()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ClickRows(window, {0, 2, 4, 4}); // a and c selected; e focused, then unselected
        QCOMPARE(SelectedNames(window), QStringList({"a", "c"}));
        QCOMPARE(FocusedName(window), QString("e"));

        dialogs->confirmAnswers << true;
        ActionNamed(window, "actDelete")->trigger();
        QCOMPARE(ColumnTexts(window), QStringList({"b", "d", "e", "f"}));
        QCOMPARE(FocusedName(window), QString("e"));

        ClickRows(window, {1, 3}); // d, and f focused
        WriteBytes(folder.File("aa"), "x");
        WriteBytes(folder.File("ee"), "x");
        dialogs->openAnswers << QStringList{folder.File("ee"), folder.File("aa")};
        ActionNamed(window, "actAdd")->trigger();
        QCOMPARE(ColumnTexts(window), QStringList({"aa", "b", "d", "e", "ee", "f"}));
        QCOMPARE(SelectedNames(window), QStringList({"d", "f"}));
        QCOMPARE(FocusedName(window), QString("f"));

        // "0" is added before the failure and gets its row; every entry
        // keeps its selection through the failed add and the sorts after it.
        WriteBytes(folder.File("0"), "x");
        dialogs->openAnswers << QStringList{folder.File("0"), folder.File("missing")};
        ActionNamed(window, "actAdd")->trigger();
        QCOMPARE(dialogs->errors().size(), 1);
        ClickHeader(window, 0);
        ClickHeader(window, 0);
        QCOMPARE(ColumnTexts(window), QStringList({"0", "aa", "b", "d", "e", "ee", "f"}));
        QCOMPARE(SelectedNames(window), QStringList({"d", "f"}));
    }

    void orderIsKeptForTheNextArchive() {
        TestFolder folder;
        const QString first = folder.File("first.img");
        const QString second = folder.File("second.img");
        WriteArchive(first, {{"x", 1}});
        WriteArchive(second, {{"small", 1}, {"large", 5}, {"middle", 3}});
        TfrmMain window({PathBytes(first)}, folder.File(QStringLiteral("Pelkon.ini")));
        ClickHeader(window, 2);
        ClickHeader(window, 2);
        window.OpenArchive(PathBytes(second));
        QCOMPARE(ColumnTexts(window), QStringList({"large", "middle", "small"}));
    }

    void headerClickWithoutArchiveDoesNothing() {
        TestFolder folder;
        TfrmMain window({}, folder.File(QStringLiteral("Pelkon.ini")));
        ClickHeader(window, 2);
        QVERIFY(CurrentCompare == CompareByName);
        QVERIFY(!SortDescending);
    }

    // The rows are a permutation of the slots that the list owns: each order,
    // direction and filter maps row i to the slot it names, and after a delete
    // to the slots as they were renumbered; equal entries stand in slot order.
    void rowsMapToSlots_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<QList<int>>("expected"); // the slots of the rows, in row order
        const QList<int> none;
        QTest::newRow("name") << 0 << false << "" << none << QList<int>{1, 5, 4, 3, 6, 0, 2};
        QTest::newRow("name descending")
            << 0 << true << "" << none << QList<int>{2, 0, 6, 3, 4, 1, 5};
        QTest::newRow("size") << 2 << false << "" << none << QList<int>{3, 0, 4, 6, 2, 1, 5};
        QTest::newRow("size descending")
            << 2 << true << "" << none << QList<int>{1, 5, 4, 6, 2, 3, 0};
        QTest::newRow("type") << 1 << false << "" << none << QList<int>{3, 1, 5, 2, 6, 4, 0};
        QTest::newRow("type descending")
            << 1 << true << "" << none << QList<int>{4, 0, 6, 1, 5, 2, 3};
        QTest::newRow("name, *.dff") << 0 << false << "*.dff" << none << QList<int>{1, 5, 2};
        QTest::newRow("size descending, a")
            << 2 << true << "a" << none << QList<int>{1, 5, 4, 6, 3, 0};
        QTest::newRow("type descending, txd") << 1 << true << "txd" << none << QList<int>{4, 0};
        QTest::newRow("name, slots 1 and 4 deleted")
            << 0 << false << "" << QList<int>{1, 4} << QList<int>{3, 2, 4, 0, 1};
        QTest::newRow("size, *.dff, slots 1 and 4 deleted")
            << 2 << false << "*.dff" << QList<int>{1, 4} << QList<int>{1, 3};
    }
    void rowsMapToSlots() {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QString, filter);
        QFETCH(QList<int>, deleted);
        QFETCH(QList<int>, expected);
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{"delta.txd", 1},
                            {"Alpha.dff", 3},
                            {"echo.dff", 2},
                            {"bravo.col", 1},
                            {"alpha.txd", 2},
                            {"ALPHA.DFF", 3},
                            {"charlie", 2}});
        auto archive = std::make_unique<TGTA3Archive>(HostBytes(path), false);
        TEntryModel model(archive);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRowCount(archive->Count());
        const TCompareFunc byColumn[] = {CompareByName, CompareByType, CompareBySize};
        model.sortBy(byColumn[column], descending);
        model.setFilter(filter);
        if (!deleted.isEmpty()) {
            const std::vector<int> doomed(deleted.begin(), deleted.end());
            DeleteEntries(*archive, doomed);
            model.tableChanged(doomed);
        }

        QCOMPARE(model.rowCount(), expected.size());
        QList<int> shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown << model.entryIndex(row);
        QCOMPARE(shown, expected);
        for (int row = 0; row < model.rowCount(); ++row) {
            const int slot = expected[row];
            QCOMPARE(model.rowsOfEntries(std::span(&slot, 1)), std::vector<int>{row});
        }
        QCOMPARE(model.entryIndex(model.rowCount()), -1);
    }

    void findMatchesStoredPrefix_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<int>("found");
        // Rows in name order: "  abc", "aB2", "Abx", "b1", "zz".
        QTest::newRow("folded prefix") << "ab" << 0 << true << 1;
        QTest::newRow("from start row") << "ab" << 2 << true << 2;
        QTest::newRow("wraps") << "ab2" << 2 << true << 1;
        QTest::newRow("no wrap") << "ab2" << 2 << false << -1;
        QTest::newRow("stored blanks count") << "  a" << 0 << false << 0;
        QTest::newRow("visible letters of a blank-led name") << "abc" << 0 << true << -1;
        QTest::newRow("start at count") << "zz" << 5 << false << -1;
        QTest::newRow("start at count, wrapping") << "zz" << 5 << true << 4;
        QTest::newRow("empty key") << "" << 0 << true << -1;
        QTest::newRow("no match anywhere") << "q" << 0 << true << -1;
    }
    void findMatchesStoredPrefix() {
        QFETCH(QString, key);
        QFETCH(int, start);
        QFETCH(bool, wrap);
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{"zz", 1}, {"b1", 1}, {"aB2", 1}, {"Abx", 1}, {"  abc", 1}});
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        QCOMPARE(ColumnTexts(window), QStringList({"abc", "aB2", "Abx", "b1", "zz"}));
        auto* model = static_cast<TEntryModel*>(window.fileList()->model());
        QTEST(model->lsvFileListDataFind(key, start, wrap), "found");
    }

    void typingMovesToTheMatchingRow() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, {{"apple", 1}, {"banana", 1}, {"Bread", 1}, {"cherry", 1}});
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TFileListView* list = window.fileList();
        list->setFocus();
        QTest::keyClicks(list, "br");
        QCOMPARE(list->currentIndex().row(), 2);
        QCOMPARE(list->selectedRowCount(), 1);
        QVERIFY(list->isRowSelected(2));
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(list, "q"); // no match: the focus stays
        QCOMPARE(list->currentIndex().row(), 2);
    }

    // A table large enough that its names are matched in two parts at once:
    // every name read in order, then a narrowed few fetched ahead.
    void largeTablesAreMatchedInParts() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        // 7 in 15 names have an x, the last one too: under half, to narrow from.
        constexpr int Count = 150000, WithX = Count / 15 * 7;
        std::vector<TestEntry> many;
        for (int i = 0; i < Count; ++i)
            many.push_back({(i % 15 >= 8 ? "x" : "Y") + std::to_string(i), 0});
        WriteArchive(path, many);
        auto archive = std::make_unique<TGTA3Archive>(HostBytes(path), false);
        TEntryModel model(archive);
        model.setRowCount(archive->Count());
        model.sortBy(CompareBySize, true); // rows in an order of their own
        const auto shownSlots = [&] {
            std::vector<int> found;
            model.appendEntries(0, model.rowCount() - 1, found);
            return found;
        };
        const auto expected = [&](const std::string& text, std::span<const int> among) {
            std::vector<int> found;
            for (const int slot : among)
                if (QString::fromStdString(many[size_t(slot)].name)
                        .contains(QString::fromStdString(text), Qt::CaseInsensitive))
                    found.push_back(slot);
            return found;
        };
        const std::vector<int> all = shownSlots();
        QCOMPARE(all.size(), size_t(Count));
        model.setFilter("X");
        const std::vector<int> withX = shownSlots();
        QCOMPARE(withX, expected("x", all));
        QCOMPARE(withX.size(), size_t(WithX));
        model.setFilter("x1");
        const std::vector<int> withX1 = shownSlots();
        QCOMPARE(withX1, expected("x1", withX));
        QVERIFY(withX1.size() > 25000);
        QCOMPARE(std::ranges::max(withX1), Count - 1); // the table's last name is among them
    }

    void onlyVisibleRowsAreAsked() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        std::vector<TestEntry> many;
        for (int i = 0; i < 20000; ++i)
            many.push_back({"e" + std::to_string(100000 + i), 0});
        WriteArchive(path, many);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        auto* model = static_cast<TEntryModel*>(window.fileList()->model());
        const quint64 before = model->dataCalls();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.fileList()->viewport()->repaint();
        const quint64 asked = model->dataCalls() - before;
        QVERIFY(asked > 0);
        const int visibleRows = window.fileList()->viewport()->height() /
                                    window.fileList()->verticalHeader()->defaultSectionSize() +
                                2;
        // A handful of roles per cell, three cells per row, a few paints.
        QVERIFY2(asked < quint64(visibleRows) * 3 * 12 * 3, qPrintable(QString::number(asked)));
    }

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
};

QTEST_MAIN(EntryListTest)
#include "EntryListTest.moc"
