// Compresses one entry: a file in, its data as it goes into the archive out
// (stored or raw deflate, optionally line-end converted and encrypted), with
// CRC and sizes. Knows nothing of headers or of the archive around it, so
// entries can be compressed apart from the writer that places them.
#pragma once

#include "line_ends.h"
#include "platform.h"

#include <cstdint>
#include <memory>
#include <string_view>

class WorkerPool;
class Deflater;

// A deflater kept from one entry to the next by one thread: zlib's state (some
// 300 KiB) is reset between small files instead of allocated and cleared anew.
struct DeflaterCache {
    DeflaterCache();
    ~DeflaterCache();
    DeflaterCache(const DeflaterCache&) = delete;
    DeflaterCache& operator=(const DeflaterCache&) = delete;
    std::unique_ptr<Deflater> deflater;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(std::string_view bytes) = 0;
};

struct CompressSettings {
    bool deflate = true;          // false: stored
    int level = 6;                // 1..9 when deflating
    LineEnds lineEnds = LineEnds::Keep;
    bool encrypt = false;
    std::string_view password;    // code page 932 bytes, when encrypting
    std::uint64_t sizeLimit = UINT64_MAX;  // more input than this: the file grew while being read
    // With a pool, deflate works in 1 MiB blocks on its threads, each block
    // primed with the 32 KiB of input before it, and the blocks joined in
    // order into one stream. The result depends on the block size only, not
    // on the number of threads.
    WorkerPool* pool = nullptr;
    // Without a pool: the deflater to reuse, when the caller keeps one.
    DeflaterCache* cache = nullptr;
};

struct CompressedEntry {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;            // after line-end conversion
    std::uint64_t compressedSize = 0;  // encryption header included
    bool converted = false;            // text file whose line ends were converted
};

enum class CompressResult { Ok, ReadFailed, WriteFailed, Changed };

// Reads input from its start. With conversion or encryption the file is read
// twice (to tell text from binary and to know the CRC first, which the
// encryption header needs); Changed says it differed between the two reads
// or grew beyond sizeLimit.
CompressResult CompressEntry(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                             CompressedEntry& result, platform::Error& error);
