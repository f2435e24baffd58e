#include "platform/TemporaryFile.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>

namespace {

constexpr std::string_view Marker = ".pelkon-tmp-";

std::string TemporaryPathFor(const std::string& finalPath, const std::string& token) {
    const std::string_view name = FileNameOf(finalPath);
    const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
    return folder + "." + std::string(name) + std::string(Marker) + token;
}

// A temporary name split into the final name and the token, if it is one.
struct ParsedName {
    std::string finalName;
    std::string token;
};

std::optional<ParsedName> ParseTemporaryName(std::string_view name) {
    const size_t marker = name.rfind(Marker);
    if (name.size() < 2 || name.front() != '.' || marker == std::string_view::npos || marker < 2)
        return std::nullopt;
    return ParsedName{std::string(name.substr(1, marker - 1)),
                      std::string(name.substr(marker + Marker.size()))};
}

// The temporary file, or a failure told of the file the user knows.
FileStream CreateFor(const std::string& finalPath, const std::string& path) {
    try {
        return FileStream::CreateNew(path);
    } catch (const EFCreateError& error) {
        throw EFCreateError(finalPath, error.SystemError());
    }
}

} // namespace

std::string NewTemporaryToken() {
    uint64_t random = 0;
    if (!FillRandom(&random, sizeof random)) {
        // No kernel randomness: the clock still makes the name hard to guess,
        // and the exclusive create refuses any name already taken.
        random =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
            6364136223846793005ULL;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%ld-%016llx", ProcessNumber(),
                  static_cast<unsigned long long>(random));
    return text;
}

TTemporaryFile::TTemporaryFile(std::string finalPath, const std::string& token)
    : finalPath_(std::move(finalPath)), path_(TemporaryPathFor(finalPath_, token)),
      stream_(CreateFor(finalPath_, path_)) {
    // Failures while it is written name the file the user knows.
    stream_.Renamed(finalPath_);
}

TTemporaryFile::~TTemporaryFile() {
    if (!named_)
        return;
    try {
        RemoveFile(path_);
    } catch (...) {
        // A leftover is removed by the next writer in this folder.
    }
}

void TTemporaryFile::ReplaceFinal(Replacing replacing) {
    // Held until the rename is done, so nothing of ours opens it meanwhile.
    std::optional<FileStream> replaced;
    if (replacing == Replacing::UnheldFilesOnly) {
        switch (PathKind(finalPath_)) {
        case TPathKind::Missing:
            break;
        case TPathKind::File: {
            int why = 0;
            replaced = FileStream::TryHold(finalPath_, &why);
            if (!replaced)
                throw EFCreateError(finalPath_, why);
            break;
        }
        case TPathKind::Link:
            throw EFCreateError(finalPath_, "a symbolic link stands there");
        case TPathKind::Folder:
            throw EFCreateError(finalPath_, EISDIR);
        case TPathKind::Other:
            throw EFCreateError(finalPath_, "not a regular file");
        }
    }
    RenameFile(path_, finalPath_);
    named_ = false;
}

void TTemporaryFile::LinkFinal() {
    LinkFile(path_, finalPath_);
}

void TTemporaryFile::RemoveTemporaryName() {
    if (!named_)
        return;
    RemoveFile(path_);
    named_ = false;
}

size_t RemoveStaleTemporaries(const std::string& folder) {
    struct Stale {
        std::string path;
        std::string finalPath;
        FileStream held;
        bool placed = false; // the final name is this very file
    };
    std::map<std::string, std::vector<Stale>> byToken;
    for (const std::string& name : FolderNames(folder)) {
        const std::optional<ParsedName> parsed = ParseTemporaryName(name);
        if (!parsed)
            continue;
        const std::string path = JoinPath(folder, name);
        std::optional<FileStream> held = FileStream::TryHold(path);
        if (!held)
            continue;
        if (!held->OwnedByCurrentUser())
            continue;
        const TFileInfo info = held->Info();
        Stale stale{path, JoinPath(folder, parsed->finalName), std::move(*held)};
        if (const std::optional<TFileInfo> final = PathInfo(stale.finalPath))
            stale.placed = final->SameFile(info);
        byToken[parsed->token].push_back(std::move(stale));
    }

    size_t removed = 0;
    for (auto& [token, files] : byToken) {
        bool allPlaced = true;
        for (const Stale& file : files)
            allPlaced = allPlaced && file.placed;
        for (Stale& file : files) {
            // A writer killed while putting its files in place leaves some of
            // them placed: those go too, so no half of its work remains.
            if (file.placed && !allPlaced) {
                RemoveFile(file.finalPath);
                ++removed;
            }
            RemoveFile(file.path);
            ++removed;
        }
    }
    return removed;
}

void RemoveStaleTemporariesQuietly(const std::string& folder) noexcept {
    try {
        RemoveStaleTemporaries(folder);
    } catch (...) {
        // Left for the next writer in this folder.
    }
}
