// A file written under a temporary name beside its final path, then put in
// place, so that the final name shows either what was there before or the
// whole new file - never a part of it, whatever fails or kills the writer.
//
// The temporary name is ".<final name>.pelkon-tmp-<token>", where the token
// is the writer's process number and a random part: it cannot be guessed, is
// created exclusively and never through a link, and the file is held from
// before it has the name until the writer is done. That hold is how a
// leftover of a killed writer is told from a file being written: nobody holds
// a leftover.
#pragma once

#include "platform/FileStream.h"

#include <optional>
#include <span>
#include <string>

// A fresh "<pid>-<random>" token.
std::string NewTemporaryToken();
// The temporary name of `finalPath` for `token`, in the same folder.
std::string TemporaryPathFor(const std::string& finalPath, const std::string& token);

class TTemporaryFile {
public:
    // Creates the temporary file for `finalPath`; a token may be shared by the
    // files of one operation. Throws EFCreateError of the final path.
    explicit TTemporaryFile(std::string finalPath, const std::string& token = NewTemporaryToken());
    ~TTemporaryFile(); // removes the temporary name if it is still there
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    // The file's stream; its failures name the final path.
    FileStream& Stream() { return stream_; }
    const std::string& FinalPath() const { return finalPath_; }

    // What ReplaceFinal may replace.
    enum class Replacing {
        AnyFile,         // the caller holds the file at the final path itself
        UnheldFilesOnly, // not a link, a folder or a file someone holds
    };
    // Renames the file over its final path. With UnheldFilesOnly, a link, a
    // folder or a file held by anyone (or not writable) standing there is
    // refused with EFCreateError of the final path. Throws EOSError.
    void ReplaceFinal(Replacing replacing);
    // Gives the file its final name beside the temporary one; nothing standing
    // there is replaced (EOSError with EEXIST). Files that share a token are
    // linked only once all of them are complete and on disk: a writer killed
    // between its links is finished by the next sweep of the folder, which
    // links the rest. Throws EOSError.
    void LinkFinal();
    // Removes the temporary name once the file has its final one.
    void RemoveTemporaryName();
    // The temporary name stays when this is destroyed, and the stream goes by
    // it: a swap marker names the file there (FileSwap.h).
    void KeepTemporaryName();

private:
    std::string finalPath_;
    std::string path_;
    FileStream stream_;
    bool named_ = true; // the temporary name still stands
};

// The file at a final name given a temporary name too while a new file is
// renamed over it, so that it can be put back when what follows fails. The
// temporary name goes when this is destroyed; a writer killed meanwhile leaves
// it to the sweep of leftovers, which removes only that name.
class TSetAside {
public:
    // Throws EOSError.
    explicit TSetAside(std::string finalPath);
    ~TSetAside();
    TSetAside(const TSetAside&) = delete;
    TSetAside& operator=(const TSetAside&) = delete;
    // Renames the file back over its final name. Throws EOSError.
    void Restore();

private:
    std::string finalPath_;
    std::string path_;
    bool named_ = true;
};

// What stands at `path`, held exclusively so that a file can be renamed over
// it; nothing when the path is free. A link, a folder, another kind of file,
// and a file held by anyone or that cannot be written are refused with
// EFCreateError of the path.
std::optional<FileStream> HoldForReplacing(const std::string& path);

// Removes, in `folder`, the temporary files of this user's writers that are
// gone, and nothing else: a temporary name on a regular file (not a link),
// held by nobody, whose writer's process is not running (unless it is this
// one), with no other name than its final one, if that, and of a token that
// no swap marker in the folder names (FileSwap.h): those are the swap's to
// finish. A final name is never removed. Where a writer had linked only some
// of its files into place (LinkFinal), the others are linked too, so the pair
// is whole; where such a name was taken meanwhile, only the temporary name
// goes. Returns how many temporary names it removed. Throws EOSError. With
// `finalNames`, only temporary files meant for those names are looked at.
size_t RemoveStaleTemporaries(const std::string& folder,
                              std::span<const std::string> finalNames = {});
// The same before a writer starts in `folder`: leftovers stand in nobody's
// way, so a failure is left for the next writer there.
void RemoveStaleTemporariesQuietly(const std::string& folder) noexcept;
