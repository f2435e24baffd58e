#include "platform/TemporaryFile.h"

#include "platform/Errors.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

constexpr std::string_view Marker = ".pelkon-tmp-";

// A temporary name split into the final name and the token, if it is one.
struct ParsedName {
    std::string finalName;
    std::string token;
};

// Whether the process whose number begins the token runs on this machine and
// is not this one.
bool WriterRuns(std::string_view token) {
    long pid = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), pid);
    if (error != std::errc() || end == token.data() || pid <= 0 || pid == ProcessNumber())
        return false;
    return ProcessRuns(pid);
}

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

// Removes a temporary name on the way out; a leftover is removed by the next
// writer in this folder.
void RemoveQuietly(const std::string& path) noexcept {
    try {
        RemoveFile(path);
    } catch (...) {
    }
}

// A temporary file shown to be a leftover, held until its name is gone so no
// one opens it meanwhile.
struct Stale {
    std::string path;
    std::string finalPath;
    FileStream held;
    bool placed; // the final name is this very file
};

// The temporary file `name` in `folder` as a leftover of this user's, or
// nothing when it cannot be shown to be one.
std::optional<Stale> Inspect(const std::string& folder, const std::string& name,
                             const ParsedName& parsed) {
    // A writer that may still be between creating its file and holding it
    // (FileStream::CreateNew on a file system without nameless files).
    if (WriterRuns(parsed.token))
        return std::nullopt;
    const std::string path = JoinPath(folder, name);
    std::optional<FileStream> held = FileStream::TryHold(path);
    if (!held)
        return std::nullopt;
    const TFileInfo info = held->Info();
    if (!info.OwnedByThisUser())
        return std::nullopt;
    const std::string finalPath = JoinPath(folder, parsed.finalName);
    const std::optional<TFileInfo> final = PathInfo(finalPath);
    const bool placed = final && final->SameFile(info);
    // A name anywhere else makes the file someone's, not a leftover.
    if (info.links != (placed ? 2u : 1u))
        return std::nullopt;
    return Stale{path, finalPath, std::move(*held), placed};
}

} // namespace

std::string TemporaryPathFor(const std::string& finalPath, const std::string& token) {
    const std::string_view name = FileNameOf(finalPath);
    const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
    return folder + "." + std::string(name) + std::string(Marker) + token;
}

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
    // Failures while it is written name the file the user knows. The name is
    // taken away again when even that fails (out of memory): no destructor
    // runs for an object left half-made.
    try {
        stream_.Renamed(finalPath_);
    } catch (...) {
        RemoveQuietly(path_);
        throw;
    }
}

TTemporaryFile::~TTemporaryFile() {
    if (!named_)
        return;
    RemoveQuietly(path_);
    stream_.Abandon();
}

void TTemporaryFile::ReplaceFinal(Replacing replacing) {
    // Held until the rename is done, so nothing of ours opens it meanwhile.
    std::optional<FileStream> replaced;
    if (replacing == Replacing::UnheldFilesOnly)
        replaced = HoldForReplacing(finalPath_);
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

void TTemporaryFile::KeepTemporaryName() {
    stream_.Renamed(path_);
    named_ = false;
}

TSetAside::TSetAside(std::string finalPath)
    : finalPath_(std::move(finalPath)), path_(TemporaryPathFor(finalPath_, NewTemporaryToken())) {
    LinkFile(finalPath_, path_);
}

TSetAside::~TSetAside() {
    if (named_)
        RemoveQuietly(path_);
}

void TSetAside::Restore() {
    RenameFile(path_, finalPath_);
    named_ = false;
}

std::optional<FileStream> HoldForReplacing(const std::string& path) {
    switch (PathKind(path)) {
    case TPathKind::Missing:
        return std::nullopt;
    case TPathKind::File:
        break;
    case TPathKind::Link:
        throw EFCreateError(path, "a symbolic link stands there");
    case TPathKind::Folder:
        throw EFCreateError(path, EISDIR);
    case TPathKind::Other:
        throw EFCreateError(path, "not a regular file");
    }
    // A sweep in this folder tries each temporary file's hold for a moment; one
    // renamed into place just then is briefly held under its final name. Such
    // a hold goes at once, a program's holds stay: only the first is waited for.
    constexpr int Attempts = 20;
    constexpr auto Pause = std::chrono::milliseconds(5);
    int why = 0;
    for (int attempt = 1;; ++attempt) {
        if (std::optional<FileStream> held = FileStream::TryHold(path, &why))
            return held;
        if (why != EWOULDBLOCK || attempt == Attempts)
            throw EFCreateError(path, why);
        std::this_thread::sleep_for(Pause);
    }
}

size_t RemoveStaleTemporaries(const std::string& folder, std::span<const std::string> finalNames) {
    std::map<std::string, std::vector<Stale>> byToken;
    // A writer's files go together or not at all: one that cannot be shown to
    // be a leftover keeps the others of its token where they are.
    std::set<std::string> keep;
    for (const std::string& name : FolderNames(folder)) {
        const std::optional<ParsedName> parsed = ParseTemporaryName(name);
        if (!parsed)
            continue;
        if (!finalNames.empty() &&
            std::find(finalNames.begin(), finalNames.end(), parsed->finalName) == finalNames.end())
            continue;
        std::optional<Stale> stale = Inspect(folder, name, *parsed);
        if (stale)
            byToken[parsed->token].push_back(std::move(*stale));
        else
            keep.insert(parsed->token);
    }
    for (const std::string& token : keep)
        byToken.erase(token);
    // The files a standing swap marker names are the swap's to put in place,
    // not leftovers. Asked once the files are held, so that a marker their
    // writer put in place before it was killed is seen.
    if (!byToken.empty())
        for (const std::string& token : MarkedTokens(folder))
            byToken.erase(token);

    size_t removed = 0;
    bool linked = false;
    for (auto& [token, files] : byToken) {
        // Its writer had begun linking its complete files into place: the
        // rest follow, so the pair it was making is whole. All are linked
        // before any temporary name goes, so a sweep stopped part-way leaves
        // the next one the same evidence.
        const bool placing =
            std::any_of(files.begin(), files.end(), [](const Stale& file) { return file.placed; });
        for (Stale& file : files) {
            if (!placing || file.placed)
                continue;
            try {
                LinkFile(file.path, file.finalPath);
                linked = true;
            } catch (const EOSError& error) {
                // A name taken meanwhile stays as it is; only the temporary
                // name goes.
                if (error.SystemError() != EEXIST)
                    throw;
            }
        }
        for (Stale& file : files) {
            RemoveFile(file.path);
            ++removed;
        }
    }
    if (linked)
        SyncFolder(folder);
    return removed;
}

void RemoveStaleTemporariesQuietly(const std::string& folder) noexcept {
    try {
        RemoveStaleTemporaries(folder);
    } catch (...) {
        // Left for the next writer in this folder.
    }
}
