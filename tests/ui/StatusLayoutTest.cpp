// The status bar at the window's first width (485 px) with the longest texts
// it tells - a game-sized archive, a filter with a selection, each command's
// result - and at a wide window: every text is read whole, the texts never
// overlap, and the result of the last command stays above the counts.
#include "ui/StatusPanel.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QtTest>

namespace {

struct StatusCase {
    TArchiveState state;
    QString notice;
};

TArchiveState GameArchive() {
    TArchiveState state;
    state.entries = 8002;
    state.rows = 8002;
    state.dataLength = 36663296;
    state.check = TCheckSummary{8002, 36663296, 256064, 3317760, 1800};
    return state;
}

TArchiveState Filtered(TArchiveState state, int rows, int selected) {
    state.filtered = true;
    state.rows = rows;
    state.selected = selected;
    return state;
}

// Each visible label, top to bottom.
QList<QLabel*> VisibleLabels(QStatusBar* bar) {
    QList<QLabel*> labels;
    for (const char* name : {"lblNotice", "lblProblems", "lblStatus", "lblSpace"})
        if (auto* label = bar->findChild<QLabel*>(QLatin1StringView(name)); label->isVisible())
            labels << label;
    return labels;
}

} // namespace

Q_DECLARE_METATYPE(StatusCase)

class StatusLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        window = std::make_unique<QMainWindow>();
        window->setCentralWidget(new QWidget);
        panel = std::make_unique<TStatusPanel>(window->statusBar());
        window->resize(485, 560);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        panel.reset();
        window.reset();
        QLocale::setDefault(QLocale::system());
    }

    void everyTextIsWholeAtTheFirstWidth_data();
    void everyTextIsWholeAtTheFirstWidth();
    void aWideWindowKeepsEachPairOnOneLine();
    void aNarrowerWindowCutsTextsTheTooltipGivesWhole();

private:
    void Show(const StatusCase& c) {
        panel->Show(c.state);
        panel->SetNotice(c.notice);
        QApplication::processEvents(); // the bar takes its new height
    }

    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<TStatusPanel> panel;
};

void StatusLayoutTest::everyTextIsWholeAtTheFirstWidth_data() {
    QTest::addColumn<StatusCase>("c");
    QTest::addColumn<QStringList>("shown"); // the texts, top to bottom
    const TArchiveState game = GameArchive();
    const QString problems = QStringLiteral("1,800 problems — Action, Check Archive");
    const QString space = QStringLiteral("data file 35.0 MiB · dead space 3.2 MiB (9.0%)");
    QTest::newRow("a game-sized archive")
        << StatusCase{game, {}} << QStringList{problems, "8,002 entries · 0 selected", space};
    QTest::newRow("a filter with a selection")
        << StatusCase{Filtered(game, 4, 4), {}}
        << QStringList{problems, "4 of 8,002 entries shown · 4 selected", space};
    TArchiveState huge;
    huge.entries = 1000000;
    huge.dataLength = 4294965248;
    huge.check = TCheckSummary{1000000, 4294965248, 0, 4000000000, 1000000};
    QTest::newRow("a million entries, nearly all selected")
        << StatusCase{Filtered(huge, 999999, 999999), {}}
        << QStringList{"1,000,000 problems — Action, Check Archive",
                       "999,999 of 1,000,000 entries shown · 999,999 selected",
                       "data file 4.0 GiB · dead space 3.7 GiB (93.1%)"};
    TArchiveState counting = game;
    counting.check.reset();
    counting.checkPending = true;
    QTest::newRow("dead space being counted")
        << StatusCase{counting, {}}
        << QStringList{"8,002 entries · 0 selected", "data file 35.0 MiB · dead space: counting…"};
    const QString imported = QStringLiteral(
        "Import and Replace: 1,234 replaced, 56 added; 2 names fill all 24 bytes with no zero "
        "byte after them: the games cannot read them (use at most 23 bytes)");
    QTest::newRow("Import and Replace")
        << StatusCase{Filtered(game, 1290, 1234), imported}
        << QStringList{imported, problems, "1,290 of 8,002 entries shown · 1,234 selected", space};
    const QString compacted = QStringLiteral(
        "Compacted copy saved, 3.2 MiB (9.0%) smaller: gta3-compacted.img and gta3-compacted.dir "
        "in /home/someone/Games/Grand Theft Auto III/models");
    QTest::newRow("Save Compacted Copy As")
        << StatusCase{game, compacted}
        << QStringList{compacted, problems, "8,002 entries · 0 selected", space};
    // A name or a folder without a blank in it is wrapped where it must be.
    const QString oneWord = QStringLiteral("Compacted copy saved, 3.2 MiB (9.0%) smaller: a.img "
                                           "and a.dir in /") +
                            QString(60, u'x') + u'/' + QString(60, u'y');
    QTest::newRow("a folder longer than a line")
        << StatusCase{game, oneWord}
        << QStringList{oneWord, problems, "8,002 entries · 0 selected", space};
    QTest::newRow("closed") << StatusCase{} << QStringList{};
}

void StatusLayoutTest::everyTextIsWholeAtTheFirstWidth() {
    QFETCH(StatusCase, c);
    QFETCH(QStringList, shown);
    if (c.state.entries == 0)
        panel->ShowClosed();
    else
        Show(c);
    QStatusBar* bar = window->statusBar();
    QCOMPARE(window->width(), 485);

    const QList<QLabel*> labels = VisibleLabels(bar);
    QStringList texts;
    for (QLabel* label : labels)
        texts << label->text();
    QCOMPARE(texts, shown);
    const QRect barRect = bar->rect();
    QVERIFY(window->rect().contains(QRect(bar->mapTo(window.get(), QPoint()), bar->size())));
    QRect above;
    for (QLabel* label : labels) {
        const QRect place(label->mapTo(bar, QPoint()), label->size());
        QVERIFY2(barRect.contains(place), qPrintable(label->objectName()));
        // Whole: a line of text at least as wide as the text, or, for the
        // result that wraps, at least the lines its text takes when broken
        // anywhere at this width.
        if (label->objectName() == QStringLiteral("lblNotice"))
            QVERIFY2(label->height() >= label->fontMetrics()
                                            .boundingRect(QRect(0, 0, label->width(), 10000),
                                                          Qt::TextWrapAnywhere, label->text())
                                            .height(),
                     qPrintable(label->text()));
        else
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                     qPrintable(label->text()));
        // Below or beside the text before it, never over it.
        QVERIFY2(!place.intersects(above), qPrintable(label->text()));
        QVERIFY(place.top() >= above.top());
        above = place;
    }
}

void StatusLayoutTest::aWideWindowKeepsEachPairOnOneLine() {
    window->resize(1100, 560);
    Show(
        {Filtered(GameArchive(), 4, 4), QStringLiteral("Import and Replace: 2 replaced, 1 added")});
    QStatusBar* bar = window->statusBar();
    const int lineHeight = bar->fontMetrics().height();
    for (const auto& [left, right] :
         {std::pair{"lblNotice", "lblProblems"}, std::pair{"lblStatus", "lblSpace"}}) {
        auto* first = bar->findChild<QLabel*>(QLatin1StringView(left));
        auto* second = bar->findChild<QLabel*>(QLatin1StringView(right));
        QCOMPARE(second->y(), first->y());
        QVERIFY(first->height() < 2 * lineHeight);
        // The right-hand text ends where the line ends; the left one stops before it.
        QCOMPARE(second->geometry().right(), second->parentWidget()->rect().right());
        QVERIFY(first->geometry().right() < second->x());
        QVERIFY(second->width() >= second->fontMetrics().horizontalAdvance(second->text()));
    }
    // Two lines, no room taken from the list beyond them.
    QVERIFY(bar->height() < 3 * lineHeight + 10);
}

void StatusLayoutTest::aNarrowerWindowCutsTextsTheTooltipGivesWhole() {
    window->resize(180, 560);
    Show({Filtered(GameArchive(), 4, 4), {}});
    auto* status = window->statusBar()->findChild<QLabel*>(QStringLiteral("lblStatus"));
    QVERIFY(status->width() < status->fontMetrics().horizontalAdvance(status->text()));
    QCOMPARE(status->toolTip(), status->text());
    QVERIFY(window->width() <= 485); // the texts never hold the window wider
}

QTEST_MAIN(StatusLayoutTest)
#include "StatusLayoutTest.moc"
