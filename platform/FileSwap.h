// New files put in place of old ones as one change: after a failure or a kill
// at any point, whoever opens the files next finds all the old ones or all
// the new ones, never some of each.
//
// Two renames are not atomic. So the new files are first written whole and
// put on disk under their temporary names (TTemporaryFile, one token for all
// of them); then a marker is put beside the first final path,
// "<folder>/.<first name>.pelkon-swap", and on disk, naming the token and the
// final names, with a checksum. From the moment it stands the new files win:
// they are renamed over their final names, the folder is put on disk and the
// marker is removed. Whoever opens the files next and finds a marker
// (SettleSwap) finishes the renames before anything else; an opening that only
// reads, and may change nothing, reads the new files where they stand.
//
// A marker is acted on only when it is whole and this program's: a regular
// file of this user (or, to be read only, of the owner of the first final
// file) whose text is exactly what SwapIntoPlace writes for these final
// names; and each file it names that still has its temporary name must be a
// regular file of the marker's owner with no other name. Anything else - a
// marker planted by someone else, a link or a folder in a file's place - is
// left alone: no file is renamed or removed for it. A marker or a named file
// that someone holds is a swap whose writer still runs: the opening is refused
// as in use. The sweep of leftovers (RemoveStaleTemporaries) leaves the files
// of a standing marker to it.
#pragma once

#include "platform/TemporaryFile.h"

#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

// The marker's path for a swap whose first file's final path is `path`.
std::string SwapMarkerPath(const std::string& path);

// Puts `files` - complete, on disk, all made with `token` - in place of their
// final paths as one change. Failures before the marker stands are thrown,
// with every final file as it was (the temporary files go with their owners;
// a marker standing there already is refused with EEXIST). Once it stands the
// change is made, and what fails afterwards is returned, a warning each: a
// file that could not be renamed keeps its temporary name, which its stream
// then goes by, and the next opening puts it in place.
std::vector<std::string> SwapIntoPlace(std::span<TTemporaryFile* const> files,
                                       const std::string& token);

// How an opening settles a swap it finds.
enum class TSwapAccess {
    Finish,   // a writer: finishes it, then removes leftovers meant for the files
    ReadOnly, // changes nothing: reads the new files where they stand
};
// Settles, before the files at `finalPaths` are opened, a swap of them - or
// of the first of them alone - that was stopped once it was made. Returns where each file is to be
// opened: its final path, or with ReadOnly the temporary name a new file still has. Finish also
// removes the leftovers of gone writers of these names (quietly). Throws EFOpenError of the first
// final path ("in use by another program") while the swap's writer runs, and the file layer's
// exceptions.
std::vector<std::string> SettleSwap(std::span<const std::string> finalPaths, TSwapAccess access);

// The tokens that the markers standing in `folder` name, of whoever they are
// (owners are not asked): the sweep of leftovers leaves those files alone.
// Throws EFOpenError while someone holds a marker, and EOSError, EReadError.
std::set<std::string> MarkedTokens(const std::string& folder);
