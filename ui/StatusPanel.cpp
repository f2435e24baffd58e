#include "ui/StatusPanel.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// A label that shows as much of its text as fits, ending in "…", with the
// whole text when the mouse rests on it; it never makes the window wider.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent) : QLabel(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
    }
};

void SetWholeText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setToolTip(text);
}

QString Count(qint64 n) {
    return QLocale().toString(n);
}

QString Plural(qint64 n, const QString& one, const QString& many) {
    return Count(n) + u' ' + (n == 1 ? one : many);
}

} // namespace

TStatusPanel::TStatusPanel(QStatusBar* bar) {
    auto* lines = new QWidget(bar);
    auto* layout = new QVBoxLayout(lines);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    lblNotice = new ElidedLabel(lines);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblStatus = new ElidedLabel(lines);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    layout->addWidget(lblNotice);
    layout->addWidget(lblStatus);
    bar->addWidget(lines, 1);
    lblProblems = new QLabel(bar);
    lblProblems->setObjectName(QStringLiteral("lblProblems"));
    bar->addPermanentWidget(lblProblems);
    ShowClosed();
}

void TStatusPanel::ShowClosed() {
    SetWholeText(lblStatus, {});
    SetNotice({});
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
                        QLocale().formattedDataSize(static_cast<qint64>(*state.dataLength), 1)
                  : QStringLiteral("data file: size unknown"));
    if (state.check)
        parts << QStringLiteral("dead space ") +
                     QString::fromStdString(
                         DeadSpaceText(state.check->DeadBytes, state.check->DataLength));
    else
        parts << (state.checkPending ? QStringLiteral("dead space: counting…")
                                     : QStringLiteral("dead space: unknown"));
    SetWholeText(lblStatus, parts.join(QStringLiteral(" · ")));

    const qint64 problems = state.check ? static_cast<qint64>(state.check->Problems) : 0;
    lblProblems->setText(
        problems == 0 ? QString()
                      : Plural(problems, QStringLiteral("problem"), QStringLiteral("problems")) +
                            QStringLiteral(" — Action, Check Archive"));
    lblProblems->setVisible(problems > 0);
}

void TStatusPanel::SetNotice(const QString& text) {
    SetWholeText(lblNotice, text);
    lblNotice->setVisible(!text.isEmpty());
}
