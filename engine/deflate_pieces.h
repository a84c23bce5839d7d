// Raw deflate with libdeflate, whole or in pieces that join into one stream.
//
// libdeflate deflates a whole buffer at a time and ends every stream with a
// final block. A piece of a longer stream is made from such a stream: its
// last block's final bit is cleared and an empty stored block brings it to a
// byte boundary (zlib's inflate walks the blocks to find the last one), so
// pieces deflated apart, in any order and on any thread, are concatenated
// and closed with EndOfStream(). Pieces start with no history: the result
// depends on where the input is cut, never on timing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct libdeflate_compressor;

// libdeflate's state for one level; one thread at a time.
class Deflater {
public:
    explicit Deflater(int level);  // throws std::bad_alloc
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    int Level() const { return level_; }

    // The whole stream of data into out, when it is shorter than limit bytes;
    // false (out unspecified) when it is not.
    bool Whole(std::string_view data, std::size_t limit, std::string& out);
    // A piece of a longer stream (data not empty), appended to out.
    void Piece(std::string_view data, std::string& out);

private:
    int level_;
    libdeflate_compressor* compressor_;
};

// Ends a stream of pieces: an empty final block.
std::string_view EndOfStream();
