// The main window as a desktop user meets it: the menu bar's context menu, the
// list's columns and keys, and the progress dialog on screen before any work.
#include "EditTestSupport.h"
#include "MainWindowTestSupport.h"
#include "ScriptedDialogs.h"

#include "platform/FaultInjection.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QThread>
#include <QToolBar>

namespace {

std::vector<TestEntry> Numbered(int count) {
    std::vector<TestEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({"e" + std::to_string(10 + i), 1});
    return entries;
}

// Drags the right edge of a column header by `dx` pixels.
void DragColumnEdge(QHeaderView* header, int column, int dx) {
    const QPoint edge(header->sectionViewportPosition(column) + header->sectionSize(column) - 1,
                      header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
    QTest::mouseMove(header->viewport(), edge + QPoint(dx / 2, 0));
    QTest::mouseMove(header->viewport(), edge + QPoint(dx, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(dx, 0));
}

} // namespace

class WindowBehaviourTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() {
        faults::Reset();
        dialogs.reset();
    }

    void menuBarOffersNoToolBar() {
        auto window = Shown(Numbered(3));
        QMenuBar* bar = window->menuBar();
        // What a right click on the bar becomes (Qt Test's clicks make no such event).
        const QPoint emptyPart(bar->width() - 5, bar->height() / 2);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, emptyPart,
                                     bar->mapToGlobal(emptyPart));
        QApplication::sendEvent(bar, &rightClick);
        QCoreApplication::processEvents();
        QVERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(!window->findChild<QToolBar*>(QStringLiteral("ToolBar1"))->isVisible());
    }

    void nameColumnTakesTheSpareWidth() {
        auto window = Shown(Numbered(3));
        QHeaderView* header = window->fileList()->horizontalHeader();
        const auto fill = [&] { return window->fileList()->viewport()->width() - 80 - 90; };
        QCOMPARE(header->sectionSize(1), 80);
        QCOMPARE(header->sectionSize(2), 90);
        QCOMPARE(header->sectionSize(0), fill());

        window->resize(window->width() + 200, window->height());
        QTRY_COMPARE(header->sectionSize(0), fill());
        QCOMPARE(header->sectionSize(1), 80);
        window->resize(250, window->height());
        QTRY_COMPARE(header->sectionSize(0), 150);

        // Dragged wider than the list, the column keeps its width when the window grows.
        window->resize(600, window->height());
        QTRY_COMPARE(header->sectionSize(0), fill());
        DragColumnEdge(header, 0, 120);
        const int dragged = header->sectionSize(0);
        QVERIFY2(dragged > fill() + 100, qPrintable(QString::number(dragged)));
        const int viewportBefore = window->fileList()->viewport()->width();
        window->resize(650, window->height());
        QTRY_VERIFY(window->fileList()->viewport()->width() > viewportBefore);
        QCOMPARE(header->sectionSize(0), dragged);
        DragColumnEdge(header, 2, -30);
        QCOMPARE(header->sectionSize(2), 60);
    }

    void listKeys() {
        auto window = Shown(Numbered(40));
        TFileListView* list = window->fileList();
        list->setFocus();
        list->setCurrentIndex(list->model()->index(10, 0));

        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->currentIndex(), list->model()->index(39, 0));
        QCOMPARE(list->selectedRowCount(), 1);
        QVERIFY(list->isRowSelected(39));
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->currentIndex(), list->model()->index(0, 0));
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(list->selectedRowCount(), 40);

        // Shift+F10 opens the list's context menu at the focused row.
        // Near the top, so that the menu fits on the screen below the row.
        QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(popup);
        QCOMPARE(popup, MenuNamed(*window, "PopupMenu1"));
        const QRect focused = list->visualRect(list->currentIndex());
        QCOMPARE(popup->pos(), list->viewport()->mapToGlobal(focused.center()));
        popup->close();
    }

    // Before the first file is opened, the screen shows the dialog fully drawn
    // with its bar at 0. The first file is opened on the job's thread; the
    // screen is looked at on the window's thread while the job waits there.
    void progressDialogIsOnScreenBeforeTheFirstFile() {
        auto window = Shown(Numbered(1));
        const QStringList sources = {folder->File("one"), folder->File("two")};
        for (const QString& source : sources)
            WriteBytes(source, Pattern(5000, 1));
        dialogs->openAnswers << sources;

        QImage onScreen, drawn;
        int barAtFirstFile = -1;
        faults::BeforeNthCall(1, [&] {
            QMetaObject::invokeMethod(
                window.get(),
                [&] {
                    auto* progress = window->findChild<TfrmProgress*>();
                    if (!progress)
                        return;
                    barAtFirstFile = progress->ProgressBar1->value();
                    onScreen = progress->screen()
                                   ->grabWindow(progress->winId())
                                   .toImage()
                                   .convertToFormat(QImage::Format_RGB32);
                    drawn = progress->grab().toImage().convertToFormat(QImage::Format_RGB32);
                },
                QThread::currentThread() == window->thread() ? Qt::DirectConnection
                                                             : Qt::BlockingQueuedConnection);
        });
        ActionNamed(*window, "actAdd")->trigger();

        QVERIFY(dialogs->errors().isEmpty());
        QCOMPARE(ColumnTexts(*window).size(), 3);
        QCOMPARE(barAtFirstFile, 0);
        QVERIFY(!drawn.isNull());
        QCOMPARE(onScreen, drawn);
    }

private:
    std::unique_ptr<TfrmMain> Shown(const std::vector<TestEntry>& entries) {
        WriteArchive(folder->File("a.img"), entries);
        auto window = std::make_unique<TfrmMain>(QByteArrayList{PathBytes(folder->File("a.img"))},
                                                 folder->File(QStringLiteral("Pelkon.ini")));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the window was never shown");
        return window;
    }

    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

QTEST_MAIN(WindowBehaviourTest)
#include "WindowBehaviourTest.moc"
