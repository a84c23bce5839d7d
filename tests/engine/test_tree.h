// Temporary folders with real files for the engine tests.
#pragma once

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

class TempFolder {
public:
    explicit TempFolder(const fs::path& base = fs::temp_directory_path());
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return path_; }
    // Root for a request: the folder as UTF-8 with a trailing separator.
    std::string Root() const;

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& content);
std::string ReadFile(const fs::path& path);
// Sets the modification time to now + offset seconds.
void Touch(const fs::path& path, long long offsetSeconds);
std::string Utf8(const fs::path& path);
