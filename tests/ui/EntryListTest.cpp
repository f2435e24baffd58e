// The virtual entry list: what a row shows, header clicks, type-ahead.
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
        const QString path = folder.file("a.img");
        WriteArchive(path, {{stored.toStdString(), sectors}});
        TfrmMain window({PathBytes(path)}, folder.settings());
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
        const QString path = folder.file("a.img");
        WriteArchive(path, {{"a", 1}, {"b", 2}, {"c", 3}});
        TfrmMain window({}, folder.settings());
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
        const QString path = folder.file("a.img");
        // Names, types and sizes each give a different order.
        WriteArchive(path, {{"b.txd", 1}, {"a.zzz", 2}, {"c.dff", 3}});
        TfrmMain window({PathBytes(path)}, folder.settings());
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
            // The selection stays with the row, not with the entry.
            QCOMPARE(window.fileList()->selectedRowCount(), 1);
            QVERIFY(window.fileList()->isRowSelected(0));
        }
        QVERIFY(!window.fileList()->horizontalHeader()->isSortIndicatorShown());
    }

    void orderIsKeptForTheNextArchive() {
        TestFolder folder;
        const QString first = folder.file("first.img");
        const QString second = folder.file("second.img");
        WriteArchive(first, {{"x", 1}});
        WriteArchive(second, {{"small", 1}, {"large", 5}, {"middle", 3}});
        TfrmMain window({PathBytes(first)}, folder.settings());
        ClickHeader(window, 2);
        ClickHeader(window, 2);
        window.OpenArchive(PathBytes(second));
        QCOMPARE(ColumnTexts(window), QStringList({"large", "middle", "small"}));
    }

    void headerClickWithoutArchiveDoesNothing() {
        TestFolder folder;
        TfrmMain window({}, folder.settings());
        ClickHeader(window, 2);
        QVERIFY(CurrentCompare == CompareByName);
        QVERIFY(!SortDescending);
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
        const QString path = folder.file("a.img");
        WriteArchive(path, {{"zz", 1}, {"b1", 1}, {"aB2", 1}, {"Abx", 1}, {"  abc", 1}});
        TfrmMain window({PathBytes(path)}, folder.settings());
        QCOMPARE(ColumnTexts(window), QStringList({"abc", "aB2", "Abx", "b1", "zz"}));
        auto* model = static_cast<TEntryModel*>(window.fileList()->model());
        QTEST(model->lsvFileListDataFind(key, start, wrap), "found");
    }

    void typingMovesToTheMatchingRow() {
        TestFolder folder;
        const QString path = folder.file("a.img");
        WriteArchive(path, {{"apple", 1}, {"banana", 1}, {"Bread", 1}, {"cherry", 1}});
        TfrmMain window({PathBytes(path)}, folder.settings());
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

    void onlyVisibleRowsAreAsked() {
        TestFolder folder;
        const QString path = folder.file("a.img");
        std::vector<TestEntry> many;
        for (int i = 0; i < 20000; ++i)
            many.push_back({"e" + std::to_string(100000 + i), 0});
        WriteArchive(path, many);
        TfrmMain window({PathBytes(path)}, folder.settings());
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
