// rebuild: a compacted copy of a pair that appears whole or not at all.
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"
#include "cli/Names.h"
#include "cli/ReadOnlyPair.h"
#include "platform/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool PathExists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A temporary name beside `path`, in the same folder so that the final rename
// stays on one file system.
std::string TemporaryName(const std::string& path) {
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".pelkon-tmp-" + std::to_string(getpid());
}

void PutLittleEndian32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Removes the temporary files unless the copy was put into place.
class TemporaryFiles {
public:
    TemporaryFiles(std::string img, std::string dir) : img_(std::move(img)), dir_(std::move(dir)) {}
    ~TemporaryFiles() {
        std::error_code ignored;
        if (!kept_) {
            fs::remove(img_, ignored);
            fs::remove(dir_, ignored);
        }
    }
    void Keep() { kept_ = true; }

private:
    std::string img_, dir_;
    bool kept_ = false;
};

void CheckWithinDataFile(const ReadOnlyPair& source, const std::string& path) {
    for (const TArchiveEntry& entry : source.entries)
        if (entry.Size > 0 && DataEnd(entry) > source.imgLength)
            throw Exception("slot " + std::to_string(entry.DirIndex) + " \"" +
                            PrintableName(NameText(entry)) + "\" reaches past the end of " + path +
                            " (run check); nothing was written");
}

void Rename(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw EOSError(errno);
}

// Makes the renames themselves durable.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw EOSError(errno);
    int result = ::fsync(fd);
    int error = errno;
    ::close(fd);
    if (result != 0)
        throw EOSError(error);
}

} // namespace

int RunRebuild(const ParsedArgs& args) {
    const std::string& sourcePath = args.positional[0];
    const std::string& imgPath = args.positional[1];
    const std::string dirPath = DirectoryFileName(imgPath);
    if (dirPath == imgPath)
        throw Exception(imgPath + " would be its own directory file");
    for (const std::string& path : {imgPath, dirPath})
        if (PathExists(path))
            throw Exception(path + " already exists; rebuild writes only a new pair");

    ReadOnlyPair source = OpenReadOnly(sourcePath);
    CheckWithinDataFile(source, sourcePath);

    uint64_t sectors = 0;
    for (const TArchiveEntry& entry : source.entries)
        sectors += entry.Size;
    if (sectors > std::numeric_limits<uint32_t>::max())
        throw Exception("the compacted data would not fit the 32-bit sector offsets");

    const std::string imgTemporary = TemporaryName(imgPath);
    const std::string dirTemporary = TemporaryName(dirPath);
    TemporaryFiles cleanup(imgTemporary, dirTemporary);
    FileStream img = FileStream::CreateHeld(imgTemporary);
    FileStream dir = FileStream::CreateHeld(dirTemporary);
    // Room for all of it first, so a full disk fails before any copying.
    if (sectors > 0)
        img.Reserve(sectors * SectorSize);

    std::vector<unsigned char> records(source.entries.size() * sizeof(TDirEntry));
    uint32_t offset = 0;
    for (size_t i = 0; i < source.entries.size(); ++i) {
        const TArchiveEntry& entry = source.entries[i];
        unsigned char* record = records.data() + i * sizeof(TDirEntry);
        PutLittleEndian32(record, offset);
        PutLittleEndian32(record + 4, entry.Size);
        std::memcpy(record + 8, entry.Name, sizeof entry.Name);
        if (entry.Size > 0) {
            source.img.Seek(DataBegin(entry));
            img.Seek(uint64_t{offset} * SectorSize);
            img.CopyFrom(source.img, uint64_t{entry.Size} * SectorSize);
        }
        offset += entry.Size;
    }
    if (!records.empty())
        dir.Write(records.data(), records.size());

    img.Flush();
    dir.Flush();
    img.Close();
    dir.Close();
    // Re-checked just before the renames: a pair that appeared meanwhile is not replaced.
    for (const std::string& path : {imgPath, dirPath})
        if (PathExists(path))
            throw Exception(path + " already exists; rebuild writes only a new pair");
    Rename(imgTemporary, imgPath);
    try {
        Rename(dirTemporary, dirPath);
    } catch (...) {
        std::error_code ignored;
        fs::remove(imgPath, ignored); // no data file without its directory
        throw;
    }
    cleanup.Keep();
    SyncFolder(FolderOf(imgPath));
    return ExitOk;
}
