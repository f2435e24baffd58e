#include "fuzz/FuzzCheck.h"

#include <filesystem>
#include <stdlib.h>

namespace {

// Never destroyed: the removal at exit runs after static objects are gone.
const std::string* MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelkon-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return new std::string(pattern);
}

} // namespace

std::string FuzzScratchFolder() {
    static const std::string* folder = [] {
        const std::string* made = MakeFolder();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(FuzzScratchFolder(), ignored);
        });
        return made;
    }();
    return *folder;
}
