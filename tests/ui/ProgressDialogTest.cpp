// The progress dialog: painted at every Step without an event loop, full after
// the last step, and impossible to close by the user.
#include "EditTestSupport.h"

#include <QCloseEvent>
#include <QTest>
#include <QWidget>

class ProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void stepPaintsAtOnceUntilFull_data();
    void stepPaintsAtOnceUntilFull();
    void refusesEveryClose();
    void framelessOfButtonsAndCentredOverOwner();
};

void ProgressDialogTest::stepPaintsAtOnceUntilFull_data() {
    QTest::addColumn<int>("steps");
    QTest::newRow("one file") << 1;
    QTest::newRow("five files") << 5;
    QTest::newRow("more than the design maximum") << 130;
}

void ProgressDialogTest::stepPaintsAtOnceUntilFull() {
    QFETCH(int, steps);
    QWidget owner;
    owner.show();
    TfrmProgress progress(&owner);
    progress.SetLine1("Extracting File(s)...");
    progress.SetPosition(0);
    progress.SetMax(steps);
    progress.show();
    QCOMPARE(progress.ProgressBar1->value(), 0);

    ProgressRecorder recorder;
    for (int i = 1; i <= steps; ++i) {
        const qsizetype painted = recorder.frames.size();
        progress.SetLine2(QStringLiteral("file%1").arg(i));
        // The setters alone do not paint.
        QCOMPARE(recorder.frames.size(), painted);
        progress.Step();
        // No event loop ran, yet the dialog was painted as it now stands.
        QVERIFY(recorder.frames.size() > painted);
        const auto& frame = recorder.frames.last();
        QCOMPARE(frame.value, i);
        QCOMPARE(frame.maximum, steps);
        QCOMPARE(frame.line1, QString("Extracting File(s)..."));
        QCOMPARE(frame.line2, QStringLiteral("file%1").arg(i));
    }
    QCOMPARE(progress.ProgressBar1->value(), progress.ProgressBar1->maximum());
    QCOMPARE(recorder.Values().size(), steps);
}

void ProgressDialogTest::refusesEveryClose() {
    QWidget owner;
    owner.show();
    TfrmProgress progress(&owner);
    progress.show();

    QCloseEvent closeEvent;
    QApplication::sendEvent(&progress, &closeEvent);
    QVERIFY(!closeEvent.isAccepted());
    QVERIFY(!progress.close());
    QTest::keyClick(&progress, Qt::Key_Escape);
    progress.reject();
    QTest::keyClick(&progress, Qt::Key_F4, Qt::AltModifier);
    QCoreApplication::processEvents();
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.result(), 0);
}

void ProgressDialogTest::framelessOfButtonsAndCentredOverOwner() {
    QWidget owner;
    owner.setGeometry(100, 120, 640, 480);
    owner.show();
    TfrmProgress progress(&owner);
    progress.show();

    const Qt::WindowFlags flags = progress.windowFlags();
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QVERIFY(progress.windowTitle().isEmpty());
    QVERIFY(!progress.isModal());
    QCOMPARE(progress.minimumSize(), progress.maximumSize());
    QVERIFY(!progress.ProgressBar1->isTextVisible());
    QCOMPARE(progress.lblLine2->text(), QString());
    QCOMPARE(progress.frameGeometry().center(), owner.frameGeometry().center());
}

QTEST_MAIN(ProgressDialogTest)
#include "ProgressDialogTest.moc"
