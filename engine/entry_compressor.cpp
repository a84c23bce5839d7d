#include "entry_compressor.h"

#include "pkware_crypt.h"
#include "worker_pool.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <new>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kChunk = 1 << 20;

// A file smaller than a chunk is read into a buffer just large enough to take
// it whole and to notice that it grew: a megabyte allocated and cleared per
// file costs more than reading a small file, most of all under Wine, where
// each one is mapped and unmapped. The input is cut into the same pieces.
std::size_t ChunkFor(std::uint64_t sizeLimit) {
    return sizeLimit < kChunk ? static_cast<std::size_t>(sizeLimit) + 1 : kChunk;
}

std::uint32_t Crc(std::uint32_t crc, const void* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

// Everything written passes the encryption (when on) and is counted.
class EntryOutput {
public:
    EntryOutput(ByteSink& sink, std::optional<PkwareEncryptor>& encryptor) : sink_(sink), encryptor_(encryptor) {}
    bool Write(const char* data, std::size_t size) {
        if (size == 0) return true;
        written_ += size;
        if (!encryptor_) return sink_.Write(std::string_view(data, size));
        scratch_.assign(data, size);
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

}  // namespace

class Deflater {
public:
    // The output buffer is no larger than the whole output of sizeLimit
    // bytes of input may be; the output does not depend on its size.
    Deflater(int level, std::uint64_t sizeLimit) : level_(level) {
        ok_ = deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (ok_) SizeBuffer(sizeLimit);
    }
    ~Deflater() {
        if (ok_) deflateEnd(&z_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    bool Ok() const { return ok_; }

    // Ready for a new stream at the same level, as if just made; false when
    // it cannot be (another level).
    bool Reset(int level, std::uint64_t sizeLimit) {
        if (!ok_ || level != level_ || deflateReset(&z_) != Z_OK) return false;
        SizeBuffer(sizeLimit);
        return true;
    }

    // Feeds data (finish: the last of it) and passes what comes out on.
    bool Run(const char* data, std::size_t size, bool finish, EntryOutput& out) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z_.avail_in = static_cast<uInt>(size);
        int flush = finish ? Z_FINISH : Z_NO_FLUSH;
        for (;;) {
            z_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
            z_.avail_out = static_cast<uInt>(buffer_.size());
            int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) return false;
            if (!out.Write(buffer_.data(), buffer_.size() - z_.avail_out)) return false;
            if (finish ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) return true;
        }
    }

private:
    void SizeBuffer(std::uint64_t sizeLimit) {
        uLong bound = deflateBound(&z_, static_cast<uLong>(std::min<std::uint64_t>(sizeLimit, kChunk)));
        buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kMaxOutput, bound)));
    }

    z_stream z_{};
    int level_;
    bool ok_ = false;
    static constexpr std::uint64_t kMaxOutput = 256 * 1024;
    std::vector<char> buffer_;
};

namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kWindow = 32 * 1024;

// One block of a blocked deflate stream: raw deflate primed with the input
// that precedes it, ending on a byte boundary (or, for the last, the end).
std::string DeflateBlock(const std::string& input, const std::string& dictionary, int level, bool last) {
    z_stream z{};
    std::string out;
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
    if (!dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
    out.resize(deflateBound(&z, static_cast<uLong>(input.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (rc != (last ? Z_STREAM_END : Z_OK)) throw std::bad_alloc();
    return out;
}

// Deflates in blocks on the pool's threads and writes them back in order,
// with a bounded number of blocks in flight.
class BlockDeflater {
public:
    BlockDeflater(WorkerPool& pool, int level) : pool_(pool), level_(level) {}

    bool Run(const char* data, std::size_t size, bool finish, EntryOutput& out) {
        while (size > 0) {
            std::size_t take = std::min(size, kBlock - block_.size());
            block_.append(data, take);
            data += take;
            size -= take;
            if (block_.size() == kBlock && !Submit(false, out)) return false;
        }
        if (!finish) return true;
        if (!Submit(true, out)) return false;
        while (!pending_.empty())
            if (!WriteOldest(out)) return false;
        return true;
    }

private:
    bool Submit(bool last, EntryOutput& out) {
        std::string dictionary = std::move(dictionary_);
        dictionary_ = block_.size() >= kWindow ? block_.substr(block_.size() - kWindow)
                                                : dictionary.substr(std::min(dictionary.size(), block_.size())) + block_;
        int level = level_;
        pending_.push_back(pool_.Submit([input = std::move(block_), dictionary = std::move(dictionary), level, last]() {
            return DeflateBlock(input, dictionary, level, last);
        }));
        block_.clear();
        std::size_t limit = 2 * static_cast<std::size_t>(pool_.Threads()) + 1;
        while (pending_.size() > limit)
            if (!WriteOldest(out)) return false;
        return true;
    }

    bool WriteOldest(EntryOutput& out) {
        std::string bytes = pending_.front().get();
        pending_.pop_front();
        return out.Write(bytes.data(), bytes.size());
    }

    WorkerPool& pool_;
    int level_;
    std::string block_;
    std::string dictionary_;   // the last 32 KiB of input so far
    std::deque<JobResult<std::string>> pending_;
};

// First read: is it text, and what CRC will the stored data have?
bool Survey(platform::File& input, LineEnds& lineEnds, std::uint32_t& crc, std::vector<unsigned char>& chunk,
            platform::Error& error) {
    TextDetector detector;
    LineEndConverter converter(lineEnds);
    std::uint32_t rawCrc = Crc(0, nullptr, 0), convertedCrc = rawCrc;
    std::string converted;
    for (;;) {
        std::size_t got = 0;
        if (!input.Read(chunk.data(), chunk.size(), got, error)) return false;
        detector.Feed(chunk.data(), got);
        rawCrc = Crc(rawCrc, chunk.data(), got);
        if (lineEnds != LineEnds::Keep && detector.IsText()) {
            converted.clear();
            converter.Convert(chunk.data(), got, converted);
            convertedCrc = Crc(convertedCrc, converted.data(), converted.size());
        }
        if (got < chunk.size()) break;  // the end of the file
    }
    converted.clear();
    converter.Finish(converted);
    convertedCrc = Crc(convertedCrc, converted.data(), converted.size());
    if (!detector.IsText()) lineEnds = LineEnds::Keep;
    crc = lineEnds == LineEnds::Keep ? rawCrc : convertedCrc;
    return input.Seek(0, error);
}

}  // namespace

DeflaterCache::DeflaterCache() = default;
DeflaterCache::~DeflaterCache() = default;

CompressResult CompressEntry(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                             CompressedEntry& result, platform::Error& error) {
    result = CompressedEntry();
    std::vector<unsigned char> chunk(ChunkFor(settings.sizeLimit));
    LineEnds lineEnds = settings.lineEnds;
    std::uint32_t expectedCrc = 0;
    bool surveyed = lineEnds != LineEnds::Keep || settings.encrypt;
    if (surveyed && !Survey(input, lineEnds, expectedCrc, chunk, error)) return CompressResult::ReadFailed;
    result.converted = lineEnds != LineEnds::Keep;

    std::optional<PkwareEncryptor> encryptor;
    EntryOutput out(sink, encryptor);
    if (settings.encrypt) {
        encryptor.emplace(settings.password, expectedCrc);
        std::string header = encryptor->Header();
        std::optional<PkwareEncryptor> none;
        EntryOutput plain(sink, none);  // the header is encrypted already
        if (!plain.Write(header.data(), header.size())) return CompressResult::WriteFailed;
        result.compressedSize += header.size();
    }
    std::unique_ptr<Deflater> ownDeflater;
    Deflater* deflater = nullptr;
    std::unique_ptr<BlockDeflater> blocks;
    if (settings.deflate && settings.pool) {
        blocks = std::make_unique<BlockDeflater>(*settings.pool, settings.level);
    } else if (settings.deflate) {
        std::unique_ptr<Deflater>& slot = settings.cache ? settings.cache->deflater : ownDeflater;
        if (!slot || !slot->Reset(settings.level, settings.sizeLimit))
            slot = std::make_unique<Deflater>(settings.level, settings.sizeLimit);
        if (!slot->Ok()) return CompressResult::WriteFailed;
        deflater = slot.get();
    }

    LineEndConverter converter(lineEnds);
    std::string converted;
    std::uint32_t crc = Crc(0, nullptr, 0);
    std::uint64_t inputSize = 0;
    auto emit = [&](const char* data, std::size_t size, bool finish) {
        crc = Crc(crc, data, size);
        result.size += size;
        if (blocks) return blocks->Run(data, size, finish, out);
        return deflater ? deflater->Run(data, size, finish, out) : out.Write(data, size);
    };
    for (;;) {
        std::size_t got = 0;
        if (!input.Read(chunk.data(), chunk.size(), got, error)) return CompressResult::ReadFailed;
        inputSize += got;
        if (inputSize > settings.sizeLimit) return CompressResult::Changed;
        bool last = got < chunk.size();  // a short read is the end of the file
        const char* data = reinterpret_cast<const char*>(chunk.data());
        std::size_t size = got;
        if (lineEnds != LineEnds::Keep) {
            converted.clear();
            converter.Convert(chunk.data(), got, converted);
            if (last) converter.Finish(converted);
            data = converted.data();
            size = converted.size();
        }
        if (!emit(data, size, last)) return CompressResult::WriteFailed;
        if (last) break;
    }
    result.crc = crc;
    result.compressedSize += out.Written();
    if (surveyed && crc != expectedCrc) return CompressResult::Changed;
    return CompressResult::Ok;
}
