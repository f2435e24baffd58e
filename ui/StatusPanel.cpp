#include "ui/StatusPanel.h"

#include "ui/NumberText.h"
#include "ui/StatusLines.h"

#include <QStatusBar>

namespace {

// An empty text takes no line: an empty line would only take room from the list.
void SetWholeText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setToolTip(text);
    label->setVisible(!text.isEmpty());
}

const QString Separator = QStringLiteral(" · ");

} // namespace

TStatusPanel::TStatusPanel(QStatusBar* bar) {
    // The last command's result and the check's problems above; the counts,
    // and at the right the data file's size and dead space, below. Each pair
    // shares a line when it fits and takes two otherwise.
    auto* lines = new QWidget(bar);
    auto* layout = new TPairedLines(lines);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto named = [](QLabel* label, const char* name) {
        label->setObjectName(QLatin1StringView(name));
        return label;
    };
    lblNotice = named(new TWrappingLabel(lines), "lblNotice");
    lblProblems = named(new TElidedLabel(lines), "lblProblems");
    lblStatus = named(new TElidedLabel(lines), "lblStatus");
    lblSpace = named(new TElidedLabel(lines), "lblSpace");
    layout->addPair(lblNotice, lblProblems);
    layout->addPair(lblStatus, lblSpace);
    bar->addWidget(lines, 1);
    // A status bar is as high as its one-line size hint; this one takes the
    // lines its width needs.
    bar->setSizePolicy(bar->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
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
    const QString entries = CountText(static_cast<uint64_t>(state.entries), QStringLiteral("entry"),
                                      QStringLiteral("entries"));
    // Entries without a row (a filter, or an add that failed part-way) are told.
    parts << (state.filtered || state.rows != state.entries
                  ? QStringLiteral("%1 of %2 shown")
                        .arg(CountText(static_cast<uint64_t>(state.rows)), entries)
                  : entries);
    parts << CountText(static_cast<uint64_t>(state.selected)) + QStringLiteral(" selected");
    SetWholeText(lblStatus, parts.join(Separator));

    parts.clear();
    // Which kind is open: a pair's data file, or a single file.
    const QString file =
        state.singleFile ? QStringLiteral("single file") : QStringLiteral("data file");
    parts << (state.dataLength
                  ? file + QStringLiteral(" ") + SizeText(*state.dataLength, TSizeForm::Short)
                  : file + QStringLiteral(": size unknown"));
    if (state.check)
        parts << QStringLiteral("dead space ") + DeadSpaceShare(state.check->DeadBytes,
                                                                state.check->DataLength,
                                                                TSizeForm::Short);
    else
        parts << (state.checkPending ? QStringLiteral("dead space: counting…")
                                     : QStringLiteral("dead space: unknown"));
    SetWholeText(lblSpace, parts.join(Separator));

    const uint64_t problems = state.check ? state.check->Problems : 0;
    SetWholeText(lblProblems, problems == 0 ? QString()
                                            : CountText(problems, QStringLiteral("problem"),
                                                        QStringLiteral("problems")) +
                                                  QStringLiteral(" — Action, Check Archive"));
}

void TStatusPanel::SetNotice(const QString& text) {
    SetWholeText(lblNotice, text);
}
