// Cost of the editing commands over the archive object alone.
//
//   edit_bench add [FILES] [ROUNDS]
//       FILES (1000) files of 1-50 KiB added through AddFiles, progress dialog
//       shown, against the same adds through the archive object alone; best of
//       ROUNDS (3) each. Target: the command costs at most 1.5x the core.
//   edit_bench replace [ENTRIES] [FILES] [ROUNDS]
//       on an archive of ENTRIES (1,000,000) entries, FILES (1000) files of 1-50
//       KiB through Import and Replace, each replacing an entry of its name,
//       against the same files added under new names through Add; both with the
//       progress dialog, the re-sort of the whole table and the flush; best of
//       ROUNDS (3) each. Target: replacing costs at most 1.5x adding.
//   edit_bench make <img> <ENTRIES> <MiB>
//       an archive of ENTRIES entries of MiB each, for extract_selected_vs_cp.sh
//   edit_bench extract <img> <folder>
//       every row selected and extracted through ExtractSelected; prints seconds
#include "archive/Gta3Archive.h"
#include "bench/BenchFiles.h"
#include "platform/FileStream.h"
#include "sorting/SortFunctions.h"
#include "ui/EntryCommands.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// Every row of the archive selected, in the list's order; nothing drawn.
class AllRows : public IEntryList {
public:
    // Rows in slot order, or `sorted` as the window shows them.
    AllRows(const TGTA3Archive& archive, bool sorted)
        : archive_(archive), order_(static_cast<size_t>(archive.Count())) {
        std::iota(order_.begin(), order_.end(), 0u);
        if (sorted)
            tableChanged({});
    }
    int rowCount() const override { return static_cast<int>(order_.size()); }
    bool isRowSelected(int) const override { return true; }
    int selectedCount() const override { return rowCount(); }
    int firstSelectedRow() const override { return order_.empty() ? -1 : 0; }
    int entryIndex(int row) const override { return static_cast<int>(order_[size_t(row)]); }
    void setRowCount(int rows) override { order_.resize(static_cast<size_t>(rows)); }
    // The whole table sorted again, as the window's list does.
    void tableChanged(std::span<const int>) override {
        const auto table = archive_.Table();
        order_ = SortedSlots(table.first(std::min(order_.size(), table.size())), CurrentCompare,
                             SortDescending);
    }
    void slotsMoved(std::span<const int32_t>) override { tableChanged({}); }
    void clearSelection() override {}
    void selectEntries(std::span<const int>) override {}
    void repaint() override {}

private:
    const TGTA3Archive& archive_;
    std::vector<uint32_t> order_;
};

std::string Host(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::vector<char> RandomBytes(size_t length, std::mt19937& random) {
    std::vector<char> bytes(length);
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

QStringList MakeSources(const QString& folder, int count) {
    std::mt19937 random(42);
    std::uniform_int_distribution<size_t> kibibytes(1, 50);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/file%2.dat").arg(folder).arg(i, 4, 10, QChar('0'));
        FileStream file = FileStream::CreateHeld(Host(path));
        const std::vector<char> bytes = RandomBytes(kibibytes(random) * 1024, random);
        file.Write(bytes.data(), bytes.size());
        file.Close();
        paths << path;
    }
    return paths;
}

double AddThroughCore(const QString& img, const QStringList& paths) {
    TGTA3Archive archive(Host(img), true);
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : paths) {
        const std::string hostPath = Host(path);
        FileStream source = FileStream::OpenReadShared(hostPath);
        archive.AddFile(hostPath.substr(hostPath.rfind('/') + 1), source);
        source.Close();
    }
    const std::vector<uint32_t> rows = SortedSlots(archive.Table(), CurrentCompare, SortDescending);
    archive.Flush();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double AddThroughCommand(const QString& img, const QStringList& paths, QWidget& owner) {
    TGTA3Archive archive(Host(img), true);
    AllRows list(archive, true);
    QElapsedTimer timer;
    timer.start();
    AddFiles(&owner, archive, list, paths);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

int Add(int files, int rounds) {
    QTemporaryDir folder;
    const QStringList paths = MakeSources(folder.path(), files);
    QWidget owner;
    owner.resize(640, 480);
    owner.show();
    QApplication::processEvents();

    double core = 1e9, command = 1e9;
    for (int round = 0; round < rounds; ++round) {
        // Alternated, so that neither side always runs on a warmer cache.
        double coreRound, commandRound;
        if (round % 2 == 0) {
            coreRound = AddThroughCore(folder.filePath("core.img"), paths);
            commandRound = AddThroughCommand(folder.filePath("cmd.img"), paths, owner);
        } else {
            commandRound = AddThroughCommand(folder.filePath("cmd.img"), paths, owner);
            coreRound = AddThroughCore(folder.filePath("core.img"), paths);
        }
        std::printf("  round %d: core %.3f s, AddFiles %.3f s\n", round + 1, coreRound,
                    commandRound);
        core = std::min(core, coreRound);
        command = std::min(command, commandRound);
    }
    std::printf(
        "add %d files: core %.3f s, AddFiles with dialog %.3f s, ratio %.2f (target <= 1.50)\n",
        files, core, command, command / core);
    return 0;
}

// One round of a command on a fresh copy of the big pair.
template <typename Command>
double TimedOnCopy(const std::string& big, const std::string& copy, Command command) {
    CopyPair(big, copy);
    TGTA3Archive archive(copy, false);
    AllRows list(archive, true); // sorted as the window shows it
    QElapsedTimer timer;
    timer.start();
    command(archive, list);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

int Replace(int entries, int files, int rounds) {
    TBenchFolder folder;
    const std::string big = MakeArchive(folder.File("big.img"), static_cast<uint32_t>(entries), 3);
    // The same files twice: under new names, and under the names of entries.
    QStringList added, replacing;
    const std::vector<std::string> sources = MakeSourceFiles(folder, files, 5);
    QDir(QString::fromStdString(folder.File(""))).mkdir("named");
    {
        // Names one entry carries each: a shared name would stop the run with
        // its message box.
        TGTA3Archive archive(big, TOpenMode::Shared);
        QHash<QString, int> carriers;
        for (const TArchiveEntry& entry : archive.Table())
            ++carriers[QString::fromLatin1(DisplayName(entry)).toUpper()];
        for (const TArchiveEntry& entry : archive.Table()) {
            const QString name = QString::fromLatin1(DisplayName(entry));
            if (replacing.size() == files)
                break;
            if (carriers.value(name.toUpper()) != 1)
                continue;
            const auto index = static_cast<size_t>(replacing.size());
            const QString path = QString::fromStdString(folder.File("named/")) + name;
            QFile::copy(QString::fromStdString(sources[index]), path);
            added << QString::fromStdString(sources[index]);
            replacing << path;
        }
    }
    QWidget owner;
    owner.resize(640, 480);
    owner.show();
    QApplication::processEvents();

    const std::string copy = folder.File("copy.img");
    double add = 1e9, replace = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const double addRound = TimedOnCopy(big, copy, [&](TGTA3Archive& archive, AllRows& list) {
            AddFiles(&owner, archive, list, added);
        });
        size_t replaced = 0;
        const double replaceRound =
            TimedOnCopy(big, copy, [&](TGTA3Archive& archive, AllRows& list) {
                replaced = ImportAndReplace(&owner, archive, list, replacing).Slots(true).size();
            });
        std::printf("  round %d: Add %.3f s, Import and Replace %.3f s (%zu replaced)\n", round + 1,
                    addRound, replaceRound, replaced);
        add = std::min(add, addRound);
        replace = std::min(replace, replaceRound);
    }
    std::printf("%d entries, %d files: Add %.3f s, Import and Replace %.3f s, ratio %.2f "
                "(target <= 1.50)\n",
                entries, files, add, replace, replace / add);
    return 0;
}

int Make(const QString& img, int entries, int mebibytes) {
    QTemporaryDir folder;
    const QString sourcePath = folder.filePath("source.bin");
    {
        std::mt19937 random(7);
        FileStream source = FileStream::CreateHeld(Host(sourcePath));
        for (int i = 0; i < mebibytes; ++i) {
            const std::vector<char> bytes = RandomBytes(1 << 20, random);
            source.Write(bytes.data(), bytes.size());
        }
        source.Close();
    }
    TGTA3Archive archive(Host(img), true);
    for (int i = 0; i < entries; ++i) {
        FileStream source = FileStream::OpenReadShared(Host(sourcePath));
        archive.AddFile("entry" + std::to_string(i) + ".bin", source);
        source.Close();
    }
    archive.Flush();
    return 0;
}

int Extract(const QString& img, const QString& folder) {
    TGTA3Archive archive(Host(img), false);
    AllRows list(archive, false);
    QWidget owner;
    owner.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    ExtractSelected(&owner, archive, list, folder);
    std::printf("%.3f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: edit_bench add [FILES] [ROUNDS] | replace [ENTRIES] [FILES] "
                         "[ROUNDS] | make <img> <ENTRIES> <MiB> | extract <img> <folder>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    try {
        if (!args.isEmpty() && args[0] == "add" && args.size() <= 3)
            return Add(args.value(1, "1000").toInt(), args.value(2, "3").toInt());
        if (!args.isEmpty() && args[0] == "replace" && args.size() <= 4)
            return Replace(args.value(1, "1000000").toInt(), args.value(2, "1000").toInt(),
                           args.value(3, "3").toInt());
        if (args.size() == 4 && args[0] == "make")
            return Make(args[1], args[2].toInt(), args[3].toInt());
        if (args.size() == 3 && args[0] == "extract")
            return Extract(args[1], args[2]);
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "edit_bench: %s\n", error.what());
        return 1;
    }
}
