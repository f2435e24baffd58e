// The main window on a million entries: time to first paint, a header click (the
// focused row and a whole selection following their entries), and Select All
// with the enabling rules, and how many cells the list asks for.
// Run offscreen: QT_QPA_PLATFORM=offscreen ./ui_bench [entries]
#include "archive/ArchiveEntry.h"
#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/EntryModel.h"
#include "ui/FormMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

namespace {

void WriteLargeArchive(const QString& imgPath, const QString& dirPath, int entries) {
    static const char* const extensions[] = {".txd", ".dff", ".col", ".ifp", ""};
    std::mt19937 random(7);
    QByteArray dir(qsizetype(entries) * qsizetype(sizeof(TDirEntry)), '\0');
    for (int i = 0; i < entries; ++i) {
        TDirEntry record{};
        record.Offset = 0;
        record.Size = static_cast<uint32_t>(random() % 5000);
        std::snprintf(record.Name, sizeof record.Name, "e%07u%s", unsigned(random() % 10000000),
                      extensions[random() % 5]);
        std::memcpy(dir.data() + qsizetype(i) * qsizetype(sizeof record), &record, sizeof record);
    }
    QFile dirFile(dirPath);
    dirFile.open(QIODevice::WriteOnly);
    dirFile.write(dir);
    QFile imgFile(imgPath);
    imgFile.open(QIODevice::WriteOnly);
}

// Waits until the list's viewport has been painted after `since`.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    void wait() {
        while (!painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents(); // let the paint finish
    }
};

bool Report(const char* what, qint64 ms, qint64 limit) {
    std::printf("%-44s %6lld ms (limit %lld ms) %s\n", what, static_cast<long long>(ms),
                static_cast<long long>(limit), ms <= limit ? "ok" : "TOO SLOW");
    return ms <= limit;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir folder;
    const QString imgPath = folder.filePath(QStringLiteral("big.img"));
    WriteLargeArchive(imgPath, folder.filePath(QStringLiteral("big.dir")), entries);
    std::printf("%d entries\n", entries);

    bool ok = true;
    QElapsedTimer timer;
    timer.start();
    TfrmMain window({QFile::encodeName(imgPath)}, folder.filePath(QStringLiteral("Pelkon.ini")));
    auto* model = static_cast<TEntryModel*>(window.fileList()->model());
    PaintWatch watch;
    window.fileList()->viewport()->installEventFilter(&watch);
    window.show();
    watch.wait();
    ok &= Report("open until first paint", timer.elapsed(), 1500);
    const int visibleRows = window.fileList()->viewport()->height() /
                            window.fileList()->verticalHeader()->defaultSectionSize();
    std::printf("%-44s %6llu (about %d rows visible, %d rows in the list)\n", "data() calls so far",
                static_cast<unsigned long long>(model->dataCalls()), visibleRows,
                model->rowCount());

    QHeaderView* header = window.fileList()->horizontalHeader();
    const auto clickHeader = [&](int column) {
        watch.painted = false;
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
        watch.wait();
    };
    // A focused row in the middle, which the sort carries along.
    window.fileList()->setCurrentIndex(model->index(entries / 2, 0));
    for (int column : {0, 2, 1}) {
        const quint64 callsBefore = model->dataCalls();
        timer.restart();
        clickHeader(column);
        const QString what = QStringLiteral("header click %1 (sort + repaint)").arg(column);
        ok &= Report(what.toLatin1().constData(), timer.elapsed(), 1000);
        std::printf("%-44s %6llu\n", "  data() calls for it",
                    static_cast<unsigned long long>(model->dataCalls() - callsBefore));
    }

    auto* selectAll = window.findChild<QAction*>(QStringLiteral("actSelectAll"));
    auto* actionMenu = window.findChild<QMenu*>(QStringLiteral("mniAction"));
    timer.restart();
    selectAll->trigger();
    emit actionMenu->aboutToShow();
    const bool extractEnabled =
        window.findChild<QAction*>(QStringLiteral("actExtract"))->isEnabled();
    const bool renameEnabled = window.findChild<QAction*>(QStringLiteral("actRename"))->isEnabled();
    ok &= Report("Select All + rules", timer.elapsed(), 200);
    std::printf("%-44s %d selected; Extract %s, Rename %s\n", "  state",
                window.fileList()->selectedRowCount(), extractEnabled ? "on" : "off",
                renameEnabled ? "on" : "off");

    // The selection follows the entries: whole, it stays whole.
    timer.restart();
    clickHeader(2);
    ok &= Report("header click 2 with every row selected", timer.elapsed(), 1000);
    std::printf("%-44s %d selected\n", "  state", window.fileList()->selectedRowCount());
    // All rows but one: now the selection model keeps every selected row as a
    // persistent index across the sort. For reference, no limit.
    window.fileList()->selectionModel()->select(
        model->index(entries / 3, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    timer.restart();
    clickHeader(2);
    std::printf("%-44s %6lld ms (reference) %d selected\n",
                "header click 2 with all rows but one selected",
                static_cast<long long>(timer.elapsed()), window.fileList()->selectedRowCount());

    // The share of the archive's own sort in a click, for each order.
    for (const auto& [name, compare] : {std::pair<const char*, TCompareFunc>{"name", CompareByName},
                                        {"size", CompareBySize},
                                        {"type", CompareByType}}) {
        timer.restart();
        SortEntries(*CurrentArchive, compare);
        std::printf("  archive Sort by %-27s %6lld ms\n", name,
                    static_cast<long long>(timer.elapsed()));
    }

    timer.restart();
    window.CloseArchive();
    QCoreApplication::processEvents();
    Report("Close (row count to 0)", timer.elapsed(), 1000);
    return ok ? 0 : 1;
}
