// Whether an entry's data is deflated or stored, and its data in pieces.
//
// Most large files people archive are compressed already (photos, video,
// Office documents, other archives): deflating them costs the most CPU time
// of anything and gains nothing. So the data is looked at piece by piece
// (kPieceBytes, cut at the same places in memory and when streaming): a
// piece compresses when a sample of kProbeBytes (four slices spread over
// it), deflated apart at level 1, shrinks by at least 1/32. An entry is
// deflated from the first piece that compresses on, every piece after it
// deflated whatever it holds; when none does, it is stored without
// deflating any of it. A deflated entry that would not be smaller than its
// data is stored too. The choice depends on the data alone, never on
// threads or timing.
#pragma once

#include "deflate_pieces.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

constexpr std::size_t kPieceBytes = 1 << 20;
constexpr std::size_t kProbeBytes = 64 << 10;

// One thread's compressors, kept from one entry to the next.
class EntryDeflater {
public:
    explicit EntryDeflater(int level) : level_(level) {}
    int Level() const { return level_; }

    // Whether the piece (at most kPieceBytes) compresses.
    bool Compresses(std::string_view piece);
    // Whole data in memory: its deflated form into out when that is chosen
    // and smaller than the data; false when the data is to be stored.
    bool DeflateWhole(std::string_view data, std::string& out);
    // A piece of a longer stream, appended to out.
    void Piece(std::string_view piece, std::string& out);

private:
    Deflater& Probe();
    Deflater& Full();

    int level_;
    std::unique_ptr<Deflater> probe_, full_;
    std::string sample_, scratch_;
};

// A piece of a streamed entry, made on a worker thread: its data, whether it
// compresses (always, without probe), and then its deflated form.
struct StreamPiece {
    std::string data;
    bool compresses = false;
    std::string deflated;
};
StreamPiece MakeStreamPiece(std::string data, int level, bool probe);
