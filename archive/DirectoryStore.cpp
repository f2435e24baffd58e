#include "archive/DirectoryStore.h"

#include "archive/EmbeddedDirectory.h"
#include "archive/PairDirectory.h"
#include "archive/SingleFileFormat.h"
#include "platform/FileSystem.h"

FileStream OpenFile(const std::string& path, TOpenMode mode) {
    if (mode == TOpenMode::Shared)
        return FileStream::OpenReadShared(path);
    return FileStream::OpenHeld(path);
}

TArchiveFiles OpenArchiveFiles(const std::string& dataPath, TOpenMode mode, TArchiveKind created) {
    if (mode == TOpenMode::Create)
        return created == TArchiveKind::SingleFile ? CreateSingleFile(dataPath)
                                                   : OpenPair(dataPath, mode);
    // What a stopped compaction left is settled before the kind is told by
    // the first bytes: a pair's marker names both files, a single file's the
    // data file alone (SettleSwap takes either).
    const std::vector<std::string> paths = SettlePair(dataPath, mode);

    FileStream data = OpenFile(paths[0], mode);
    data.Renamed(dataPath);
    char first[SingleFileSignature.size()];
    data.Seek(0);
    const size_t got = data.Read(first, sizeof first);
    if (!HasSingleFileSignature({first, got}))
        return OpenPair(std::move(data), paths[1], mode);

    // The signature decides: a directory file beside is not this archive's.
    TWarnings warnings;
    const std::string besideName = DirectoryFileName(dataPath);
    if (besideName != dataPath && PathExists(besideName))
        warnings.push_back("the file starts with VER2 and is opened as a single-file archive; "
                           "the directory file " +
                           besideName + " beside it is not read");
    return {std::move(data),
            std::make_unique<TEmbeddedDirectory>(dataPath, mode != TOpenMode::Shared),
            std::move(warnings)};
}
