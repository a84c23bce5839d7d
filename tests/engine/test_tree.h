// Temporary folders with real files for the engine tests.
#pragma once

#include "engine_client.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

class TempFolder {
public:
    explicit TempFolder(const fs::path& base = fs::temp_directory_path());
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& content);
std::string ReadFile(const fs::path& path);
// Sets the modification time to now + offset seconds.
void Touch(const fs::path& path, long long offsetSeconds);
std::string Utf8(const fs::path& path);
// True also for a link whose target is gone.
bool Exists(const fs::path& path);
// A memory-backed file system when it has room for this many bytes (another drive, quick).
fs::path MemoryTemp(std::uintmax_t bytes);
std::string Repeat(const std::string& text, int times);
// Bytes deflate cannot compress, the same for the same seed.
std::string Noise(std::size_t size, std::uint32_t seed = 99);
int IntFromEnvironment(const char* name, int otherwise);
// Every file under dir with "tirvo" in its name: the engine's temporaries.
std::vector<std::string> Temporaries(const fs::path& dir);
// Letters and digits, '_' for the rest.
std::string TestName(const char* name);
// A request for names under root, written to archive.
Request NewRequest(const fs::path& root, const fs::path& archive, std::vector<std::string> names);
