// Folder operations of the file layer: what stands at a path, renaming,
// linking and removing names, reading and syncing folders, and standard
// output. Like FileStream, every call passes the fault seam and failures
// throw the exceptions of Errors.h with the path concerned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileStream.h"

#include <optional>

enum class TPathKind { Missing, File, Folder, Link, Other };

// What stands at the path, without following a link. Throws EOSError when the
// system cannot tell (other than for a missing path).
TPathKind PathKind(const std::string& path);
// What the system says of the file standing at the path (a link itself, not
// followed); nothing when the path is missing. Throws EOSError.
std::optional<TFileInfo> PathInfo(const std::string& path);
// What the system says of the file the path leads to, following links;
// nothing when it leads nowhere. Throws EOSError.
std::optional<TFileInfo> TargetInfo(const std::string& path);
inline bool PathExists(const std::string& path) {
    return PathKind(path) != TPathKind::Missing;
}

// Renames `from` over `to`, replacing whatever file is there. Throws EOSError.
void RenameFile(const std::string& from, const std::string& to);
// Gives the file at `existing` the further name `added`, which must be free:
// nothing standing there is ever replaced. Throws EOSError (EEXIST when the
// name is taken).
void LinkFile(const std::string& existing, const std::string& added);
// Removes the name. Throws EOSError.
void RemoveFile(const std::string& path);
// Makes the folder, in a folder that is there, for this user alone where the
// system has such modes. Throws EOSError (EEXIST when anything stands there).
void MakeFolder(const std::string& path);
// Puts the folder's names on disk, so renames and removals in it survive a
// power cut. Throws EOSError.
void SyncFolder(const std::string& folder);
// The bytes that this program may still write in the file system of the
// folder (what is reserved for others left out). Throws EOSError.
uint64_t FreeSpace(const std::string& folder);
// The names in the folder, "." and ".." left out. Throws EOSError.
std::vector<std::string> FolderNames(const std::string& folder);
// Writes all of `bytes` to standard output. Throws EWriteError.
void WriteStandardOutput(std::string_view bytes);

// Paths as text (PathNames.cpp). A separator is '/', and on Windows '\\' too.
// The folder part of a path: "." for a bare name, "/" for a name in the root
// (on Windows also "C:/" for a name in a drive's root).
std::string FolderOf(const std::string& path);
// The part of a path after its last separator.
std::string_view FileNameOf(std::string_view path);
// The folder, ending in exactly one separator, followed by `name`; `name`
// alone when the folder is empty (the current folder).
std::string JoinPath(std::string_view folder, std::string_view name);
// Whether `c` separates the folders of a path on this system.
constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}
