// Shared by the editing command tests: a fake entry list, archives in a fresh
// temporary folder, raw reads of the directory file, and a recorder of what the
// progress dialog showed each time it was painted.
#pragma once

#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "tests/support/QtTestSupport.h"
#include "ui/EntryCommands.h"
#include "ui/FormProgress.h"

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QSet>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The list as the commands see it: a row count and a selection, with every
// change logged in call order. Row i shows slot i, unless the list is given an
// archive: its rows are then sorted as the window's list sorts them, by the
// program's sort state, at Sort() and whenever the table changed.
class FakeEntryList : public IEntryList {
public:
    int rows = 0;
    QSet<int> selected;
    QStringList log;
    std::function<void()> onRepaint;
    const TGTA3Archive* archive = nullptr;
    std::vector<uint32_t> order; // row -> slot, once sorted

    void Sort() {
        const auto table = archive->Table();
        order = SortedSlots(table.first(std::min(static_cast<size_t>(rows), table.size())),
                            CurrentCompare, SortDescending);
    }
    // The stored names of the rows' entries, in row order.
    QList<QByteArray> Shown() const {
        QList<QByteArray> names;
        for (int row = 0; row < rows; ++row) {
            const std::string_view name = NameText(archive->Table()[size_t(entryIndex(row))]);
            names << QByteArray(name.data(), static_cast<qsizetype>(name.size()));
        }
        return names;
    }

    int rowCount() const override { return rows; }
    bool isRowSelected(int row) const override { return selected.contains(row); }
    int selectedCount() const override { return static_cast<int>(selected.size()); }
    int firstSelectedRow() const override {
        for (int row = 0; row < rows; ++row)
            if (selected.contains(row))
                return row;
        return -1;
    }
    // A row past the sorted ones names a slot past the table, as a stale row would.
    int entryIndex(int row) const override {
        return static_cast<size_t>(row) < order.size() ? static_cast<int>(order[size_t(row)]) : row;
    }
    void selectEntries(std::span<const int> entries) override {
        selected.clear();
        for (const int slot : entries) {
            const auto row = std::find(order.begin(), order.end(), static_cast<uint32_t>(slot));
            selected.insert(row != order.end() ? static_cast<int>(row - order.begin()) : slot);
        }
    }
    void setRowCount(int count) override {
        rows = count;
        log << QStringLiteral("setRowCount %1").arg(count);
    }
    void slotsMoved(std::span<const int32_t> newSlotOf) override {
        log << QStringLiteral("slotsMoved %1").arg(newSlotOf.size());
    }
    void tableChanged(std::span<const int> deletedSlots) override {
        log << QStringLiteral("tableChanged %1").arg(deletedSlots.size());
        if (archive)
            Sort();
    }
    void clearSelection() override {
        selected.clear();
        log << QStringLiteral("clearSelection");
    }
    void repaint() override {
        log << QStringLiteral("repaint");
        if (onRepaint)
            onRepaint();
    }
};

struct DirRecord {
    quint32 offset = 0;
    quint32 size = 0;
    QByteArray name; // up to the first zero byte

    bool operator==(const DirRecord&) const = default;
};

// The records of a directory file, decoded by the program's own codec.
inline QList<DirRecord> ReadRecords(const QString& dirPath) {
    const QByteArray bytes = ReadBytes(dirPath);
    QList<DirRecord> records;
    for (qsizetype at = 0; at + 32 <= bytes.size(); at += 32) {
        TArchiveEntry entry{};
        DecodeRecord(reinterpret_cast<const unsigned char*>(bytes.constData() + at), entry);
        records.append({entry.Offset, entry.Size, QByteArray::fromStdString(NameOf(entry))});
    }
    return records;
}

inline QByteArray RecordBytes(quint32 offset, quint32 size, const QByteArray& name) {
    return QByteArray::fromStdString(Record(offset, size, name.toStdString()));
}

// Bytes that differ per seed, so files can be told apart.
inline QByteArray Pattern(qsizetype length, int seed) {
    return QByteArray::fromStdString(
        Pattern(static_cast<size_t>(length), static_cast<unsigned>(seed)));
}

inline std::string Host(const QString& path) {
    return HostBytes(path);
}

// A temporary folder holding the archive "test.img"/"test.dir" and any source
// files the test writes beside it.
class ArchiveFolder : public TestFolder {
public:
    QString Img() const { return File("test.img"); }
    QString Dir() const { return File("test.dir"); }

    std::unique_ptr<TGTA3Archive> Create() {
        return std::make_unique<TGTA3Archive>(Host(Img()), true);
    }
    std::unique_ptr<TGTA3Archive> Open() {
        return std::make_unique<TGTA3Archive>(Host(Img()), false);
    }

    QString WriteSource(const QString& name, const QByteArray& bytes) {
        const QString path = File(name);
        WriteBytes(path, bytes);
        return path;
    }

    // Adds through the archive object alone, from a source file in "src".
    void AddEntry(TGTA3Archive& archive, const QByteArray& name, const QByteArray& bytes) {
        const QString path = File("src.bin");
        WriteBytes(path, bytes);
        FileStream source = FileStream::OpenReadShared(Host(path));
        archive.AddFile(std::string(name.constData(), static_cast<size_t>(name.size())), source);
        source.Close();
        QFile::remove(path);
    }

    // An archive whose directory records are written byte by byte, for names the
    // program itself would not make; every entry holds `sectors` sectors.
    std::unique_ptr<TGTA3Archive> Craft(const QList<QByteArray>& names, quint32 sectors = 1) {
        QByteArray img, directory;
        quint32 offset = 0;
        for (int i = 0; i < names.size(); ++i) {
            img += Pattern(sectors * 2048, i + 1);
            directory += RecordBytes(offset, sectors, names[i]);
            offset += sectors;
        }
        WriteBytes(Img(), img);
        WriteBytes(Dir(), directory);
        return Open();
    }
};

// What the progress dialog showed each time it was painted. Installed on the
// application, so it sees the dialog a command creates and destroys itself.
class ProgressRecorder : public QObject {
public:
    struct Frame {
        int value;
        int maximum;
        QString line1;
        QString line2;
        bool busyCursor;
    };
    QList<Frame> frames;

    ProgressRecorder() { qApp->installEventFilter(this); }
    ~ProgressRecorder() override { qApp->removeEventFilter(this); }

    // The dialog currently alive under `owner`, if any.
    static TfrmProgress* Current(QWidget* owner) { return owner->findChild<TfrmProgress*>(); }

    // One frame per bar position painted: a new window may be painted twice
    // within one Step (once when it comes on screen, once by Step itself).
    QList<Frame> Steps() const {
        QList<Frame> steps;
        for (const auto& frame : frames)
            if (steps.isEmpty() || steps.last().value != frame.value)
                steps << frame;
        return steps;
    }
    QList<int> Values() const {
        QList<int> values;
        for (const auto& frame : Steps())
            values << frame.value;
        return values;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (auto* dialog = qobject_cast<TfrmProgress*>(watched))
                frames.append({dialog->ProgressBar1->value(), dialog->ProgressBar1->maximum(),
                               dialog->lblLine1->text(), dialog->lblLine2->text(),
                               QApplication::overrideCursor() != nullptr});
        }
        return false;
    }
};
