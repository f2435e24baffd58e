// A file written under a temporary name beside its final path, then put in
// place, so that the final name shows either what was there before or the
// whole new file - never a part of it, whatever fails or kills the writer.
//
// The temporary name is ".<final name>.pelkon-tmp-<token>", where the token
// is the writer's process number and a random part: it cannot be guessed, is
// created exclusively and never through a link, and is held for its whole
// life. That hold is how a leftover of a killed writer is told from a file
// being written: nobody holds a leftover.
#pragma once

#include "platform/FileStream.h"

#include <string>
#include <vector>

// A fresh "<pid>-<random>" token.
std::string NewTemporaryToken();

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
    // there is replaced (EOSError with EEXIST). Throws EOSError.
    void LinkFinal();
    // Removes the temporary name once the file has its final one.
    void RemoveTemporaryName();

private:
    std::string finalPath_;
    std::string path_;
    FileStream stream_;
    bool named_ = true; // the temporary name still stands
};

// Removes the temporary files in `folder` left by writers that are gone
// (nobody holds them) and that belong to this user. Where such a writer had
// given only some of its files their final names (a pair linked into place
// one file at a time), those final names are removed too, so the pair is
// either wholly there or not at all. Returns how many files it removed.
// Throws EOSError.
size_t RemoveStaleTemporaries(const std::string& folder);
// The same before a writer starts in `folder`: leftovers stand in nobody's
// way, so a failure is left for the next writer there.
void RemoveStaleTemporariesQuietly(const std::string& folder) noexcept;
