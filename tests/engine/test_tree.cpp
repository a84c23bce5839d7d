#include "test_tree.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

TempFolder::TempFolder(const fs::path& base) : path_(base / ("tirvo-engine-" + std::to_string(std::random_device()()))) {
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void Touch(const fs::path& path, long long offsetSeconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(offsetSeconds));
}

std::string Utf8(const fs::path& path) {
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

std::string Noise(std::size_t size, std::uint32_t seed) {
    std::string noise(size, '\0');
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
    return noise;
}

int IntFromEnvironment(const char* name, int otherwise) {
    const char* text = std::getenv(name);
    return text ? std::atoi(text) : otherwise;
}

std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
        if (Utf8(it->path().filename()).find("tirvo") != std::string::npos) names.push_back(Utf8(it->path()));
    return names;
}

std::string TestName(const char* name) {
    std::string out;
    for (const char* c = name; *c; ++c) out += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return out;
}

Request NewRequest(const fs::path& root, const fs::path& archive, std::vector<std::string> names) {
    Request r;
    r.root = Utf8(root) + "/";
    r.archive = Utf8(archive);
    r.names = std::move(names);
    return r;
}

fs::path MemoryTemp(std::uintmax_t bytes) {
    std::error_code ec;
    return fs::space("/dev/shm", ec).available > bytes && !ec ? fs::path("/dev/shm") : fs::temp_directory_path();
}
