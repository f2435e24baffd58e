#include "ui/StatusPanel.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QStatusBar>

namespace {

// A label that shows as much of its text as fits, ending in "…", with the
// whole text when the mouse rests on it; it never makes the window wider.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent) : QLabel(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    void setStatus(const QString& text) {
        setText(text);
        setToolTip(text);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
    }
};

QString Count(qint64 n) {
    return QLocale().toString(n);
}

QString Plural(qint64 n, const QString& one, const QString& many) {
    return Count(n) + u' ' + (n == 1 ? one : many);
}

} // namespace

TStatusPanel::TStatusPanel(QStatusBar* bar)
    : FBar(bar), lblStatus(new ElidedLabel(bar)), lblProblems(new QLabel(bar)) {
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblProblems->setObjectName(QStringLiteral("lblProblems"));
    bar->addWidget(lblStatus, 1);
    bar->addPermanentWidget(lblProblems);
    ShowClosed();
}

void TStatusPanel::ShowClosed() {
    static_cast<ElidedLabel*>(lblStatus)->setStatus({});
    lblProblems->clear();
    lblProblems->hide();
}

void TStatusPanel::Show(const TArchiveState& state) {
    QStringList parts;
    const QString entries =
        Plural(state.entries, QStringLiteral("entry"), QStringLiteral("entries"));
    // Entries without a row (a filter, or an add that failed part-way) are told.
    parts << (state.filtered || state.rows != state.entries
                  ? QStringLiteral("%1 of %2 shown").arg(Count(state.rows), entries)
                  : entries);
    parts << Count(state.selected) + QStringLiteral(" selected");
    parts << (state.dataLength
                  ? QStringLiteral("data file ") +
                        QLocale().formattedDataSize(static_cast<qint64>(*state.dataLength))
                  : QStringLiteral("data file: size unknown"));
    if (state.check)
        parts << QStringLiteral("dead space ") +
                     QString::fromStdString(
                         DeadSpaceText(state.check->DeadBytes, state.check->DataLength));
    else
        parts << (state.checkPending ? QStringLiteral("dead space: counting…")
                                     : QStringLiteral("dead space: unknown"));
    static_cast<ElidedLabel*>(lblStatus)->setStatus(parts.join(QStringLiteral(" · ")));

    const qint64 problems = state.check ? static_cast<qint64>(state.check->Problems) : 0;
    lblProblems->setText(
        problems == 0 ? QString()
                      : Plural(problems, QStringLiteral("problem"), QStringLiteral("problems")) +
                            QStringLiteral(" — Action, Check Archive"));
    lblProblems->setVisible(problems > 0);
}

void TStatusPanel::SetNotice(const QString& text) {
    // Shown in place of the counts until the next command, or until a menu
    // shows its entries' tips there.
    if (text.isEmpty())
        FBar->clearMessage();
    else
        FBar->showMessage(text);
}
