// The engine's only door to the file system. Win32 (UTF-16, \\?\ paths) and
// POSIX (UTF-8 paths, for the native build) implement the same small set of
// operations; everything above this header is portable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

#if defined(_WIN32)
using PathChar = wchar_t;
constexpr PathChar kSeparator = L'\\';
constexpr bool kNamesIgnoreCase = true;  // names that differ in case only are one name
#else
using PathChar = char;
constexpr PathChar kSeparator = '/';
constexpr bool kNamesIgnoreCase = false;
#endif
using Path = std::basic_string<PathChar>;

// What a failed operation tells the caller; the messages turn it into text.
enum class ErrorKind { None, NotFound, AccessDenied, SharingViolation, DiskFull, CrossDevice, Other };

struct Error {
    ErrorKind kind = ErrorKind::None;
    unsigned long code = 0;  // GetLastError() or errno
};

// Attribute bits as the FAT file system and the ZIP external attributes use them.
enum : std::uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};

struct FileInfo {
    Path name;                  // last component only
    std::uint32_t attributes = 0;
    bool isDirectory = false;
    bool isLink = false;        // symbolic link, junction or mount point (not other reparse points)
    bool isDevice = false;      // device, pipe or socket: neither file nor folder
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
};

// An open file. Reads and writes go straight to the system; callers buffer.
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Opens an existing file for reading, sharing it with other readers.
    bool OpenRead(const Path& path, Error& error);
    // Opens a file to archive: shared with readers, writers and deleters, so
    // that a file another program keeps open (a log being written) can be
    // read; the caller checks with Modified that it did not change meanwhile.
    // A link is opened as itself, never followed. status gets the size and
    // modification time of the open file itself: what a folder listing shows
    // may be stale for a file with several names.
    bool OpenInput(const Path& path, FileInfo& status, Error& error);
    // Creates a new file that must not exist yet, for reading and writing.
    bool CreateNew(const Path& path, Error& error);
    // Creates a new file that goes when it is closed or the process ends.
    bool CreateScratch(const Path& path, Error& error);

    bool IsOpen() const;
    // Reads up to size bytes; fewer only at the end of the file.
    bool Read(void* buffer, std::size_t size, std::size_t& got, Error& error);
    bool Write(const void* data, std::size_t size, Error& error);
    bool Seek(std::uint64_t offset, Error& error);
    bool Truncate(Error& error);  // cuts the file at the current position
    bool Flush(Error& error);     // to the disk, not only to the system
    bool Size(std::uint64_t& size, Error& error);
    // Modification time of the open file itself.
    bool Modified(std::int64_t& modified, Error& error);
    void Close();

private:
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Turns the request's root directory (UTF-8, either separator) into an
// absolute path ending without separator; false when it cannot be resolved.
bool ResolveRoot(const std::string& utf8, Path& root);
// Absolute form of a file path given in UTF-8.
bool ResolveFile(const std::string& utf8, Path& path);
Path Join(const Path& dir, const Path& name);
Path Parent(const Path& path);
bool SamePath(const Path& a, const Path& b);

// The status of the file itself, not as its folder lists it.
bool Stat(const Path& path, FileInfo& info, Error& error);
// Hands each entry of dir to onEntry, in the order the system gives them.
bool ListDirectory(const Path& dir, const std::function<void(FileInfo&&)>& onEntry, Error& error);
// Atomic where the system allows; an existing file at to keeps what belongs
// to it rather than to its content (on Windows: attributes, ACL, creation
// time, alternate data streams).
bool MoveReplacing(const Path& from, const Path& to, Error& error);
bool RemoveFile(const Path& path, Error& error);
bool RemoveEmptyDirectory(const Path& path);
bool SetModified(const Path& path, std::int64_t modified, Error& error);
// The 8.3 name of the last component, or the name itself when it has none.
Path ShortName(const Path& path);
// Volume label of the drive that holds path, UTF-8; empty when there is none.
std::string VolumeLabel(const Path& path);

std::string ToUtf8(const Path& path);
Path FromUtf8(const std::string& utf8);

// Overwrites memory that held a secret so the compiler cannot drop it.
void Wipe(void* data, std::size_t size);

}  // namespace platform
