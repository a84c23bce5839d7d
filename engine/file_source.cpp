#include "file_source.h"

#include <algorithm>
#include <cstring>

bool FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    std::size_t got = 0;
    if (size > kReadAhead) return file_.Seek(offset, error_) && file_.Read(buffer, size, got, error_) && got == size;
    if (offset < windowStart_ || offset - windowStart_ + size > window_.size()) {
        if (offset >= size_) return false;
        window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, size_ - offset)));
        windowStart_ = offset;
        bool read = file_.Seek(offset, error_) && file_.Read(window_.data(), window_.size(), got, error_);
        window_.resize(read ? got : 0);
        if (window_.size() < size) return false;
    }
    std::memcpy(buffer, window_.data() + (offset - windowStart_), size);
    return true;
}
