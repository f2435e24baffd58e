// The pictures of the entry list, drawn in code: 16 x 16 with transparency.
#pragma once

#include <QIcon>
#include <QPixmap>

enum EntryImage {
    ImagePage = 0,        // every other name: a blank page with a folded corner
    ImagePicture = 1,     // ".txd": a small landscape (sky, sun, ground)
    ImageCube = 2,        // ".dff": a grey cube
    ImageLoudspeaker = 3, // a page bearing a loudspeaker; no name gets it
    EntryImageCount = 4
};

QPixmap DrawEntryImage(int image);
// The cached icon of one image; out-of-range numbers give the page.
const QIcon& EntryIcon(int image);
// The program's own icon, for its windows.
QIcon ApplicationIcon();
