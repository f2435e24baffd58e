#include "platform/FileSystem.h"

#include <algorithm>

namespace {

// Where the last separator of `path` is, or npos.
size_t LastSeparator(std::string_view path) {
    for (size_t i = path.size(); i-- > 0;)
        if (IsPathSeparator(path[i]))
            return i;
    return std::string_view::npos;
}

// The length of the part of `path` that must keep its separator: "/" on
// every system, and a drive's root ("C:/") on Windows.
size_t RootLength(std::string_view path) {
#ifdef _WIN32
    if (path.size() >= 3 && path[1] == ':' && IsPathSeparator(path[2]))
        return 3;
#endif
    return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

} // namespace

std::string FolderOf(const std::string& path) {
    const size_t separator = LastSeparator(path);
    if (separator == std::string::npos)
        return ".";
    const size_t root = RootLength(path);
    return path.substr(0, separator < root ? root : separator);
}

std::string_view FileNameOf(std::string_view path) {
    const size_t separator = LastSeparator(path);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty())
        return std::string(name);
    const size_t root = RootLength(folder);
    while (folder.size() > std::max<size_t>(root, 1) && IsPathSeparator(folder.back()))
        folder.remove_suffix(1);
    std::string path(folder);
    if (!IsPathSeparator(path.back()))
        path += '/';
    path += name;
    return path;
}
