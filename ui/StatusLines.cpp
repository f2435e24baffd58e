#include "ui/StatusLines.h"

#include <QPainter>

#include <algorithm>

namespace {

int LineHeight(const QLayoutItem* item, int width) {
    return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

} // namespace

QSize TElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect room = contentsRect();
    painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
}

TWrappingLabel::TWrappingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText); // names in a result are shown, never taken as markup
    setWordWrap(true);
}

QSize TWrappingLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(text()) + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize TWrappingLabel::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

TPairedLines::TPairedLines(QWidget* parent) : QLayout(parent) {}

TPairedLines::~TPairedLines() {
    qDeleteAll(FItems);
}

void TPairedLines::addPair(QWidget* left, QWidget* right) {
    addChildWidget(left);
    addChildWidget(right);
    FItems << new QWidgetItem(left) << new QWidgetItem(right);
    invalidate();
}

void TPairedLines::addItem(QLayoutItem* item) {
    FItems << item;
}

int TPairedLines::count() const {
    return static_cast<int>(FItems.size());
}

QLayoutItem* TPairedLines::itemAt(int index) const {
    return FItems.value(index);
}

QLayoutItem* TPairedLines::takeAt(int index) {
    return index >= 0 && index < FItems.size() ? FItems.takeAt(index) : nullptr;
}

Qt::Orientations TPairedLines::expandingDirections() const {
    return Qt::Horizontal;
}

QSize TPairedLines::sizeHint() const {
    // Wide enough for each pair on one line.
    int width = 0;
    for (qsizetype i = 0; i + 1 < FItems.size(); i += 2) {
        const QLayoutItem* left = FItems[i];
        const QLayoutItem* right = FItems[i + 1];
        const int both = (left->isEmpty() ? 0 : left->sizeHint().width()) +
                         (left->isEmpty() || right->isEmpty() ? 0 : spacing()) +
                         (right->isEmpty() ? 0 : right->sizeHint().width());
        width = std::max(width, both);
    }
    return {width, Arrange(QRect(0, 0, width, 0), false)};
}

QSize TPairedLines::minimumSize() const {
    // Any width will do: the texts wrap or give way. The height is told by
    // heightForWidth, so that a short status bar is never held at a height it
    // once needed.
    return {0, 0};
}

bool TPairedLines::hasHeightForWidth() const {
    return true;
}

int TPairedLines::heightForWidth(int width) const {
    return Arrange(QRect(0, 0, width, 0), false);
}

void TPairedLines::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    Arrange(rect, true);
}

int TPairedLines::Arrange(const QRect& rect, bool place) const {
    const int width = rect.width();
    int y = rect.top();
    const auto line = [&](QLayoutItem* item, int x, int itemWidth, int height) {
        if (place)
            item->setGeometry(QRect(x, y, itemWidth, height));
    };
    for (qsizetype i = 0; i + 1 < FItems.size(); i += 2) {
        QLayoutItem* left = FItems[i];
        QLayoutItem* right = FItems[i + 1];
        if (!left->isEmpty() && !right->isEmpty()) {
            const int rightWidth = right->sizeHint().width();
            const int leftWidth = width - rightWidth - spacing();
            if (left->sizeHint().width() <= leftWidth) {
                const int height =
                    std::max(LineHeight(left, leftWidth), LineHeight(right, rightWidth));
                line(left, rect.left(), leftWidth, height);
                line(right, rect.right() + 1 - rightWidth, rightWidth, height);
                y += height;
                continue;
            }
        }
        for (QLayoutItem* item : {left, right})
            if (!item->isEmpty()) {
                const int height = LineHeight(item, width);
                line(item, rect.left(), width, height);
                y += height;
            }
    }
    return y - rect.top();
}
