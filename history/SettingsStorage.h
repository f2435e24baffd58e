// The settings file's bytes on disk, through the file layer: read whole or not
// at all, and written beside the file and renamed over it, so that a failure
// part-way leaves the old file as it was.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>

struct TStoredSettings {
    enum class TState {
        Missing,    // nothing there, or a path through a file: nothing to keep
        Read,       // Bytes holds the whole file
        TooLarge,   // more than the most asked for
        Unreadable, // a folder, a device, a file held or failing to read
    };
    TState State = TState::Missing;
    QByteArray Bytes;
};

// The file's bytes, if it holds at most `most`. Never waits on a FIFO or a
// device standing at the path.
TStoredSettings ReadStoredSettings(const std::string& path, qsizetype most);

// Puts `bytes` in the file, making its folders first (for this user alone).
// A link at the path is kept and the file it leads to rewritten in place, as
// is the file when its folder lets no other file be made. Throws EFileError.
void WriteStoredSettings(const std::string& path, QByteArrayView bytes);
