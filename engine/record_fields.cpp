// The fields of a record: written by RecordOut, read back by RecordIn.
#include "record_store.h"

#include "zip_format.h"

#include <cstring>

using zipfmt::Get32;

RecordOut& RecordOut::U8(std::uint8_t v) {
    data_.push_back(static_cast<char>(v));
    return *this;
}

RecordOut& RecordOut::U32(std::uint32_t v) {
    zipfmt::Append32(data_, v);
    return *this;
}

RecordOut& RecordOut::U64(std::uint64_t v) { return U32(static_cast<std::uint32_t>(v)).U32(static_cast<std::uint32_t>(v >> 32)); }

RecordOut& RecordOut::Str(std::string_view s) {
    U32(static_cast<std::uint32_t>(s.size()));
    data_.append(s);
    return *this;
}

RecordOut& RecordOut::Path(const platform::Path& p) {
    return Str(std::string_view(reinterpret_cast<const char*>(p.data()), p.size() * sizeof(platform::PathChar)));
}

std::string_view RecordIn::Take(std::size_t n) {
    if (n > data_.size()) throw ScratchError(platform::Error{platform::ErrorKind::Other, 0});
    std::string_view taken = data_.substr(0, n);
    data_.remove_prefix(n);
    return taken;
}

std::uint8_t RecordIn::U8() { return static_cast<std::uint8_t>(Take(1)[0]); }
std::uint32_t RecordIn::U32() { return Get32(reinterpret_cast<const unsigned char*>(Take(4).data())); }
std::uint64_t RecordIn::U64() {
    std::uint64_t low = U32();
    return low | static_cast<std::uint64_t>(U32()) << 32;
}
std::string_view RecordIn::Str() { return Take(U32()); }

platform::Path RecordIn::Path() {
    std::string_view bytes = Str();
    platform::Path path(bytes.size() / sizeof(platform::PathChar), 0);
    std::memcpy(path.data(), bytes.data(), path.size() * sizeof(platform::PathChar));
    return path;
}
