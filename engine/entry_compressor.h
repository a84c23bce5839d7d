// Compresses one entry: a file in, its data as it goes into the archive out
// (stored or raw deflate, optionally line-end converted and encrypted), with
// CRC and sizes. Knows nothing of headers or of the archive around it, so
// entries can be compressed apart from the writer that places them.
// Whether the data is deflated or stored is decided as store_or_deflate.h
// says, and told in the result.
#pragma once

#include "heartbeat.h"
#include "line_ends.h"
#include "platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class WorkerPool;
class EntryDeflater;

// The compressors kept from one entry to the next by one thread.
struct DeflaterCache {
    DeflaterCache();
    ~DeflaterCache();
    DeflaterCache(const DeflaterCache&) = delete;
    DeflaterCache& operator=(const DeflaterCache&) = delete;
    std::unique_ptr<EntryDeflater> deflater;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(std::string_view bytes) = 0;
    // Drops everything written so far, to write the entry again.
    virtual bool Discard() = 0;
};

struct CompressSettings {
    bool deflate = true;          // false: stored
    int level = 6;                // 1..9 when deflating
    LineEnds lineEnds = LineEnds::Keep;
    bool encrypt = false;
    std::string_view password;    // code page 932 bytes, when encrypting
    std::uint64_t fileSize = 0;   // as opened: more or less input means it changed while being read
    // Without a pool the file is read whole into memory and compressed on
    // the calling thread, with the cache's compressors when there is one.
    // With a pool it streams: 1 MiB pieces are deflated apart on the pool's
    // threads and joined in order into one stream, so the result does not
    // depend on the number of threads.
    WorkerPool* pool = nullptr;
    DeflaterCache* cache = nullptr;
    // Only on the thread that runs the request, when streaming: beaten at
    // every piece and while pieces are awaited, and told after every piece
    // read how much of the work is done, from 0 to 1 (a file read twice
    // counts both reads).
    Heartbeat* heartbeat = nullptr;
    std::function<void(double done)> progress;
};

struct CompressedEntry {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;            // after line-end conversion
    std::uint64_t compressedSize = 0;  // encryption header included
    bool deflated = false;             // else stored
    bool converted = false;            // text file whose line ends were converted
};

enum class CompressResult { Ok, ReadFailed, WriteFailed, Changed };

// Reads input from its start. A streamed file is read twice with conversion
// or encryption (to tell text from binary and to know the CRC first, which
// the encryption header needs), and again from the start when it is to be
// written another way than it began (stored after all, or deflated from a
// later piece on): the sink is then told to discard what it has. Changed
// says the file differed between two reads or was not fileSize long.
CompressResult CompressEntry(platform::File& input, const CompressSettings& settings, ByteSink& sink,
                             CompressedEntry& result, platform::Error& error);
