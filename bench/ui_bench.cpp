// The main window on a million entries: time to first paint and to the
// background check's dead space, a header click (the focused row and a whole
// selection following their entries), Select All with the enabling rules, how
// many cells the list asks for, the status bar after a selection change, each
// keystroke of the filter, Check Archive, and the window while a 1 GiB
// compaction runs: how soon it repaints after a resize, and how soon Cancel
// gives it back.
// Run offscreen: QT_QPA_PLATFORM=offscreen ./ui_bench [entries]
#include "archive/ArchiveEntry.h"
#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/BackgroundCheck.h"
#include "ui/DialogSeam.h"
#include "ui/EntryModel.h"
#include "ui/FormMain.h"
#include "ui/FormProgress.h"
#include "ui/JobRunner.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

namespace {

void WriteLargeArchive(const QString& imgPath, const QString& dirPath, int entries) {
    static const char* const extensions[] = {".txd", ".dff", ".col", ".ifp", ""};
    std::mt19937 random(7);
    QByteArray dir(qsizetype(entries) * qsizetype(sizeof(TDirEntry)), '\0');
    uint32_t offset = 0;
    for (int i = 0; i < entries; ++i) {
        TDirEntry record{};
        // Laid end to end in a data file that holds them all (sparse): a sound
        // archive, whose check finds only the names that repeat.
        record.Offset = offset;
        record.Size = static_cast<uint32_t>(random() % 5000);
        offset += record.Size;
        std::snprintf(record.Name, sizeof record.Name, "e%07u%s", unsigned(random() % 10000000),
                      extensions[random() % 5]);
        std::memcpy(dir.data() + qsizetype(i) * qsizetype(sizeof record), &record, sizeof record);
    }
    QFile dirFile(dirPath);
    dirFile.open(QIODevice::WriteOnly);
    dirFile.write(dir);
    QFile imgFile(imgPath);
    imgFile.open(QIODevice::WriteOnly);
    imgFile.resize(qint64(offset) * SectorSize);
}

// Waits until the list's viewport has been painted after `since`; the time of
// that paint is kept, apart from what the event loop does right after it.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(const QElapsedTimer& clock) : clock_(clock) {}
    bool painted = false;
    qint64 paintedAt = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            paintedAt = clock_.elapsed();
        }
        return false;
    }
    void wait() {
        while (!painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents(); // let the paint finish
    }
    // As wait(), for an event that may change no row, and so paint nothing:
    // returns whether a paint came within `ms`.
    bool waitAtMost(qint64 ms) {
        QElapsedTimer since;
        since.start();
        while (!painted && since.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (painted)
            QCoreApplication::processEvents();
        return painted;
    }

private:
    const QElapsedTimer& clock_;
};

// Answers every dialog at once, so that nothing waits on a modal window.
class SilentDialogs final : public IDialogs {
public:
    int findingsShown = 0;
    QStringList openFiles(QWidget*, const FileDialogOptions&) override { return {}; }
    QString saveFile(QWidget*, const FileDialogOptions&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&) override { return {}; }
    void showError(QWidget*, const QString&, const QString& text, const QString& detail) override {
        std::printf("error: %s\n%s\n", qPrintable(text), qPrintable(detail));
    }
    void showInformation(QWidget*, const QString&, const QString&) override {}
    void showFindings(QWidget*, const QString&, const QString&, const QStringList&) override {
        ++findingsShown;
    }
    bool confirmAnswer = false;
    bool confirm(QWidget*, const QString&, const QString&) override { return confirmAnswer; }
    QString inputBox(QWidget*, const QString&, const QString&, const QString& proposed,
                     int) override {
        return proposed;
    }
    void openUrl(QWidget*, const QUrl&) override {}
    Qt::DropAction dragFiles(QWidget*, const QList<QUrl>&) override { return Qt::IgnoreAction; }
};

bool ReportMicro(const char* what, qint64 ns, qint64 limitMs) {
    const double ms = static_cast<double>(ns) / 1e6;
    std::printf("%-44s %9.2f ms (limit %lld ms) %s\n", what, ms, static_cast<long long>(limitMs),
                ms <= static_cast<double>(limitMs) ? "ok" : "TOO SLOW");
    return ms <= static_cast<double>(limitMs);
}

// 128 entries of 8 MiB each, laid out in the data file in reverse slot order
// after a sector of dead space each, so that compacting copies all 1 GiB.
void WriteGibibyteArchive(const QString& imgPath, const QString& dirPath) {
    constexpr uint32_t Entries = 128;
    constexpr uint32_t EntrySectors = (8u << 20) / SectorSize;
    QByteArray dir;
    for (uint32_t slot = 0; slot < Entries; ++slot) {
        TDirEntry record{};
        record.Offset = (Entries - 1 - slot) * (EntrySectors + 1) + 1;
        record.Size = EntrySectors;
        std::snprintf(record.Name, sizeof record.Name, "big%03u.dff", slot);
        dir.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    QFile dirFile(dirPath);
    dirFile.open(QIODevice::WriteOnly);
    dirFile.write(dir);
    QFile imgFile(imgPath);
    imgFile.open(QIODevice::WriteOnly);
    const QByteArray piece(1 << 20, 'x'); // real data, not a sparse file
    for (uint32_t mib = 0; mib < Entries * (8 + 1); ++mib)
        imgFile.write(piece);
    imgFile.resize(qint64(Entries) * (EntrySectors + 1) * SectorSize);
}

bool Report(const char* what, qint64 ms, qint64 limit);

// Compacts a 1 GiB archive in a window of its own, resizing the window every
// 60 ms meanwhile (a gibibyte takes under a second to compact), then presses
// Cancel. A resize not painted by the next one counts as painted then.
bool MeasureCompaction(SilentDialogs& dialogs) {
    QTemporaryDir folder;
    const QString imgPath = folder.filePath(QStringLiteral("gib.img"));
    const QString dirPath = folder.filePath(QStringLiteral("gib.dir"));
    WriteGibibyteArchive(imgPath, dirPath);
    QFile dirFile(dirPath);
    dirFile.open(QIODevice::ReadOnly);
    const QByteArray dirBefore = dirFile.readAll();
    dirFile.close();
    const qint64 imgBefore = QFileInfo(imgPath).size();
    const QStringList namesBefore = QDir(folder.path()).entryList(QDir::Files);

    TfrmMain window({QFile::encodeName(imgPath)}, folder.filePath(QStringLiteral("Pelkon.ini")));
    window.show();
    QTest::qWait(200);
    auto* runner = window.findChild<TJobRunner*>();
    QElapsedTimer clock;
    clock.start();
    PaintWatch watch(clock);
    window.fileList()->viewport()->installEventFilter(&watch);
    QList<qint64> latencies;
    qint64 resizedAt = 0;
    qint64 cancelledAt = -1;
    constexpr int Resizes = 6;
    QTimer resizer;
    resizer.setInterval(60);
    QObject::connect(&resizer, &QTimer::timeout, [&] {
        if (resizedAt)
            latencies << (watch.painted ? watch.paintedAt : clock.elapsed()) - resizedAt;
        if (latencies.size() == Resizes && runner->Running()) {
            resizer.stop();
            cancelledAt = clock.elapsed();
            window.findChild<TfrmProgress*>()->btnCancel->click();
            return;
        }
        watch.painted = false;
        resizedAt = clock.elapsed();
        window.resize(window.width() + (latencies.size() % 2 ? 40 : -40), window.height());
    });
    QObject::connect(runner, &TJobRunner::RunningChanged, [&] {
        if (runner->Running())
            resizer.start();
    });
    dialogs.confirmAnswer = true;
    const qint64 started = clock.elapsed();
    window.findChild<QAction*>(QStringLiteral("actCompact"))->trigger();
    const qint64 ended = clock.elapsed();
    dialogs.confirmAnswer = false;
    resizer.stop();

    bool ok = true;
    const qint64 slowest =
        latencies.isEmpty() ? -1 : *std::max_element(latencies.begin(), latencies.end());
    std::printf("1 GiB compaction: %lld resizes painted, slowest after %lld ms\n",
                static_cast<long long>(latencies.size()), static_cast<long long>(slowest));
    ok &= latencies.size() == Resizes && Report("compaction: repaint after a resize", slowest, 50);
    if (cancelledAt < 0) {
        std::printf("the compaction ended after %lld ms, before Cancel\n",
                    static_cast<long long>(ended - started));
        return false;
    }
    ok &= Report("compaction: Cancel until the window is back", ended - cancelledAt, 200);
    dirFile.open(QIODevice::ReadOnly);
    const bool asBefore = dirFile.readAll() == dirBefore &&
                          QFileInfo(imgPath).size() == imgBefore &&
                          QDir(folder.path()).entryList(QDir::Files) == namesBefore;
    std::printf("  %s; the archive %s\n",
                qPrintable(window.findChild<QLabel*>(QStringLiteral("lblNotice"))->text()),
                asBefore ? "is as before, nothing left behind" : "CHANGED");
    return ok && asBefore;
}

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
    SilentDialogs dialogs;
    SetDialogs(&dialogs);
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
    PaintWatch watch(timer);
    window.fileList()->viewport()->installEventFilter(&watch);
    window.show();
    watch.wait();
    ok &= Report("open until first paint", watch.paintedAt, 1500);
    // Right after that paint the background check copies the table.
    std::printf("%-44s %6lld ms (reference)\n", "open until the events after it are done",
                static_cast<long long>(timer.elapsed()));
    auto* status = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
    while (status->text().contains(QStringLiteral("counting")))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("%-44s %6lld ms (reference)\n", "open until the dead space is counted",
                static_cast<long long>(timer.elapsed()));
    std::printf("  %s\n", qPrintable(status->text()));
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

    // The share of the sort itself in a click, for each order.
    for (const auto& [name, compare] : {std::pair<const char*, TCompareFunc>{"name", CompareByName},
                                        {"size", CompareBySize},
                                        {"type", CompareByType}}) {
        timer.restart();
        const std::vector<uint32_t> rows = SortedSlots(CurrentArchive->Table(), compare, false);
        std::printf("  slots sorted by %-27s %6lld ms\n", name,
                    static_cast<long long>(timer.elapsed()));
    }

    // The status bar (and the rules) after a selection change, with no filter:
    // one row, then every other row of the first 20,000 as separate ranges.
    QItemSelectionModel* selection = window.fileList()->selectionModel();
    selection->select(model->index(10, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QElapsedTimer fine;
    fine.start();
    selection->select(model->index(entries / 2, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ok &= ReportMicro("selection change: rules + status bar", fine.nsecsElapsed(), 10);
    QItemSelection scattered;
    for (int row = 0; row < std::min(entries, 20000); row += 2)
        scattered.select(model->index(row, 0), model->index(row, TEntryModel::ColumnCount - 1));
    selection->select(scattered, QItemSelectionModel::ClearAndSelect);
    fine.restart();
    selection->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::printf("%-44s %9.2f ms (reference)\n", "  the same with 10,000 ranges selected",
                static_cast<double>(fine.nsecsElapsed()) / 1e6);
    // The status bar alone, as the background check's result redraws it.
    auto* backgroundCheck = window.findChild<TBackgroundCheck*>();
    fine.restart();
    emit backgroundCheck->Finished();
    ok &= ReportMicro("status bar alone, 10,000 ranges selected", fine.nsecsElapsed(), 10);
    std::printf("  %s\n", qPrintable(status->text()));

    // The filter, typed a key at a time: each key until the list is painted.
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("edtFilter"));
    const auto typeFilter = [&](const QString& keys, const char* what) {
        qint64 slowest = 0;
        for (const QChar key : keys) {
            watch.painted = false;
            timer.restart();
            QTest::keyClick(filter, key.toLatin1());
            // A key that shows the same rows is done once its events are.
            QCoreApplication::processEvents();
            qint64 took = timer.elapsed();
            if (watch.waitAtMost(200))
                took = timer.elapsed();
            slowest = std::max(slowest, took);
        }
        ok &= Report(what, slowest, 50);
        std::printf("  %s\n", qPrintable(status->text()));
    };
    const auto clearFilter = [&](const char* what) {
        watch.painted = false;
        timer.restart();
        QTest::keyClick(filter, Qt::Key_Escape);
        watch.wait();
        ok &= Report(what, timer.elapsed(), 100);
    };
    window.fileList()->selectionModel()->clearSelection();
    typeFilter(QStringLiteral("*.txd"), "filter \"*.txd\", slowest key");
    clearFilter("Escape: every entry again");
    typeFilter(QStringLiteral("e12"), "filter \"e12\", slowest key");
    clearFilter("Escape: every entry again");
    // The selected entries that stay shown stay selected: a filter that only
    // narrows keeps most of a whole selection.
    // Timed from a window at rest: the paint of the whole selection is not the key's.
    watch.painted = false;
    selectAll->trigger();
    watch.wait();
    QTest::qWait(100);
    typeFilter(QStringLiteral("e1"), "filter \"e1\" on a whole selection");
    clearFilter("Escape: every entry again, selection kept");

    auto* check = window.findChild<QAction*>(QStringLiteral("actCheck"));
    timer.restart();
    check->trigger();
    ok &= Report("Check Archive", timer.elapsed(), 1000);
    std::printf("  %s\n", qPrintable(status->text()));

    timer.restart();
    window.CloseArchive();
    QCoreApplication::processEvents();
    Report("Close (row count to 0)", timer.elapsed(), 1000);
    ok &= MeasureCompaction(dialogs);
    return ok ? 0 : 1;
}
