// POSIX file access for the native build: paths are UTF-8 bytes, links are
// never followed, there are no short names and no volume labels.
#include "platform.h"

#include "fault_injection.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace platform {
namespace {

Error FromErrno(int e) {
    Error error;
    error.code = static_cast<unsigned long>(e);
    switch (e) {
    case ENOENT: case ENOTDIR: error.kind = ErrorKind::NotFound; break;
    case EACCES: case EPERM: case EROFS: error.kind = ErrorKind::AccessDenied; break;
    case EBUSY: case ETXTBSY: error.kind = ErrorKind::SharingViolation; break;
    case ENOSPC: case EDQUOT: error.kind = ErrorKind::DiskFull; break;
    case EXDEV: error.kind = ErrorKind::CrossDevice; break;
    default: error.kind = ErrorKind::Other; break;
    }
    return error;
}

bool Fail(Error& error, int e) {
    error = FromErrno(e);
    return false;
}

FileInfo FromStat(const struct stat& st) {
    FileInfo info;
    info.isLink = S_ISLNK(st.st_mode);
    info.isDirectory = S_ISDIR(st.st_mode);
    info.isDevice = !info.isLink && !info.isDirectory && !S_ISREG(st.st_mode);
    info.size = info.isDirectory || info.isLink ? 0 : static_cast<std::uint64_t>(st.st_size);
    info.modified = static_cast<std::int64_t>(st.st_mtime);
    info.attributes = info.isDirectory ? kAttrDirectory : kAttrArchive;
    if (!(st.st_mode & S_IWUSR)) info.attributes |= kAttrReadOnly;
    return info;
}

}  // namespace

File::~File() { Close(); }
File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::OpenRead(const Path& path, Error& error) {
    Close();
    if (LockedNow(FaultOp::Open)) return Fail(error, EBUSY);
    fd_ = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    return fd_ >= 0 || Fail(error, errno);
}

bool File::OpenInput(const Path& path, FileInfo& status, Error& error) {
    if (!OpenRead(path, error)) return false;
    struct stat st;
    if (fstat(fd_, &st) == 0) {
        status = FromStat(st);
        return true;
    }
    Fail(error, errno);
    Close();
    return false;
}

bool File::CreateNew(const Path& path, Error& error) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd_ >= 0 || Fail(error, errno);
}

bool File::CreateScratch(const Path& path, Error& error) {
    if (!CreateNew(path, error)) return false;
    if (unlink(path.c_str()) == 0) return true;
    Fail(error, errno);
    Close();
    return false;
}

bool File::IsOpen() const { return fd_ >= 0; }

bool File::Read(void* buffer, std::size_t size, std::size_t& got, Error& error) {
    got = 0;
    if (FaultNow(FaultOp::Read)) return Fail(error, EIO);
    while (got < size) {
        ssize_t n = read(fd_, static_cast<char*>(buffer) + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(error, errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool File::Write(const void* data, std::size_t size, Error& error) {
    if (FaultNow(FaultOp::Write)) return Fail(error, EIO);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd_, static_cast<const char*>(data) + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(error, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool File::Seek(std::uint64_t offset, Error& error) {
    return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 || Fail(error, errno);
}

bool File::Truncate(Error& error) {
    off_t here = lseek(fd_, 0, SEEK_CUR);
    return (here >= 0 && ftruncate(fd_, here) == 0) || Fail(error, errno);
}

bool File::Flush(Error& error) {
    if (FaultNow(FaultOp::Flush)) return Fail(error, EIO);
    return fsync(fd_) == 0 || Fail(error, errno);
}

bool File::Size(std::uint64_t& size, Error& error) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail(error, errno);
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool File::Modified(std::int64_t& modified, Error& error) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail(error, errno);
    modified = FromStat(st).modified;
    return true;
}

void File::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool ResolveRoot(const std::string& utf8, Path& root) {
    if (utf8.empty()) return false;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(utf8.c_str(), nullptr), &std::free);
    if (!real) return false;
    root = real.get();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return true;
}

bool ResolveFile(const std::string& utf8, Path& path) {
    if (utf8.empty()) return false;
    Path dir = Parent(utf8);
    Path name = utf8.substr(dir.size() + (dir.empty() ? 0 : 1));
    Path realDir;
    if (!ResolveRoot(dir.empty() ? "." : dir, realDir) || name.empty()) return false;
    path = Join(realDir, name);
    return true;
}

Path Join(const Path& dir, const Path& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

Path Parent(const Path& path) {
    auto slash = path.find_last_of('/');
    if (slash == Path::npos) return Path();
    return slash == 0 ? Path("/") : path.substr(0, slash);
}

bool SamePath(const Path& a, const Path& b) { return a == b; }

bool Stat(const Path& path, FileInfo& info, Error& error) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return Fail(error, errno);
    info = FromStat(st);
    auto slash = path.find_last_of('/');
    info.name = slash == Path::npos ? path : path.substr(slash + 1);
    return true;
}

bool ListDirectory(const Path& dir, const std::function<void(FileInfo&&)>& onEntry, Error& error) {
    struct CloseDir {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> d(opendir(dir.c_str()));
    if (!d) return Fail(error, errno);
    while (dirent* e = readdir(d.get())) {
        Path name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (fstatat(dirfd(d.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        FileInfo info = FromStat(st);
        info.name = name;
        if (name[0] == '.') info.attributes |= kAttrHidden;
        onEntry(std::move(info));
    }
    return true;
}

bool MoveReplacing(const Path& from, const Path& to, Error& error) {
    if (FaultNow(FaultOp::Rename)) return Fail(error, EIO);
    if (LockedNow(FaultOp::Rename)) return Fail(error, EBUSY);
    return std::rename(from.c_str(), to.c_str()) == 0 || Fail(error, errno);
}

bool RemoveFile(const Path& path, Error& error) {
    if (FaultNow(FaultOp::Delete)) return Fail(error, EIO);
    if (LockedNow(FaultOp::Delete)) return Fail(error, EBUSY);
    return unlink(path.c_str()) == 0 || Fail(error, errno);
}

bool RemoveEmptyDirectory(const Path& path) { return rmdir(path.c_str()) == 0; }

bool SetModified(const Path& path, std::int64_t modified, Error& error) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(modified);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || Fail(error, errno);
}

Path ShortName(const Path& path) {
    auto slash = path.find_last_of('/');
    return slash == Path::npos ? path : path.substr(slash + 1);
}

std::string VolumeLabel(const Path&) { return std::string(); }

std::string ToUtf8(const Path& path) { return path; }
Path FromUtf8(const std::string& utf8) { return utf8; }

void Wipe(void* data, std::size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size--) *p++ = 0;
}

}  // namespace platform
