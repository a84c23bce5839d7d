// Temporary folders with real files for the engine tests.
#pragma once

#include "engine_client.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

class TempFolder {
public:
    explicit TempFolder(const fs::path& base = fs::temp_directory_path())
        : path_(base / ("tirvo-engine-" + std::to_string(std::random_device()()))) {
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// Sets the modification time to now + offset seconds.
inline void Touch(const fs::path& path, long long offsetSeconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(offsetSeconds));
}

inline std::string Utf8(const fs::path& path) {
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

// True also for a link whose target is gone.
inline bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// A memory-backed file system when it has room for this many bytes (another drive, quick).
inline fs::path MemoryTemp(std::uintmax_t bytes) {
    std::error_code ec;
    return fs::space("/dev/shm", ec).available > bytes && !ec ? fs::path("/dev/shm") : fs::temp_directory_path();
}

inline std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

// Bytes deflate cannot compress, the same for the same seed.
inline std::string Noise(std::size_t size, std::uint32_t seed = 99) {
    std::string noise(size, '\0');
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
    return noise;
}

// Every file under dir with "tirvo" in its name: the engine's temporaries.
inline std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
        if (Utf8(it->path().filename()).find("tirvo") != std::string::npos) names.push_back(Utf8(it->path()));
    return names;
}

// Letters and digits, '_' for the rest: a parameter's name as a test name.
inline std::string TestName(const char* name) {
    std::string out;
    for (const char* c = name; *c; ++c) out += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return out;
}

// A request for names under root, written to archive.
inline Request NewRequest(const fs::path& root, const fs::path& archive, std::vector<std::string> names) {
    Request r;
    r.root = Utf8(root) + "/";
    r.archive = Utf8(archive);
    r.names = std::move(names);
    return r;
}
