#include "archive/SingleFileJournal.h"

#include "platform/Checksum.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <cstring>

namespace {

constexpr std::string_view Magic = "pelkon ver2 jrnl";
constexpr size_t HeadSize = 48;
constexpr size_t TailSize = 8;
static_assert(Magic.size() == 16);

void Put64(std::string& bytes, uint64_t value) {
    for (size_t i = 0; i < 8; ++i)
        bytes += static_cast<char>(value >> (8 * i));
}

uint64_t Get64(std::string_view bytes, size_t at) {
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i)
        value |= uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return value;
}

} // namespace

std::string JournalPathOf(const std::string& archivePath) {
    return archivePath + ".pelkon-journal";
}

void WriteSingleFileJournal(const FileStream& archive, const TSingleFileJournal& journal) {
    const TFileInfo info = archive.Info();
    std::string bytes(Magic);
    Put64(bytes, info.device);
    Put64(bytes, info.inode);
    Put64(bytes, journal.Offset);
    Put64(bytes, journal.Bytes.size());
    bytes += journal.Bytes;
    Put64(bytes, Checksum64(bytes));

    const std::string path = JournalPathOf(archive.Path());
    TTemporaryFile file(path);
    file.Stream().Write(bytes.data(), bytes.size());
    file.Stream().Flush();
    file.ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    // The journal's name must survive a power cut before anything is written
    // in place: otherwise the change would stand half-done with nothing to
    // finish it.
    try {
        SyncFolder(FolderOf(path));
    } catch (const Exception&) {
        // Taken back, the change was not made; a journal that stays is whole,
        // and the change stands with it.
        try {
            RemoveFile(path);
        } catch (const Exception&) {
            return;
        }
        throw;
    }
}

bool JournalStands(const std::string& archivePath) {
    return PathExists(JournalPathOf(archivePath));
}

std::optional<TSingleFileJournal> ReadSingleFileJournal(const FileStream& archive) {
    const std::string path = JournalPathOf(archive.Path());
    if (!PathExists(path))
        return std::nullopt;
    FileStream file = FileStream::OpenReadShared(path);
    const uint64_t length = file.Length();
    const TFileInfo info = archive.Info();
    // Its length is checked against the archive's before anything is read,
    // so a stranger's file there costs no memory.
    if (length < HeadSize + TailSize || length - HeadSize - TailSize > info.length)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(length), '\0');
    file.Seek(0);
    file.ReadExact(bytes.data(), bytes.size());
    const std::string_view view = bytes;
    if (!view.starts_with(Magic) || Get64(view, 16) != info.device || Get64(view, 24) != info.inode)
        return std::nullopt;
    const uint64_t offset = Get64(view, 32);
    const uint64_t size = Get64(view, 40);
    if (size != length - HeadSize - TailSize || offset > info.length - size ||
        Get64(view, bytes.size() - TailSize) != Checksum64(view.substr(0, length - TailSize)))
        return std::nullopt;
    return TSingleFileJournal{offset, bytes.substr(HeadSize, static_cast<size_t>(size))};
}

void ApplySingleFileJournal(FileStream& archive, const TSingleFileJournal& journal) {
    archive.Seek(journal.Offset);
    archive.Write(journal.Bytes.data(), journal.Bytes.size());
    archive.Flush();
}

void RemoveSingleFileJournal(const std::string& archivePath) {
    const std::string path = JournalPathOf(archivePath);
    if (!PathExists(path))
        return;
    RemoveFile(path);
    // A journal that came back after a power cut would be written over later
    // changes.
    SyncFolder(FolderOf(path));
}
