// The engine's texts for the progress log: Japanese, one line per entry and
// a summary, handed to ZipPrint in code page 932. Names inside are UTF-8
// until the whole line is converted; a character that code page 932 lacks
// is shown as its code point, "<U+301C>" (zip32.h).
#pragma once

#include "platform.h"
#include "text_codec.h"
#include "zip32.h"

#include <cstdint>
#include <string>

namespace msg {

std::string Reason(const platform::Error& error);

// A file's line in two parts, so that a large file's can be shown as it goes.
std::string AddedHead(const std::string& name, bool replaced);
std::string AddedResult(bool deflated, std::uint64_t size, std::uint64_t compressed, bool converted, bool encrypted);
std::string AddedFolder(const std::string& name);
std::string AddedVolumeLabel(const std::string& label);
std::string CannotRead(const std::string& name, const std::string& reason);
// A file another program holds open without sharing; in move mode it is kept.
std::string InUse(const std::string& name, bool moving);
std::string ChangedWhileReading(const std::string& name);
std::string TooLarge(const std::string& name);
std::string KeptOldEntry(const std::string& name);
std::string LinkSkipped(const std::string& name);
std::string DeviceSkipped(const std::string& name);
std::string CannotList(const std::string& name, const std::string& reason);
std::string OutsideRoot(const std::string& pattern);
std::string NoMatch(const std::string& pattern);
std::string ArchiveItself(const std::string& pattern);
std::string CannotDelete(const std::string& name, const std::string& reason);
std::string ChangedSinceStored(const std::string& name);
std::string DeletingStopped(const std::string& reason);
std::string DeletingCancelled();
std::string TempLeftBehind(const std::string& reason);

std::string BadRequest(const std::string& what);
std::string NotAZip(const std::string& archive);
std::string ArchiveIsFolder(const std::string& archive);
std::string CannotReadArchive(const std::string& archive, const std::string& reason);
std::string CannotCreateTemp(const std::string& reason);
std::string CannotWriteTemp(const std::string& reason);
std::string CannotReplace(const std::string& archive, const std::string& reason);
std::string NameClash(const std::string& first, const std::string& second, const std::string& name);
std::string NoPassword();
std::string PasswordMismatch();
std::string PasswordPrompt();
std::string PasswordConfirmPrompt();
std::string Cancelled();
std::string NothingMatched();
std::string NothingToChange();
std::string NoMemory();
std::string NoResources();
std::string NoResourcesReason();
std::string Summary(std::size_t added, std::size_t replaced, std::size_t kept, std::size_t failed);
std::string Deleted(std::size_t files);

}  // namespace msg

// Sends lines to ZipPrint. Progress lines (one per entry, skipped items, the
// summary) are dropped when the run is quiet; failures always go out. A line
// wider than the progress log is broken after its sentences, so that its
// conclusion shows at the log's left edge.
//
// A large entry's line is shown as the entry goes: Begin with its head,
// Mark as it progresses, End with its result (all three progress lines).
// End without Begin sends head and result as one line. Any other line sent
// while one is open ends it first.
class Reporter {
public:
    Reporter(ZipPrintFn print, bool quiet) : print_(print), quiet_(quiet) {}
    void Progress(const std::string& utf8Line);
    void Problem(const std::string& utf8Line);
    void Begin(const std::string& utf8Head);
    void Mark();
    void End(const std::string& utf8Head, const std::string& utf8Result);

    // Columns (half-width characters) the progress log shows without
    // scrolling sideways.
    static constexpr std::size_t kLogColumns = 48;

private:
    void Send(const std::string& utf8Line);
    void Print(const std::string& utf8Text);
    text::Cp932Codec codec_;
    ZipPrintFn print_;
    bool quiet_;
    bool open_ = false;  // a line was begun and not ended
    bool marked_ = false;  // the open line has marks
};
