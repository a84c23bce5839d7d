// Win32 file access: UTF-16 paths in the \\?\ form so that paths longer
// than 260 characters work; links (symbolic links, junctions, mount points)
// are reported, never followed.
#include "platform.h"

#include "fault_injection.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

constexpr std::int64_t kUnixEpochIn100ns = 116444736000000000LL;

Error FromCode(DWORD code) {
    Error error;
    error.code = code;
    switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME:
        error.kind = ErrorKind::NotFound; break;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT:
        error.kind = ErrorKind::AccessDenied; break;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        error.kind = ErrorKind::SharingViolation; break;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL:
        error.kind = ErrorKind::DiskFull; break;
    case ERROR_NOT_SAME_DEVICE:
        error.kind = ErrorKind::CrossDevice; break;
    default:
        error.kind = ErrorKind::Other; break;
    }
    return error;
}

bool Fail(Error& error, DWORD code) {
    error = FromCode(code);
    return false;
}

bool FailLast(Error& error) { return Fail(error, GetLastError()); }

std::int64_t ToUnix(std::int64_t windowsTime) { return (windowsTime - kUnixEpochIn100ns) / 10000000; }

std::int64_t ToUnix(const FILETIME& ft) {
    return ToUnix((static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// Only name surrogates (symbolic links, junctions, mount points) name
// another file; other reparse points (compressed system files, deduplicated
// files, cloud placeholders) are files and folders with data of their own.
bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag);
}

FileInfo MakeInfo(DWORD attributes, DWORD reparseTag, DWORD sizeHigh, DWORD sizeLow, const FILETIME& modified) {
    FileInfo info;
    info.attributes = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
    info.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.isLink = IsLink(attributes, reparseTag);
    info.isDevice = (attributes & FILE_ATTRIBUTE_DEVICE) != 0;
    info.size = info.isDirectory ? 0 : (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    info.modified = ToUnix(modified);
    return info;
}

FileInfo FromFindData(const WIN32_FIND_DATAW& fd) {
    // The listing gives the reparse tag in dwReserved0.
    FileInfo info = MakeInfo(fd.dwFileAttributes, fd.dwReserved0, fd.nFileSizeHigh, fd.nFileSizeLow,
                             fd.ftLastWriteTime);
    info.name = fd.cFileName;
    return info;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct FindHandle {
    HANDLE h;
    explicit FindHandle(HANDLE handle) : h(handle) {}
    ~FindHandle() { if (h != INVALID_HANDLE_VALUE) FindClose(h); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The components of rest, each behind a separator, with "." and empty ones
// dropped and ".." taking the one before it away; names stay exactly as
// written (the \\?\ form keeps trailing dots and spaces).
std::wstring Collapse(const std::wstring& rest) {
    std::vector<std::wstring> parts;
    for (std::size_t at = 0; at <= rest.size();) {
        std::size_t end = std::min(rest.find(L'\\', at), rest.size());
        std::wstring part = rest.substr(at, end - at);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::wstring out;
    for (const std::wstring& part : parts) out += L'\\' + part;
    return out.empty() ? L"\\" : out;
}

// A path in the \\?\ or device (\\.\) form: on a drive or a share it is
// normalised as the path it names; on a volume or device named otherwise it
// stays as it is.
std::wstring FromPrefixed(const std::wstring& path) {
    std::wstring body = path.substr(4);
    std::size_t rootEnd = std::wstring::npos;
    if (StartsWith(body, L"UNC\\")) {
        std::size_t server = body.find(L'\\', 4);
        rootEnd = server == std::wstring::npos ? body.size() : std::min(body.find(L'\\', server + 1), body.size());
    } else if (body.size() >= 2 && body[1] == L':') {
        rootEnd = 2;
    }
    if (rootEnd == std::wstring::npos) return L"\\\\?\\" + body;
    return L"\\\\?\\" + body.substr(0, rootEnd) + Collapse(body.substr(rootEnd));
}

// Absolute \\?\ form of any path the system accepts.
bool Absolute(const std::wstring& input, std::wstring& out) {
    std::wstring path = input;
    for (auto& c : path) if (c == L'/') c = L'\\';
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) {
        out = FromPrefixed(path);
        return true;
    }
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return false;
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return false;
    full.resize(got);
    if (full.rfind(L"\\\\", 0) == 0) out = L"\\\\?\\UNC\\" + full.substr(2);
    else out = L"\\\\?\\" + full;
    return true;
}

}  // namespace

File::~File() { Close(); }
File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool File::OpenRead(const Path& path, Error& error) {
    Close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailLast(error);
    handle_ = h;
    return true;
}

namespace {

// An input shared with other programs; null when it cannot be opened.
HANDLE OpenShared(const Path& path, DWORD flags) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

// Under Wine each question to an open file is a system call or two (about a
// microsecond here, no server round trip), so an input is asked only what it
// must be: attributes and time in one call, the reparse tag only of a
// reparse point, the size once.
bool File::OpenInput(const Path& path, FileInfo& status, Error& error) {
    Close();
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    handle_ = OpenShared(path, flags | FILE_FLAG_OPEN_REPARSE_POINT);
    FILE_BASIC_INFO basic;
    bool asked = handle_ && GetFileInformationByHandleEx(handle_, FileBasicInfo, &basic, sizeof basic);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (asked && (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        GetFileInformationByHandleEx(handle_, FileAttributeTagInfo, &tag, sizeof tag) &&
        !IsLink(tag.FileAttributes, tag.ReparseTag)) {
        // Not a link: the file's data is reached through its reparse point.
        Close();
        handle_ = OpenShared(path, flags);
        asked = handle_ && GetFileInformationByHandleEx(handle_, FileBasicInfo, &basic, sizeof basic);
    }
    LARGE_INTEGER size;
    if (!asked || !GetFileSizeEx(handle_, &size)) {
        FailLast(error);
        Close();
        return false;
    }
    status.size = static_cast<std::uint64_t>(size.QuadPart);
    status.modified = ToUnix(basic.LastWriteTime.QuadPart);
    return true;
}

bool File::CreateNew(const Path& path, Error& error) {
    Close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailLast(error);
    handle_ = h;
    return true;
}

bool File::CreateScratch(const Path& path, Error& error) {
    Close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailLast(error);
    handle_ = h;
    return true;
}

bool File::IsOpen() const { return handle_ != nullptr; }

bool File::Read(void* buffer, std::size_t size, std::size_t& got, Error& error) {
    got = 0;
    if (FaultNow(FaultOp::Read)) return Fail(error, ERROR_READ_FAULT);
    while (got < size) {
        DWORD chunk = static_cast<DWORD>(size - got > (1u << 30) ? (1u << 30) : size - got);
        DWORD n = 0;
        if (!ReadFile(handle_, static_cast<char*>(buffer) + got, chunk, &n, nullptr)) return FailLast(error);
        got += n;
        if (n < chunk) break;  // a disk file reads short only at its end
    }
    return true;
}

bool File::Write(const void* data, std::size_t size, Error& error) {
    if (FaultNow(FaultOp::Write)) return Fail(error, ERROR_WRITE_FAULT);
    std::size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(size - done > (1u << 30) ? (1u << 30) : size - done);
        DWORD n = 0;
        if (!WriteFile(handle_, static_cast<const char*>(data) + done, chunk, &n, nullptr)) return FailLast(error);
        done += n;
    }
    return true;
}

bool File::Seek(std::uint64_t offset, Error& error) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_, li, nullptr, FILE_BEGIN) || FailLast(error);
}

bool File::Truncate(Error& error) { return SetEndOfFile(handle_) || FailLast(error); }

bool File::Flush(Error& error) {
    if (FaultNow(FaultOp::Flush)) return Fail(error, ERROR_WRITE_FAULT);
    return FlushFileBuffers(handle_) || FailLast(error);
}

bool File::Size(std::uint64_t& size, Error& error) {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(handle_, &li)) return FailLast(error);
    size = static_cast<std::uint64_t>(li.QuadPart);
    return true;
}

bool File::Modified(std::int64_t& modified, Error& error) {
    FILETIME time;
    if (!GetFileTime(handle_, nullptr, nullptr, &time)) return FailLast(error);
    modified = ToUnix(time);
    return true;
}

void File::Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

bool ResolveRoot(const std::string& utf8, Path& root) {
    if (utf8.empty()) return false;
    if (!Absolute(FromUtf8(utf8), root)) return false;
    // Keep "\\?\C:\" whole; drop the separator behind any deeper folder.
    while (root.size() > 7 && root.back() == L'\\') root.pop_back();
    if (root.size() == 6 && root[5] == L':') root += L'\\';
    DWORD attributes = GetFileAttributesW(root.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ResolveFile(const std::string& utf8, Path& path) {
    return !utf8.empty() && Absolute(FromUtf8(utf8), path);
}

Path Join(const Path& dir, const Path& name) {
    if (dir.empty()) return name;
    return dir.back() == L'\\' ? dir + name : dir + L'\\' + name;
}

Path Parent(const Path& path) {
    auto slash = path.find_last_of(L'\\');
    if (slash == Path::npos) return Path();
    Path parent = path.substr(0, slash);
    if (parent.size() == 6 && parent[5] == L':') parent += L'\\';  // \\?\C:
    return parent;
}

bool SamePath(const Path& a, const Path& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool Stat(const Path& path, FileInfo& info, Error& error) {
    // From the file itself (one call, no handle kept), not from its folder's
    // listing; a reparse point's tag only the listing gives.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        info = MakeInfo(data.dwFileAttributes, 0, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
        info.name = path.substr(path.find_last_of(L'\\') + 1);
        return true;
    }
    WIN32_FIND_DATAW fd;
    FindHandle find(FindFirstFileExW(path.c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch, nullptr, 0));
    if (find.h == INVALID_HANDLE_VALUE) return FailLast(error);
    info = FromFindData(fd);
    return true;
}

bool ListDirectory(const Path& dir, const std::function<void(FileInfo&&)>& onEntry, Error& error) {
    WIN32_FIND_DATAW fd;
    FindHandle find(FindFirstFileExW(Join(dir, L"*").c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch,
                                     nullptr, 0));
    if (find.h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || Fail(error, code);
    }
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        onEntry(FromFindData(fd));
    } while (FindNextFileW(find.h, &fd));
    DWORD code = GetLastError();
    return code == ERROR_NO_MORE_FILES || Fail(error, code);
}

namespace {

// Puts from in the place of an existing file to as the system replaces a
// file, so that to keeps what belongs to it rather than to its content:
// hidden and system attributes, ACL, creation time, alternate data streams
// (the download mark among them). The old file goes through a backup name,
// so that where the replacement stops half-way (the old file renamed, the
// new one not) the old file is put back; false then, and whenever nothing
// was replaced, with both files under their own names.
bool ReplaceKeepingIdentity(const Path& from, const Path& to, DWORD before) {
    if (before == INVALID_FILE_ATTRIBUTES) return false;  // nothing to keep
    const Path backup = from + L".old";
    if (ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
        DeleteFileW(backup.c_str());
        return true;
    }
    if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES)
        MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    return false;
}

// The hidden and system attributes the replaced file had, where the
// replacement did not carry them over (a rename does not).
void KeepHiddenAndSystem(const Path& to, DWORD before) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (before == INVALID_FILE_ATTRIBUTES || !(before & kKept)) return;
    DWORD now = GetFileAttributesW(to.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (before & kKept))
        SetFileAttributesW(to.c_str(), (now & ~FILE_ATTRIBUTE_NORMAL) | (before & kKept));
}

}  // namespace

bool MoveReplacing(const Path& from, const Path& to, Error& error) {
    if (FaultNow(FaultOp::Rename)) return Fail(error, ERROR_WRITE_FAULT);
    const DWORD before = GetFileAttributesW(to.c_str());
    if (!ReplaceKeepingIdentity(from, to, before) &&
        !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return FailLast(error);
    KeepHiddenAndSystem(to, before);
    return true;
}

bool RemoveFile(const Path& path, Error& error) {
    if (FaultNow(FaultOp::Delete)) return Fail(error, ERROR_WRITE_FAULT);
    return DeleteFileW(path.c_str()) || FailLast(error);
}

bool RemoveEmptyDirectory(const Path& path) { return RemoveDirectoryW(path.c_str()) != 0; }

bool SetModified(const Path& path, std::int64_t modified, Error& error) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailLast(error);
    std::int64_t t = modified * 10000000 + kUnixEpochIn100ns;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    bool ok = SetFileTime(h, nullptr, nullptr, &ft) != 0;
    if (!ok) error = FromCode(GetLastError());
    CloseHandle(h);
    return ok;
}

Path ShortName(const Path& path) {
    WIN32_FIND_DATAW fd;
    FindHandle find(FindFirstFileExW(path.c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch, nullptr, 0));
    auto slash = path.find_last_of(L'\\');
    Path name = slash == Path::npos ? path : path.substr(slash + 1);
    if (find.h == INVALID_HANDLE_VALUE || fd.cAlternateFileName[0] == L'\0') return name;
    return fd.cAlternateFileName;
}

std::string VolumeLabel(const Path& path) {
    // The root of the drive: "\\?\C:\" or "\\?\UNC\server\share\".
    Path root;
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        auto server = path.find(L'\\', 8);
        auto share = server == Path::npos ? Path::npos : path.find(L'\\', server + 1);
        root = (share == Path::npos ? path : path.substr(0, share)) + L'\\';
    } else {
        root = path.substr(0, 7);
    }
    wchar_t label[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        return std::string();
    return ToUtf8(label);
}

std::string ToUtf8(const Path& path) {
    if (path.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), n, nullptr, nullptr);
    return out;
}

Path FromUtf8(const std::string& utf8) {
    if (utf8.empty()) return Path();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    Path out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

void Wipe(void* data, std::size_t size) { SecureZeroMemory(data, size); }

}  // namespace platform
