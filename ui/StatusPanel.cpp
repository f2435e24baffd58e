#include "ui/StatusPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QStatusBar>

namespace {

// A label that shows as much of its text as fits, ending in "…", with the
// whole text when the mouse rests on it; it never makes the window wider.
// A filling label takes whatever room is left; the others get their whole
// text first and are cut only when nothing of the filling ones remains.
class ElidedLabel : public QLabel {
public:
    enum Room { Filling, Whole };
    ElidedLabel(QWidget* parent, Room room) : QLabel(parent) {
        setSizePolicy(room == Filling ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                      QSizePolicy::Preferred);
    }

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

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

const QString Separator = QStringLiteral(" · ");

QString Count(qint64 n) {
    return QLocale().toString(n);
}

QString Plural(qint64 n, const QString& one, const QString& many) {
    return Count(n) + u' ' + (n == 1 ? one : many);
}

} // namespace

TStatusPanel::TStatusPanel(QStatusBar* bar) {
    // Two lines: the last command's result and the check's problems above;
    // the counts, and at the right the data file's size and dead space, below.
    // The window's designed width holds the right-hand facts whole.
    auto* lines = new QWidget(bar);
    auto* layout = new QGridLayout(lines);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setVerticalSpacing(0);
    const auto add = [&](const char* name, ElidedLabel::Room room, int row, int column) {
        auto* label = new ElidedLabel(lines, room);
        label->setObjectName(QLatin1StringView(name));
        layout->addWidget(label, row, column, column == 0 ? Qt::Alignment() : Qt::AlignRight);
        return label;
    };
    lblNotice = add("lblNotice", ElidedLabel::Filling, 0, 0);
    lblProblems = add("lblProblems", ElidedLabel::Whole, 0, 1);
    lblStatus = add("lblStatus", ElidedLabel::Filling, 1, 0);
    lblSpace = add("lblSpace", ElidedLabel::Whole, 1, 1);
    layout->setColumnStretch(0, 1);
    bar->addWidget(lines, 1);
    ShowClosed();
}

void TStatusPanel::ShowClosed() {
    SetWholeText(lblStatus, {});
    SetWholeText(lblSpace, {});
    SetWholeText(lblProblems, {});
    SetNotice({});
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
    SetWholeText(lblStatus, parts.join(Separator));

    parts.clear();
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
    SetWholeText(lblSpace, parts.join(Separator));

    const qint64 problems = state.check ? static_cast<qint64>(state.check->Problems) : 0;
    SetWholeText(lblProblems, problems == 0 ? QString()
                                            : Plural(problems, QStringLiteral("problem"),
                                                     QStringLiteral("problems")) +
                                                  QStringLiteral(" — Action, Check Archive"));
    ShowUpperLine();
}

void TStatusPanel::SetNotice(const QString& text) {
    SetWholeText(lblNotice, text);
    ShowUpperLine();
}

void TStatusPanel::ShowUpperLine() {
    // An empty line would only take room from the list.
    const bool shown = !lblNotice->text().isEmpty() || !lblProblems->text().isEmpty();
    lblNotice->setVisible(shown);
    lblProblems->setVisible(shown);
}
