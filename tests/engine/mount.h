// A folder that is another file system while this object lives: a small tmpfs. Needs the right to mount (root); callers
// skip their test when a mount fails.
#pragma once

#include <sys/mount.h>

#include <filesystem>

class Mount {
public:
    explicit Mount(const std::filesystem::path& at) : at_(at) { std::filesystem::create_directories(at_); }
    ~Mount() {
        if (mounted_) umount2(at_.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool Tmpfs(const char* options) { return mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, options) == 0; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};
