#include "entry_compressor.h"

#include "deflate_pieces.h"
#include "pkware_crypt.h"
#include "store_or_deflate.h"
#include "worker_pool.h"

#include <libdeflate.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace {

std::uint32_t Crc(std::uint32_t crc, const void* data, std::size_t size) { return libdeflate_crc32(crc, data, size); }

// Everything written passes the encryption (when on) and is counted.
class EntryOutput {
public:
    EntryOutput(ByteSink& sink, std::optional<PkwareEncryptor>& encryptor) : sink_(sink), encryptor_(encryptor) {}
    bool Write(std::string_view data) {
        if (data.empty()) return true;
        written_ += data.size();
        if (!encryptor_) return sink_.Write(data);
        scratch_.assign(data);
        encryptor_->Encrypt(scratch_.data(), scratch_.size());
        return sink_.Write(scratch_);
    }
    std::uint64_t Written() const { return written_; }

private:
    ByteSink& sink_;
    std::optional<PkwareEncryptor>& encryptor_;
    std::string scratch_;
    std::uint64_t written_ = 0;
};

// Starts an entry's data: the encryption header when encrypting.
bool BeginData(const CompressSettings& settings, std::uint32_t crc, ByteSink& sink,
               std::optional<PkwareEncryptor>& encryptor, CompressedEntry& result) {
    if (!settings.encrypt) return true;
    encryptor.emplace(settings.password, crc);
    std::string header = encryptor->Header();  // encrypted already
    result.compressedSize += header.size();
    return sink.Write(header);
}

// Reads up to capacity bytes with one read: fewer only at the end of the
// file (a small file is read whole with one system call).
bool ReadUpTo(platform::File& input, std::string& data, std::size_t capacity, platform::Error& error) {
    data.resize(capacity);
    std::size_t got = 0;
    if (!input.Read(data.data(), capacity, got, error)) return false;
    data.resize(got);
    return true;
}

std::string Convert(LineEnds lineEnds, const std::string& data) {
    std::string converted;
    LineEndConverter converter(lineEnds);
    converter.Convert(reinterpret_cast<const unsigned char*>(data.data()), data.size(), converted);
    converter.Finish(converted);
    return converted;
}

// A file small enough for memory: read once, whole, then compressed.
CompressResult CompressWhole(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                             CompressedEntry& result, platform::Error& error) {
    std::string data;
    if (!ReadUpTo(input, data, static_cast<std::size_t>(settings.fileSize) + 1, error)) return CompressResult::ReadFailed;
    if (data.size() != settings.fileSize) return CompressResult::Changed;
    if (settings.lineEnds != LineEnds::Keep) {
        TextDetector detector;
        detector.Feed(reinterpret_cast<const unsigned char*>(data.data()), data.size());
        result.converted = detector.IsText();
        if (result.converted) data = Convert(settings.lineEnds, data);
    }
    result.size = data.size();
    result.crc = Crc(0, data.data(), data.size());
    std::string deflated;
    if (settings.deflate) {
        std::unique_ptr<EntryDeflater> own;
        std::unique_ptr<EntryDeflater>& slot = settings.cache ? settings.cache->deflater : own;
        if (!slot || slot->Level() != settings.level) slot = std::make_unique<EntryDeflater>(settings.level);
        result.deflated = slot->DeflateWhole(data, deflated);
    }
    std::optional<PkwareEncryptor> encryptor;
    EntryOutput out(sink, encryptor);
    if (!BeginData(settings, result.crc, sink, encryptor, result) || !out.Write(result.deflated ? deflated : data))
        return CompressResult::WriteFailed;
    result.compressedSize += out.Written();
    return CompressResult::Ok;
}

// How far a streamed entry is, told at every piece read; beats the
// heartbeat too. A file surveyed first is read twice, and both reads count.
class Progress {
public:
    Progress(const CompressSettings& settings, bool surveyed)
        : settings_(settings), reads_(surveyed ? 2.0 : 1.0), size_(static_cast<double>(settings.fileSize)) {}
    // At bytes into the file, in its read number read (0 or 1).
    void Read(int read, std::uint64_t at) const {
        Beat(settings_.heartbeat);
        if (settings_.progress && settings_.fileSize > 0)
            settings_.progress(std::min(1.0, (read * size_ + static_cast<double>(at)) / (reads_ * size_)));
    }

private:
    const CompressSettings& settings_;
    double reads_;
    double size_;
};

// First read of a streamed file: is it text, and what CRC will the stored
// data have?
bool Survey(platform::File& input, LineEnds& lineEnds, std::uint32_t& crc, const Progress& progress,
            platform::Error& error) {
    TextDetector detector;
    LineEndConverter converter(lineEnds);
    std::uint32_t rawCrc = 0, convertedCrc = 0;
    std::string chunk, converted;
    std::uint64_t at = 0;
    do {
        if (!ReadUpTo(input, chunk, kPieceBytes, error)) return false;
        progress.Read(0, at += chunk.size());
        detector.Feed(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
        rawCrc = Crc(rawCrc, chunk.data(), chunk.size());
        if (lineEnds != LineEnds::Keep && detector.IsText()) {
            converted.clear();
            converter.Convert(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), converted);
            convertedCrc = Crc(convertedCrc, converted.data(), converted.size());
        }
    } while (chunk.size() == kPieceBytes);
    converted.clear();
    converter.Finish(converted);
    convertedCrc = Crc(convertedCrc, converted.data(), converted.size());
    if (!detector.IsText()) lineEnds = LineEnds::Keep;
    crc = lineEnds == LineEnds::Keep ? rawCrc : convertedCrc;
    return input.Seek(0, error);
}

// How a streamed entry's data is written in one pass over the file.
enum class Mode {
    Undecided,      // until the first piece is seen
    Deflate,        // every piece deflated
    StoreForNow,    // stored, until a piece compresses
    Store,          // stored, whatever comes
};

// One pass over a streamed file. Ends with a result, or with the mode the
// entry is to be written again in.
class StreamPass {
public:
    StreamPass(platform::File& input, const CompressSettings& settings, LineEnds lineEnds, ByteSink& sink,
               CompressedEntry& result, platform::Error& error)
        : input_(input), settings_(settings), lineEnds_(lineEnds), sink_(sink), result_(result), error_(error),
          out_(sink, encryptor_) {}

    // read: the file's read number this pass is, for progress.
    CompressResult Run(Mode mode, std::uint32_t crcForHeader, const Progress& progress, int read) {
        mode_ = mode;
        result_ = CompressedEntry();
        result_.converted = lineEnds_ != LineEnds::Keep;
        if (!BeginData(settings_, crcForHeader, sink_, encryptor_, result_)) return CompressResult::WriteFailed;
        LineEndConverter converter(lineEnds_);
        std::uint64_t inputSize = 0;
        std::string chunk;
        bool last = false;
        while (!last && !again_) {
            if (!ReadUpTo(input_, chunk, kPieceBytes, error_)) return CompressResult::ReadFailed;
            inputSize += chunk.size();
            last = chunk.size() < kPieceBytes;
            if (inputSize > settings_.fileSize || (last && inputSize < settings_.fileSize))
                return CompressResult::Changed;
            progress.Read(read, inputSize);
            std::string data;
            if (lineEnds_ == LineEnds::Keep) {
                data.swap(chunk);
            } else {
                converter.Convert(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), data);
                if (last) converter.Finish(data);
            }
            if (!Take(std::move(data))) return CompressResult::WriteFailed;
        }
        while (!pending_.empty() && !again_)
            if (!WriteOldest()) return CompressResult::WriteFailed;
        if (again_) return CompressResult::Ok;
        if (mode_ == Mode::Deflate) {
            if (!out_.Write(EndOfStream())) return CompressResult::WriteFailed;
            if (out_.Written() >= result_.size) again_ = Mode::Store;  // never larger than stored
        }
        result_.deflated = mode_ == Mode::Deflate;
        result_.compressedSize += out_.Written();
        return CompressResult::Ok;
    }

    // The mode to write the entry again in, when this pass ended early.
    std::optional<Mode> Again() const { return again_; }
    std::uint32_t Crc32() const { return crc_; }

private:
    bool Take(std::string data) {
        if (data.empty()) return true;
        crc_ = Crc(crc_, data.data(), data.size());
        result_.size += data.size();
        result_.crc = crc_;
        if (mode_ == Mode::Store) return out_.Write(data);
        int level = settings_.level;
        bool probe = mode_ != Mode::Deflate;
        pending_.push_back(settings_.pool->Submit([data = std::move(data), level, probe]() mutable {
            return MakeStreamPiece(std::move(data), level, probe);
        }));
        std::size_t limit = 2 * static_cast<std::size_t>(settings_.pool->Threads()) + 1;
        while (pending_.size() > limit && !again_)
            if (!WriteOldest()) return false;
        return true;
    }

    StreamPiece Await(JobResult<StreamPiece>& result) {
        return settings_.heartbeat ? settings_.heartbeat->Await(result) : result.get();
    }

    bool WriteOldest() {
        StreamPiece piece = Await(pending_.front());
        pending_.pop_front();
        if (mode_ == Mode::Undecided) mode_ = piece.compresses ? Mode::Deflate : Mode::StoreForNow;
        if (mode_ == Mode::StoreForNow && piece.compresses) {
            again_ = Mode::Deflate;
            return true;
        }
        if (mode_ != Mode::Deflate) return out_.Write(piece.data);
        // A piece probed before the entry was found to compress is deflated
        // all the same: the stream does not depend on how far ahead it was.
        // On a worker too, so that this thread keeps beating meanwhile.
        if (!piece.compresses) {
            JobResult<StreamPiece> deflated = settings_.pool->Submit(
                [data = std::move(piece.data), level = settings_.level]() mutable {
                    return MakeStreamPiece(std::move(data), level, false);
                });
            piece = Await(deflated);
        }
        return out_.Write(piece.deflated);
    }

    platform::File& input_;
    const CompressSettings& settings_;
    LineEnds lineEnds_;
    ByteSink& sink_;
    CompressedEntry& result_;
    platform::Error& error_;
    std::optional<PkwareEncryptor> encryptor_;
    EntryOutput out_;
    Mode mode_ = Mode::Undecided;
    std::optional<Mode> again_;
    std::uint32_t crc_ = 0;
    std::deque<JobResult<StreamPiece>> pending_;
};

// A file too large for memory, read in pieces: written stored or deflated
// as the pieces show, again from the start when they show another way.
CompressResult CompressStream(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                              CompressedEntry& result, platform::Error& error) {
    LineEnds lineEnds = settings.lineEnds;
    std::uint32_t expectedCrc = 0;
    bool surveyed = lineEnds != LineEnds::Keep || settings.encrypt;
    Progress progress(settings, surveyed);
    if (surveyed && !Survey(input, lineEnds, expectedCrc, progress, error)) return CompressResult::ReadFailed;
    Mode mode = settings.deflate ? Mode::Undecided : Mode::Store;
    for (;;) {
        StreamPass pass(input, settings, lineEnds, sink, result, error);
        CompressResult outcome = pass.Run(mode, expectedCrc, progress, surveyed ? 1 : 0);
        if (outcome != CompressResult::Ok) return outcome;
        if (surveyed && pass.Crc32() != expectedCrc && !pass.Again()) return CompressResult::Changed;
        if (!pass.Again()) return CompressResult::Ok;
        mode = *pass.Again();
        if (!sink.Discard()) return CompressResult::WriteFailed;
        if (!input.Seek(0, error)) return CompressResult::ReadFailed;
    }
}

}  // namespace

DeflaterCache::DeflaterCache() = default;
DeflaterCache::~DeflaterCache() = default;

CompressResult CompressEntry(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                             CompressedEntry& result, platform::Error& error) {
    result = CompressedEntry();
    return settings.pool ? CompressStream(input, settings, sink, result, error)
                         : CompressWhole(input, settings, sink, result, error);
}
