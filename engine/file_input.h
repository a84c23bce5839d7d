// A file's way into the archive, on any thread: opened sharing with other
// programs, compressed as the request says, and checked not to have
// changed while it was read. A worker's job shares it, and may outlive the
// run.
#pragma once

#include "entry_compressor.h"
#include "file_walker.h"
#include "line_ends.h"
#include "platform.h"
#include "secret.h"

#include <cstdint>
#include <string_view>

class FileInput {
public:
    // password: code page 932; a copy is kept.
    FileInput(int level, LineEnds lineEnds, bool encrypt, std::string_view password)
        : level_(level), lineEnds_(lineEnds), encrypt_(encrypt), password_(password.size() + 1) {
        password.copy(password_.Buffer(), password.size());
    }

    CompressSettings SettingsFor(const FoundItem& item) const;
    // What a file takes in memory once read (LF -> CR/LF may double it).
    std::uint64_t InFlightSize(const FoundItem& item) const;

    // Opens an input shared with other programs, and takes its size and
    // time from the open file: a folder's listing may show a file of several
    // names (hard links) as it was before its last change.
    static bool Open(const FoundItem& found, platform::File& input, FoundItem& opened, platform::Error& error);
    // What CompressEntry made of a file that may have been written meanwhile:
    // it read exactly the size the file had when opened, and the open file
    // must still have the time it had then.
    static CompressResult Checked(CompressResult outcome, platform::File& input, const FoundItem& opened);

private:
    int level_;
    LineEnds lineEnds_;
    bool encrypt_;
    Secret password_;
};
