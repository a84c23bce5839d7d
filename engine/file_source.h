// The old archive as a ByteSource. Reads up to kReadAhead bytes are served
// from a window read ahead: the reader's look at the local headers and the
// raw copies both go through the file in order, mostly a few hundred bytes
// to a few KiB at a time, and every read is a system call.
#pragma once

#include "archive_reader.h"
#include "platform.h"

#include <cstdint>
#include <string>

class FileSource : public ByteSource {
public:
    FileSource(platform::File& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;
    const platform::Error& LastError() const { return error_; }

private:
    static constexpr std::size_t kReadAhead = 64 << 10;
    platform::File& file_;
    std::uint64_t size_;
    std::string window_;
    std::uint64_t windowStart_ = 0;
    platform::Error error_;
};
