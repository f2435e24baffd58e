// Helpers of the main-window tests: archives written byte by byte in a fresh
// temporary folder, and a window driven through its actions and menus by name.
#pragma once

#include "archive/Gta3Archive.h"
#include "tests/support/QtTestSupport.h"
#include "ui/FormMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct TestEntry {
    std::string name; // stored bytes, up to 24
    uint32_t sectors;
};

// Writes the pair at `imgPath` directly: records in slot order, entries laid out
// one after another, every sector filled with a byte of its entry's number.
inline void WriteArchive(const QString& imgPath, const std::vector<TestEntry>& entries) {
    std::string dir;
    std::string img;
    uint32_t offset = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        dir += Record(offset, entries[i].sectors, entries[i].name);
        img.append(size_t{entries[i].sectors} * SectorSize, char('A' + i % 26));
        offset += entries[i].sectors;
    }
    WritePair(HostBytes(imgPath), dir, img);
}

// A path as the bytes the window takes.
inline QByteArray PathBytes(const QString& path) {
    return QFile::encodeName(path);
}

inline QString DirPathOf(const QString& imgPath) {
    return QFile::decodeName(
        QByteArray::fromStdString(DirectoryFileName(QFile::encodeName(imgPath).toStdString())));
}

inline qint64 FileSize(const QString& path) {
    return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

// The window's action or menu entry of that object name; fails the test when missing.
inline QAction* ActionNamed(QWidget& window, const char* name) {
    auto* action = window.findChild<QAction*>(QString::fromLatin1(name));
    if (!action)
        qFatal("no action named %s", name);
    return action;
}

inline QMenu* MenuNamed(QWidget& window, const char* name) {
    auto* menu = window.findChild<QMenu*>(QString::fromLatin1(name));
    if (!menu)
        qFatal("no menu named %s", name);
    return menu;
}

// Opens the menu as far as its rules go (aboutToShow), then reads whether the
// entry bound to `actionName` shows enabled.
inline bool EnabledInMenu(QWidget& window, const char* menuName, const char* actionName) {
    QMenu* menu = MenuNamed(window, menuName);
    emit menu->aboutToShow();
    QAction* action = ActionNamed(window, actionName);
    if (!menu->actions().contains(action))
        qFatal("%s is not in %s", actionName, menuName);
    return action->isEnabled();
}

// The texts of one column, top to bottom.
inline QStringList ColumnTexts(TfrmMain& window, int column = 0) {
    QStringList texts;
    auto* model = window.fileList()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

// The names of the selected rows, top to bottom, and of the focused row.
inline QStringList SelectedNames(TfrmMain& window) {
    QStringList names;
    const QStringList shown = ColumnTexts(window);
    for (int row = 0; row < shown.size(); ++row)
        if (window.fileList()->isRowSelected(row))
            names << shown[row];
    return names;
}

inline QString FocusedName(TfrmMain& window) {
    return window.fileList()->currentIndex().siblingAtColumn(0).data().toString();
}

inline void SelectRows(TfrmMain& window, const QList<int>& rows) {
    auto* view = window.fileList();
    view->selectionModel()->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
