// Helpers of the tests of Import and Replace, drag and drop, the filter, the
// status bar, Check Archive and Save Compacted Copy As: a shown window on a
// pair written byte by byte, what the status bar says, and the data a record
// points at on disk.
#pragma once

#include "EditTestSupport.h"
#include "MainWindowTestSupport.h"

#include <QLabel>

// The window on the pair at `img`, shown, with its list focused.
inline std::unique_ptr<TfrmMain> ShownWindow(const TestFolder& folder, const QString& img) {
    auto window = std::make_unique<TfrmMain>(QByteArrayList{PathBytes(img)},
                                             folder.File(QStringLiteral("Pelkon.ini")));
    window->resize(900, window->height()); // the whole status shows
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("the window was never shown");
    window->fileList()->setFocus();
    return window;
}

// The counts, then the data file's size and dead space.
inline QString StatusText(QWidget& window) {
    QStringList parts;
    for (const char* name : {"lblStatus", "lblSpace"})
        if (const QString text = window.findChild<QLabel*>(QLatin1StringView(name))->text();
            !text.isEmpty())
            parts << text;
    return parts.join(QStringLiteral(" · "));
}

inline QString ProblemsText(QWidget& window) {
    return window.findChild<QLabel*>(QStringLiteral("lblProblems"))->text();
}

// The result the last command tells, above the counts.
inline QString NoticeText(QWidget& window) {
    QLabel* notice = window.findChild<QLabel*>(QStringLiteral("lblNotice"));
    return notice->isVisibleTo(&window) ? notice->text() : QString();
}

// Waits until the background check has counted the archive as it stands.
inline bool CheckCounted(QWidget& window) {
    return QTest::qWaitFor(
        [&] { return !StatusText(window).contains(QStringLiteral("counting")); });
}

// The bytes the record points at in the data file.
inline QByteArray RecordData(const QByteArray& img, const DirRecord& record) {
    return img.mid(qsizetype(record.offset) * 2048, qsizetype(record.size) * 2048);
}

// `bytes` as an entry holds them: padded with zeros to whole sectors.
inline QByteArray Sectors(const QByteArray& bytes) {
    QByteArray padded = bytes;
    padded.append(QByteArray((2048 - bytes.size() % 2048) % 2048, '\0'));
    return padded;
}

// A pair written record by record: offset, size in sectors, name; the data
// file `sectors` long.
inline void WritePair(const QString& img, const QList<DirRecord>& records, int sectors) {
    QByteArray dir;
    for (const DirRecord& record : records)
        dir += RecordBytes(record.offset, record.size, record.name);
    WriteBytes(DirPathOf(img), dir);
    WriteBytes(img, Pattern(qsizetype(sectors) * 2048, 3));
}
