// The progress dialog: painted at every Step without an event loop, full after
// the last step, and impossible to close by the user.
#include "EditTestSupport.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

class ProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TfrmProgress::SetRepaintInterval(0); }
    void stepPaintsAtOnceUntilFull_data();
    void stepPaintsAtOnceUntilFull();
    void quickStepsPaintAtMostOncePerInterval();
    void refusesEveryClose();
    void framelessOfButtonsAndCentredOverOwner();
    void linesHoldTheFontsDescenders_data();
    void linesHoldTheFontsDescenders();
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

void ProgressDialogTest::quickStepsPaintAtMostOncePerInterval() {
    TfrmProgress::SetRepaintInterval(15);
    QWidget owner;
    owner.show();
    TfrmProgress progress(&owner);
    progress.SetPosition(0);
    progress.SetMax(2000);
    progress.show();

    ProgressRecorder recorder;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 1999; ++i)
        progress.Step();
    const qint64 elapsed = timer.elapsed();
    QVERIFY(!recorder.frames.isEmpty());
    QCOMPARE(recorder.Values().first(), 1); // the first step is always painted
    // At most one paint per interval (the first step may bring two: see Steps()).
    QVERIFY2(recorder.Values().size() <= elapsed / 15 + 2,
             qPrintable(QString::number(recorder.Values().size())));

    // A step after a pause is painted; so is the step that fills the bar.
    QTest::qSleep(20);
    progress.SetLine2("after a pause");
    const qsizetype painted = recorder.frames.size();
    progress.Step();
    QVERIFY(recorder.frames.size() > painted);
    QCOMPARE(recorder.frames.last().value, 2000);
    QCOMPARE(recorder.frames.last().line2, QString("after a pause"));

    TfrmProgress second(&owner);
    second.SetPosition(0);
    second.SetMax(2);
    second.show();
    second.Step();
    second.Step(); // within the interval, but it fills the bar
    QCOMPARE(recorder.Values().mid(recorder.Values().size() - 2), QList<int>({1, 2}));
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

void ProgressDialogTest::linesHoldTheFontsDescenders_data() {
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("designed size") << 11;
    QTest::newRow("desktop size") << 17;
    QTest::newRow("large") << 30;
}

// Each line is as high as the font's lines, and nothing overlaps or leaves the
// dialog.
void ProgressDialogTest::linesHoldTheFontsDescenders() {
    QFETCH(int, pixelSize);
    const QFont previous = QApplication::font();
    QFont font = previous;
    font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    QWidget owner;
    TfrmProgress progress(&owner);
    QApplication::setFont(previous);

    const QRect line1 = progress.lblLine1->geometry();
    const QRect bar = progress.ProgressBar1->geometry();
    const QRect line2 = progress.lblLine2->geometry();
    QCOMPARE(progress.lblLine1->font().pixelSize(), pixelSize);
    QVERIFY(line1.height() >= progress.lblLine1->fontMetrics().height());
    QVERIFY(line2.height() >= progress.lblLine2->fontMetrics().height());
    QVERIFY(line1.bottom() < bar.top());
    QVERIFY(bar.bottom() < line2.top());
    QVERIFY(progress.rect().adjusted(8, 8, -8, -8).contains(line2));
    if (pixelSize == 11)
        QCOMPARE(progress.size(), QSize(281, 90)); // as designed
}

QTEST_MAIN(ProgressDialogTest)
#include "ProgressDialogTest.moc"
