#include "tests/cli/CliRunner.h"

#include "archive/Gta3Archive.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>

void WritePair(const std::string& dataFile, std::string_view directory, uint32_t sectors) {
    WritePair(dataFile, directory, Pattern(size_t{sectors} * 2048, sectors + 7));
}

std::string DirOf(const std::string& dataFile) {
    return DirectoryFileName(dataFile);
}

std::vector<std::string> FolderContents(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
