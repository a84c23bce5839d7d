#include "deflate_pieces.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

namespace {

// The bit where the last block of a complete raw deflate stream starts, and
// how many padding bits follow its end in the last byte; false if the stream
// is not one.
bool FindLastBlock(const std::string& stream, std::size_t& lastHeaderBit, int& paddingBits) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) throw std::bad_alloc();
    unsigned char scratch[1 << 15];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    lastHeaderBit = 0;
    int rc = Z_OK;
    bool ended = false;
    while (rc == Z_OK && !ended) {
        z.next_out = scratch;
        z.avail_out = sizeof scratch;
        rc = inflate(&z, Z_BLOCK);
        if (rc != Z_OK || !(z.data_type & 128)) continue;  // not between two blocks
        ended = (z.data_type & 64) != 0;                   // after the last block
        if (ended) paddingBits = z.data_type & 7;
        else lastHeaderBit = (stream.size() - z.avail_in) * 8 - (z.data_type & 7);
    }
    bool whole = ended && z.avail_in == 0;
    inflateEnd(&z);
    return whole;
}

}  // namespace

Deflater::Deflater(int level) : level_(level), compressor_(libdeflate_alloc_compressor(level)) {
    if (!compressor_) throw std::bad_alloc();
}

Deflater::~Deflater() { libdeflate_free_compressor(compressor_); }

bool Deflater::Whole(std::string_view data, std::size_t limit, std::string& out) {
    out.resize(std::max<std::size_t>(limit, 1) - 1);
    std::size_t size = out.empty() ? 0 : libdeflate_deflate_compress(compressor_, data.data(), data.size(), out.data(), out.size());
    out.resize(size);
    return size > 0;
}

void Deflater::Piece(std::string_view data, std::string& out) {
    std::string stream(libdeflate_deflate_compress_bound(compressor_, data.size()), '\0');
    stream.resize(libdeflate_deflate_compress(compressor_, data.data(), data.size(), stream.data(), stream.size()));
    std::size_t lastHeaderBit = 0;
    int paddingBits = 0;
    if (stream.empty() || !FindLastBlock(stream, lastHeaderBit, paddingBits)) throw std::bad_alloc();
    stream[lastHeaderBit / 8] = static_cast<char>(stream[lastHeaderBit / 8] & ~(1 << (lastHeaderBit % 8)));
    // An empty stored block: its three header bits (all zero) in the padding
    // when they fit there, else in one more byte, then the lengths.
    if (paddingBits < 3) stream.push_back('\0');
    stream.append("\x00\x00\xFF\xFF", 4);
    out += stream;
}

std::string_view EndOfStream() { return std::string_view("\x03\x00", 2); }
