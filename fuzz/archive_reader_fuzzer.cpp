// libFuzzer target: the reader of an existing archive's central directory, which takes untrusted bytes. Every entry it
// accepts must lie inside the input, as the raw copy relies on that.
#include "archive_reader.h"

#include <cstdlib>
#include <cstring>

namespace {

class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) return false;
        std::memcpy(buffer, data_ + offset, size);
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source(data, size);
    std::string comment;
    ReadArchive(source, comment, [size](const ExistingEntry& entry) {
        if (entry.localOffset > size || entry.recordSize > size - entry.localOffset) std::abort();
        if (entry.name.empty() || entry.storedName.empty()) std::abort();
    });
    return 0;
}
