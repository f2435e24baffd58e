// A long command in the real window: while it runs on its worker, every other
// command is disabled; Cancel, Escape and closing its progress dialog stop it
// at the next entry; closing the window asks whether to cancel; what the add
// did stays undoable.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include "platform/FaultInjection.h"
#include "ui/FormProgress.h"
#include "ui/JobRunner.h"

#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <semaphore>

namespace {

constexpr int Files = 10;
// The add is held in its worker right before it opens this source file.
constexpr int HeldAtFile = 3;

const char* const Commands[] = {"actClose",     "actAdd",           "actExtract", "actDelete",
                                "actSelectAll", "actRename",        "actImport",  "actFilter",
                                "actCheck",     "actSaveCompacted", "actCompact", "mniNew",
                                "mniOpen",      "actUndo",          "actRedo"};

enum class TStop { CancelButton, Escape, CloseDialog, CloseWindowYes, CloseWindowNo };

} // namespace

Q_DECLARE_METATYPE(TStop)

class JobsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        faults::Reset();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
    void stopsAtTheNextEntry_data();
    void stopsAtTheNextEntry();
};

void JobsWindowTest::stopsAtTheNextEntry_data() {
    QTest::addColumn<TStop>("stop");
    QTest::addColumn<int>("added");
    QTest::addColumn<bool>("windowOpen");
    QTest::addColumn<QString>("notice");
    const QString cancelled = "Add cancelled: 3 of 10 files added";
    QTest::newRow("Cancel") << TStop::CancelButton << HeldAtFile << true << cancelled;
    QTest::newRow("Escape") << TStop::Escape << HeldAtFile << true << cancelled;
    QTest::newRow("closing the dialog") << TStop::CloseDialog << HeldAtFile << true << cancelled;
    QTest::newRow("closing the window, Yes")
        << TStop::CloseWindowYes << HeldAtFile << false << cancelled;
    QTest::newRow("closing the window, No") << TStop::CloseWindowNo << Files << true << QString();
}

void JobsWindowTest::stopsAtTheNextEntry() {
    QFETCH(TStop, stop);
    QFETCH(int, added);
    QFETCH(bool, windowOpen);
    QFETCH(QString, notice);
    ArchiveFolder folder;
    WritePair(folder.Img(), {{0, 1, "old.dff"}}, 1);
    QStringList sources;
    for (int i = 0; i < Files; ++i)
        sources << folder.WriteSource(QString("f%1.txd").arg(i), Pattern(3000, i));
    ScriptedDialogs dialogs;
    // A first add leaves a step that Undo could take back: not while a job runs.
    dialogs.openAnswers << QStringList{folder.WriteSource("first.col", Pattern(100, 99))}
                        << sources;
    if (stop == TStop::CloseWindowYes || stop == TStop::CloseWindowNo)
        dialogs.confirmAnswers << (stop == TStop::CloseWindowYes);
    auto window = ShownWindow(folder, folder.Img());
    ActionNamed(*window, "actAdd")->trigger();
    QVERIFY(ActionNamed(*window, "actUndo")->isEnabled());

    std::atomic<bool> held = false;
    std::binary_semaphore release(0);
    faults::BeforeNthCall(
        HeldAtFile,
        [&] {
            held = true;
            release.acquire();
        },
        faults::Call::Open);
    QStringList enabledWhileRunning;
    auto* runner = window->findChild<TJobRunner*>();
    QVERIFY(runner);
    connect(runner, &TJobRunner::RunningChanged, this, [&] {
        if (!runner->Running())
            return;
        // Runs in the event loop that goes on while the job works.
        QTimer::singleShot(0, [&] {
            QDeadlineTimer deadline(10000);
            while (!held && !deadline.hasExpired())
                QThread::msleep(1);
            for (const char* name : Commands)
                if (ActionNamed(*window, name)->isEnabled())
                    enabledWhileRunning << name;
            TfrmProgress* progress = window->findChild<TfrmProgress*>();
            switch (stop) {
            case TStop::CancelButton:
                progress->btnCancel->click();
                break;
            case TStop::Escape:
                QTest::keyClick(progress, Qt::Key_Escape);
                break;
            case TStop::CloseDialog:
                progress->close();
                break;
            case TStop::CloseWindowYes:
            case TStop::CloseWindowNo:
                window->close();
                break;
            }
            release.release();
        });
    });
    ActionNamed(*window, "actAdd")->trigger();
    QTest::qWait(50); // a close asked for runs once the command's handler has returned

    QVERIFY(held);
    QCOMPARE(enabledWhileRunning, QStringList());
    QCOMPARE(window->isVisible(), windowOpen);
    QCOMPARE(dialogs.count("confirm"), stop >= TStop::CloseWindowYes ? 1 : 0);
    QCOMPARE(dialogs.count("showError"), 0);
    QVERIFY(!window->findChild<TfrmProgress*>());
    if (windowOpen) {
        QCOMPARE(NoticeText(*window), notice);
        // The list shows what the archive holds, and the commands are back.
        QCOMPARE(window->fileList()->model()->rowCount(), 2 + added);
        QVERIFY(ActionNamed(*window, "actAdd")->isEnabled());
    }
    const QList<DirRecord> records = ReadRecords(folder.Dir());
    QCOMPARE(records.size(), 2 + added);
    for (int i = 0; i < added; ++i)
        QCOMPARE(RecordData(ReadBytes(folder.Img()), records[i + 2]).left(3000), Pattern(3000, i));
    if (windowOpen) { // what the add did, cancelled or not, stays undoable
        ActionNamed(*window, "actUndo")->trigger();
        QCOMPARE(window->fileList()->model()->rowCount(), 2);
        QCOMPARE(ReadRecords(folder.Dir()).size(), 2);
    }
}

QTEST_MAIN(JobsWindowTest)
#include "JobsWindowTest.moc"
