#include "platform/FileSwap.h"

#include "platform/Checksum.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view Suffix = ".pelkon-swap";
constexpr std::string_view Heading = "pelkon swap 1\n";
constexpr std::string_view TokenField = "token ";
constexpr std::string_view SumField = "sum ";
// "sum " and 16 hexadecimal digits and a line end.
constexpr size_t SumLineSize = SumField.size() + 16 + 1;
// A marker names a token and a few file names: anything longer is not one.
constexpr size_t MaxMarkerSize = 4096;

// The marker's text for the swap of `finalPaths` with `token`.
std::string EncodeMarker(const std::string& token, std::span<const std::string> finalPaths) {
    std::string text(Heading);
    text += std::string(TokenField) + token + "\n";
    for (const std::string& path : finalPaths)
        text += "file " + std::string(FileNameOf(path)) + "\n";
    char sum[SumLineSize + 1];
    std::snprintf(sum, sizeof sum, "sum %016llx\n",
                  static_cast<unsigned long long>(Checksum64(text)));
    return text + sum;
}

// A token as NewTemporaryToken makes them: it names files in the marker's
// own folder only.
bool IsToken(std::string_view token) {
    return !token.empty() && token.size() <= 64 &&
           std::all_of(token.begin(), token.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '-';
           });
}

// The token of a marker's text, when its heading, token and checksum are right.
std::optional<std::string> TokenOf(std::string_view text) {
    if (!text.starts_with(Heading) || text.size() < Heading.size() + SumLineSize ||
        text.back() != '\n')
        return std::nullopt;
    const std::string_view body = text.substr(0, text.size() - SumLineSize);
    const std::string_view sum = text.substr(body.size());
    uint64_t stored = 0;
    const char* digits = sum.data() + SumField.size();
    if (!sum.starts_with(SumField) ||
        std::from_chars(digits, digits + 16, stored, 16).ptr != digits + 16 ||
        stored != Checksum64(body))
        return std::nullopt;
    std::string_view line = body.substr(Heading.size());
    line = line.substr(0, line.find('\n'));
    if (!line.starts_with(TokenField) || !IsToken(line.substr(TokenField.size())))
        return std::nullopt;
    return std::string(line.substr(TokenField.size()));
}

std::string ReadMarker(FileStream& marker) {
    std::string text(MaxMarkerSize + 1, '\0');
    text.resize(marker.Read(text.data(), text.size()));
    return text;
}

// Opens a file that should be part of a swap as a writer or a reader would
// hold it; nothing when it cannot be (a link, say). Someone's hold on it means
// the swap's writer runs: the opening of `busyPath` is refused.
std::optional<FileStream> HoldPart(const std::string& path, TSwapAccess access,
                                   const std::string& busyPath) {
    int why = 0;
    std::optional<FileStream> held;
    if (access == TSwapAccess::Finish) {
        held = FileStream::TryHold(path, &why);
    } else {
        try {
            held = FileStream::OpenReadShared(path);
        } catch (const EFileError& error) {
            why = error.SystemError();
        }
    }
    if (!held && why == EWOULDBLOCK)
        throw EFOpenError(busyPath, EWOULDBLOCK);
    return held;
}

// A swap found by its marker, with the marker and each new file that still
// has its temporary name held until it is settled.
struct FoundSwap {
    FileStream marker;
    std::vector<std::optional<FileStream>> parts; // by final path; none: in place already
    std::vector<std::string> temporaries;
};

// The swap of `finalPaths` that the marker at `markerPath` stands for, when it
// is this program's to settle (see FileSwap.h); nothing otherwise.
std::optional<FoundSwap> FindSwap(const std::string& markerPath,
                                  std::span<const std::string> finalPaths, TSwapAccess access) {
    const std::string& busyPath = finalPaths.front();
    std::optional<FileStream> marker = HoldPart(markerPath, access, busyPath);
    if (!marker)
        return std::nullopt;
    const TFileInfo markerInfo = marker->Info();
    if (!markerInfo.OwnedByThisUser()) {
        const std::optional<TFileInfo> first = PathInfo(finalPaths.front());
        if (access == TSwapAccess::Finish || !first || first->owner != markerInfo.owner)
            return std::nullopt;
    }
    const std::string text = ReadMarker(*marker);
    const std::optional<std::string> token = TokenOf(text);
    if (!token || text != EncodeMarker(*token, finalPaths))
        return std::nullopt;

    FoundSwap found{std::move(*marker), {}, {}};
    for (const std::string& finalPath : finalPaths) {
        const std::string temporary = TemporaryPathFor(finalPath, *token);
        found.temporaries.push_back(temporary);
        switch (PathKind(temporary)) {
        case TPathKind::Missing:
            found.parts.emplace_back(); // renamed into place already
            continue;
        case TPathKind::File:
            break;
        default:
            return std::nullopt;
        }
        std::optional<FileStream> part = HoldPart(temporary, access, busyPath);
        if (!part)
            return std::nullopt;
        const TFileInfo info = part->Info();
        if (info.owner != markerInfo.owner || info.links != 1)
            return std::nullopt;
        found.parts.push_back(std::move(part));
    }
    return found;
}

} // namespace

std::string SwapMarkerPath(const std::string& path) {
    const std::string_view name = FileNameOf(path);
    return path.substr(0, path.size() - name.size()) + "." + std::string(name) +
           std::string(Suffix);
}

std::vector<std::string> SwapIntoPlace(std::span<TTemporaryFile* const> files,
                                       const std::string& token) {
    std::vector<std::string> finalPaths;
    for (const TTemporaryFile* file : files)
        finalPaths.push_back(file->FinalPath());
    const std::string markerPath = SwapMarkerPath(finalPaths.front());
    const std::string folder = FolderOf(markerPath);

    // Written whole under its own temporary name and linked in, never over
    // anything; held until the swap is done, which tells it from a leftover.
    TTemporaryFile marker(markerPath, token);
    const std::string text = EncodeMarker(token, finalPaths);
    marker.Stream().Write(text.data(), text.size());
    marker.Stream().Flush();
    marker.LinkFinal();
    // From here on the change is made. Where the folder cannot be put on disk
    // the order of the marker and the renames is not sure to survive a power
    // cut, which is told.
    std::vector<std::string> warnings;
    const auto syncFolder = [&] {
        try {
            SyncFolder(folder);
        } catch (const EFileError& error) {
            const std::string warning = "the folder could not be synced (" + error.Reason() + ")";
            if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end())
                warnings.push_back(warning);
        }
    };
    syncFolder();

    bool placed = true;
    for (TTemporaryFile* file : files) {
        try {
            file->ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
        } catch (const EFileError& error) {
            file->KeepTemporaryName();
            placed = false;
            warnings.push_back(std::string(FileNameOf(file->FinalPath())) +
                               " could not be put in place (" + error.Reason() +
                               "); it is put there when the archive is next opened");
        }
    }
    // The marker goes once the renames are on disk (where the folder can be
    // put there): until then a power cut could take back one and not the other.
    if (!placed)
        return warnings;
    syncFolder();
    try {
        RemoveFile(markerPath);
    } catch (const EFileError& error) {
        warnings.push_back("a marker file could not be removed (" + error.Reason() +
                           "); the next opening removes it");
    }
    return warnings;
}

std::vector<std::string> SettleSwap(std::span<const std::string> finalPaths, TSwapAccess access) {
    std::vector<std::string> paths(finalPaths.begin(), finalPaths.end());
    const std::string markerPath = SwapMarkerPath(finalPaths.front());
    const std::string folder = FolderOf(markerPath);
    const auto removeLeftovers = [&] {
        if (access != TSwapAccess::Finish)
            return;
        std::vector<std::string> names;
        for (const std::string& path : paths)
            names.emplace_back(FileNameOf(path));
        names.emplace_back(FileNameOf(markerPath));
        try {
            RemoveStaleTemporaries(folder, names);
        } catch (const Exception&) {
            // Left for the next writer here: leftovers stand in nobody's way.
        }
    };

    std::optional<FoundSwap> found;
    if (PathKind(markerPath) == TPathKind::File) {
        found = FindSwap(markerPath, finalPaths, access);
        // A swap of the first file alone (an archive in one file).
        if (!found && finalPaths.size() > 1)
            found = FindSwap(markerPath, finalPaths.first(1), access);
    }
    if (!found) {
        removeLeftovers();
        return paths;
    }
    for (size_t i = 0; i < found->parts.size(); ++i) {
        if (!found->parts[i])
            continue;
        if (access == TSwapAccess::ReadOnly)
            paths[i] = found->temporaries[i];
        else
            RenameFile(found->temporaries[i], paths[i]);
    }
    if (access == TSwapAccess::ReadOnly)
        return paths;
    try {
        SyncFolder(folder); // the renames before the marker goes, where it can be
    } catch (const EFileError&) {
    }
    RemoveFile(markerPath);
    // Let go first: the marker's own temporary name may still stand on it.
    found.reset();
    removeLeftovers();
    return paths;
}

std::set<std::string> MarkedTokens(const std::string& folder) {
    std::set<std::string> tokens;
    for (const std::string& name : FolderNames(folder)) {
        const std::string path = JoinPath(folder, name);
        if (!name.starts_with('.') || !name.ends_with(Suffix) || PathKind(path) != TPathKind::File)
            continue;
        std::optional<FileStream> marker;
        try {
            marker = FileStream::OpenReadShared(path);
        } catch (const EFileError& error) {
            if (error.SystemError() == EWOULDBLOCK)
                throw;
            continue; // one that cannot be read is no marker of ours
        }
        if (const std::optional<std::string> token = TokenOf(ReadMarker(*marker)))
            tokens.insert(*token);
    }
    return tokens;
}
