// Byte streams on files. With the folder operations of FileSystem.h, this is
// the only place that calls the system's file API; every call passes the
// fault seam (FaultInjection.h).
//
// Positions and lengths are 64-bit. Files opened with OpenHeld/CreateHeld/
// CreateNew are held exclusively (flock) for the stream's life, so any other
// open of the same file through this layer - from this process or another -
// fails until the stream is closed; OpenReadShared takes a shared hold, which
// other readers may share but a holder excludes. Failures throw the
// exceptions of Errors.h, carrying the file's path and the system's reason.
//
// Windows holds with share modes instead of flock (FileStreamWin32.cpp):
// there a hold also keeps out programs that do not use this layer, such as
// the games, which open their archives for reading and share only reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the system says of an open file.
struct TFileInfo {
    uint64_t length = 0;
    uint32_t mode = 0; // permission bits
    uint32_t owner = 0;
    uint32_t group = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t links = 0; // names the file has

    bool SameFile(const TFileInfo& other) const {
        return device == other.device && inode == other.inode;
    }
    // Whether the file belongs to the user this program runs as.
    bool OwnedByThisUser() const;
};

class FileStream {
public:
    // Opens an existing regular file for reading and writing, held exclusively.
    // Throws EFOpenError.
    static FileStream OpenHeld(const std::string& path);
    // Whether a symbolic link standing at the path is followed.
    enum class Links { Follow, Refuse };
    // Creates a file (or empties an existing one) for reading and writing, held
    // exclusively. A file held by someone else is left untouched. With
    // Links::Refuse a link at the path fails the create, dangling or not.
    // Throws EFCreateError.
    static FileStream CreateHeld(const std::string& path, Links links = Links::Follow);
    // Creates a file that must not exist yet, for reading and writing, held
    // exclusively; never through a link. The file is held before it has its
    // name: it is made without one, held, and then linked in at the path. Where
    // the file system cannot make a file without a name, it is created under
    // the name and held at once, and the name is removed again when that
    // fails. Throws EFCreateError (with EEXIST when anything stands at the path).
    static FileStream CreateNew(const std::string& path);
    // Opens an existing regular file for reading only, held shared: other
    // readers may hold it too, a writer's exclusive hold keeps it out.
    // Throws EFOpenError.
    static FileStream OpenReadShared(const std::string& path);
    // Opens the regular file standing at the path (a link is not followed) for
    // reading and writing and holds it exclusively, if nobody else holds it.
    // Nothing when the path is missing, is no regular file, cannot be opened
    // for writing (`why` gets the system's error) or is held (EWOULDBLOCK).
    static std::optional<FileStream> TryHold(const std::string& path, int* why = nullptr);

    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream(); // closes, ignoring errors: call Close() to see them

    const std::string& Path() const { return path_; }
    // The open file now goes by `path` (it was renamed); the hold stays.
    void Renamed(std::string path) { path_ = std::move(path); }
    bool IsOpen() const { return fd_ >= 0; }

    // Throws EOSError.
    TFileInfo Info() const;
    uint64_t Length() const { return Info().length; }
    uint64_t Position() const { return pos_; }
    void Seek(uint64_t position) { pos_ = position; }
    void SeekToEnd() { pos_ = Length(); }

    // Reads up to `count` bytes at the position; fewer only at the end of the file.
    // Throws EReadError.
    size_t Read(void* buffer, size_t count);
    // Reads exactly `count` bytes or throws EReadError.
    void ReadExact(void* buffer, size_t count);
    // Writes all `count` bytes (short writes are continued) or throws EWriteError.
    void Write(const void* buffer, size_t count);
    // Cuts or extends the file. Throws EOSError.
    void SetLength(uint64_t length);
    // Grows the file to `length` with its space reserved on disk, so that a full
    // disk fails here rather than half-way through a later write. The file keeps
    // its old length when this fails. Throws EOSError.
    void Reserve(uint64_t length);
    // Copies `count` bytes from `source`'s position to this stream's position,
    // advancing both, without holding them in memory whole. Throws EReadError when
    // `source` ends early and EWriteError when this file cannot take the bytes.
    void CopyFrom(FileStream& source, uint64_t count);
    // Gives the file the permission bits, owner and group of `info`. Throws
    // EOSError (EPERM when the system does not let this user give the file
    // that owner or group).
    void CopyAttributesFrom(const TFileInfo& info);
    // Puts the file's data on disk (fsync). Throws EOSError.
    void Flush();
    // For long sequential writes: starts putting the bytes before `end` on
    // disk and waits for those before `doneBefore` (started by an earlier
    // call), so the disk keeps busy while the writer goes on and the unwritten
    // data stays within the last stretch - a Flush at the end, or a stop,
    // never waits on a gibibyte. Where the system cannot start write-back
    // without waiting for it (Windows), this is Flush. Throws EOSError.
    void WriteBehind(uint64_t doneBefore, uint64_t end);
    // Closes the file. Throws EOSError when the system reports a failure.
    void Close();
    // Closes a file whose names are gone, without waiting while the system
    // frees its blocks: a large one is closed on a thread of its own (for a
    // gibibyte that takes hundreds of milliseconds a cancelled command should
    // not keep the window waiting). Nothing is told: nothing is left to lose.
    void Abandon();

private:
    FileStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
#ifdef _WIN32
    // Windows (FileStreamWin32.cpp): a stream on an opened handle, known to the
    // holds a rename over its file releases (TReleasedHolds).
    friend class TReleasedHolds;
    static FileStream Opened(void* handle, const std::string& path, unsigned long access,
                             unsigned long share);
#else
    // CreateNew where the file system makes no nameless files.
    static FileStream CreateNamed(const std::string& path);
#endif
    void CopyThroughBuffer(FileStream& source, uint64_t count);
    // One read or write at `offset` of at most `count` bytes, by the system's
    // own call (interruptions retried): how many it took, 0 at the end of the
    // file. Read and Write loop over these with the fault seam.
    size_t ReadSomeAt(uint64_t offset, char* buffer, size_t count);
    size_t WriteSomeAt(uint64_t offset, const char* buffer, size_t count);

    // The file descriptor; on Windows the file's handle, which Windows keeps
    // within 32 bits (HandleToLong), INVALID_HANDLE_VALUE being -1.
    int fd_ = -1;
    uint64_t pos_ = 0;
    std::string path_;
};
