#include "archive/DirectoryStore.h"

#include "archive/PairDirectory.h"

TArchiveFiles OpenArchiveFiles(const std::string& dataPath, TOpenMode mode) {
    return OpenPair(dataPath, mode);
}
