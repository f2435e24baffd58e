// The status bar's texts, laid out so that each can be read whole at the
// window's first width. Texts come in pairs, one at the left and one at the
// right: the two share a line when both fit on it, and otherwise each takes a
// line of its own. A text longer than a whole line wraps (TWrappingLabel) or,
// only in a window narrower than it was made, ends in "…" with the whole text
// in its tooltip (TElidedLabel).
#pragma once

#include <QLabel>
#include <QLayout>
#include <QList>

// Plain text on one line, cut with "…" when the room is too narrow.
class TElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Plain text that wraps at blanks, or anywhere in a word too long for a line
// (a path, a file name). It asks for the width of its text on one line, so
// that a layout knows when it needs a line of its own.
class TWrappingLabel : public QLabel {
public:
    explicit TWrappingLabel(QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

class TPairedLines : public QLayout {
public:
    explicit TPairedLines(QWidget* parent);
    ~TPairedLines() override;

    // `left` takes the room `right` leaves; `right` stands at the line's end.
    // A hidden widget takes no room: its partner has the line to itself.
    void addPair(QWidget* left, QWidget* right);

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in `rect` (or only measures, when `place` is false);
    // returns the height they take.
    int Arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> FItems; // left, right, left, right, ...
};
