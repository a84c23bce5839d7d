#include "store_or_deflate.h"

#include <algorithm>

Deflater& EntryDeflater::Probe() {
    if (!probe_) probe_ = std::make_unique<Deflater>(1);
    return *probe_;
}

Deflater& EntryDeflater::Full() {
    if (!full_) full_ = std::make_unique<Deflater>(level_);
    return *full_;
}

bool EntryDeflater::Compresses(std::string_view piece) {
    std::string_view probe = piece;
    if (piece.size() > kProbeBytes) {  // four slices spread over the piece
        constexpr std::size_t kSlice = kProbeBytes / 4;
        sample_.clear();
        for (std::size_t i = 0; i < 4; ++i) sample_.append(piece.substr((piece.size() - kSlice) * i / 3, kSlice));
        probe = sample_;
    }
    return Probe().Whole(probe, probe.size() - probe.size() / 32, scratch_);
}

bool EntryDeflater::DeflateWhole(std::string_view data, std::string& out) {
    // Data no longer than a probe is simply deflated once.
    bool worth = data.size() <= kProbeBytes;
    for (std::size_t at = 0; !worth && at < data.size(); at += kPieceBytes) worth = Compresses(data.substr(at, kPieceBytes));
    return worth && Full().Whole(data, data.size(), out);
}

void EntryDeflater::Piece(std::string_view piece, std::string& out) { Full().Piece(piece, out); }

StreamPiece MakeStreamPiece(std::string data, int level, bool probe) {
    StreamPiece piece;
    piece.data = std::move(data);
    EntryDeflater deflater(level);
    piece.compresses = !probe || deflater.Compresses(piece.data);
    if (piece.compresses) deflater.Piece(piece.data, piece.deflated);
    return piece;
}
