#include "ui/Icons.h"

#include <QPainter>
#include <QPolygon>

#include <array>

namespace {

constexpr int ImageSize = 16;

// The page outline with its top-right corner folded down.
void DrawPage(QPainter& p) {
    const QPolygon outline({{2, 0}, {10, 0}, {14, 4}, {14, 15}, {2, 15}});
    p.setPen(QColor(64, 64, 64));
    p.setBrush(Qt::white);
    p.drawPolygon(outline);
    const QPolygon fold({{10, 0}, {10, 4}, {14, 4}});
    p.setBrush(QColor(200, 200, 200));
    p.drawPolygon(fold);
}

void DrawPicture(QPainter& p) {
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(120, 180, 240)); // sky
    p.drawRect(0, 2, 15, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 40)); // sun
    p.drawEllipse(QPoint(11, 6), 2, 2);
    p.setBrush(QColor(60, 150, 60)); // ground with a hill
    p.drawPolygon(QPolygon({{1, 14}, {1, 10}, {5, 7}, {9, 11}, {15, 10}, {15, 14}}));
}

void DrawCube(QPainter& p) {
    const QPolygon top({{2, 4}, {7, 1}, {14, 4}, {9, 7}});
    const QPolygon left({{2, 4}, {9, 7}, {9, 15}, {2, 12}});
    const QPolygon right({{9, 7}, {14, 4}, {14, 12}, {9, 15}});
    p.setPen(QColor(48, 48, 48));
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(top);
    p.setBrush(QColor(150, 150, 150));
    p.drawPolygon(left);
    p.setBrush(QColor(110, 110, 110));
    p.drawPolygon(right);
}

void DrawLoudspeaker(QPainter& p) {
    DrawPage(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(4, 7, 2, 4);
    p.drawPolygon(QPolygon({{6, 7}, {9, 4}, {9, 14}, {6, 11}}));
    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(8, 6, 4, 6), -60 * 16, 120 * 16); // sound waves
}

} // namespace

QPixmap DrawEntryImage(int image) {
    QPixmap pixmap(ImageSize, ImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    switch (image) {
    case ImagePicture:
        DrawPicture(painter);
        break;
    case ImageCube:
        DrawCube(painter);
        break;
    case ImageLoudspeaker:
        DrawLoudspeaker(painter);
        break;
    default:
        DrawPage(painter);
        break;
    }
    return pixmap;
}

const QIcon& EntryIcon(int image) {
    static const std::array<QIcon, EntryImageCount> icons = [] {
        std::array<QIcon, EntryImageCount> made;
        for (int i = 0; i < EntryImageCount; ++i)
            made[static_cast<size_t>(i)] = QIcon(DrawEntryImage(i));
        return made;
    }();
    if (image < 0 || image >= EntryImageCount)
        image = ImagePage;
    return icons[static_cast<size_t>(image)];
}

QIcon ApplicationIcon() {
    return QIcon::fromTheme(QStringLiteral("io.github.pelkon.Pelkon"), EntryIcon(ImageCube));
}
