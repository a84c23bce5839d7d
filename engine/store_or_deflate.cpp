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
    std::string_view probe = piece.substr(0, kProbeBytes);
    return Probe().Whole(probe, probe.size() - probe.size() / 32, scratch_);
}

bool EntryDeflater::DeflateWhole(std::string_view data, std::string& out) {
    // Data no longer than a probe is simply deflated once.
    bool worth = data.size() <= kProbeBytes;
    for (std::size_t at = 0; !worth && at < data.size(); at += kPieceBytes) worth = Compresses(data.substr(at, kPieceBytes));
    return worth && Full().Whole(data, data.size(), out);
}

void EntryDeflater::Piece(std::string_view piece, std::string& out) { Full().Piece(piece, out); }

StreamPiece MakeStreamPiece(std::string data, int level) {
    StreamPiece piece;
    piece.data = std::move(data);
    EntryDeflater deflater(level);
    piece.compresses = deflater.Compresses(piece.data);
    if (piece.compresses) deflater.Piece(piece.data, piece.deflated);
    return piece;
}
