#include "engine_run.h"

#include "archive_reader.h"
#include "archive_writer.h"
#include "dos_time.h"
#include "entry_compressor.h"
#include "entry_name.h"
#include "file_walker.h"
#include "heartbeat.h"
#include "lock_wait.h"
#include "messages.h"
#include "platform.h"
#include "record_store.h"
#include "temp_archive.h"
#include "text_codec.h"
#include "update_plan.h"
#include "worker_pool.h"
#include "zip_format.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <vector>

using namespace zipfmt;

namespace {

#if defined(_WIN32)
constexpr bool kIgnoreCase = true;
#else
constexpr bool kIgnoreCase = false;
#endif

// "Made by" MS-DOS (FAT attributes), format version 2.0.
constexpr std::uint16_t kMadeBy = 20;

// The old archive as a ByteSource. Reads up to kReadAhead bytes are served
// from a window read ahead: the reader's look at the local headers and the
// raw copies both go through the file in order, mostly a few hundred bytes
// to a few KiB at a time, and every read is a system call.
class FileSource : public ByteSource {
public:
    FileSource(platform::File& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        std::size_t got = 0;
        if (size > kReadAhead) return file_.Seek(offset, error_) && file_.Read(buffer, size, got, error_) && got == size;
        if (offset < windowStart_ || offset - windowStart_ + size > window_.size()) {
            if (offset >= size_) return false;
            window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, size_ - offset)));
            windowStart_ = offset;
            bool read = file_.Seek(offset, error_) && file_.Read(window_.data(), window_.size(), got, error_);
            window_.resize(read ? got : 0);
            if (window_.size() < size) return false;
        }
        std::memcpy(buffer, window_.data() + (offset - windowStart_), size);
        return true;
    }
    const platform::Error& LastError() const { return error_; }

private:
    static constexpr std::size_t kReadAhead = 64 << 10;
    platform::File& file_;
    std::uint64_t size_;
    std::string window_;
    std::uint64_t windowStart_ = 0;
    platform::Error error_;
};

// The archive from its position when made: the entry's data.
class OutputSink : public ByteSink {
public:
    explicit OutputSink(ArchiveOutput& out) : out_(out), start_(out.Position()) {}
    bool Write(std::string_view bytes) override { return out_.Write(bytes); }
    bool Discard() override { return out_.Rewind(start_); }

private:
    ArchiveOutput& out_;
    std::uint64_t start_;
};

class StringSink : public ByteSink {
public:
    bool Write(std::string_view bytes) override {
        data.append(bytes);
        return true;
    }
    bool Discard() override {
        data.clear();
        return true;
    }
    std::string data;
};

// A small file compressed ahead of the writer on a worker thread.
struct Prepared {
    bool opened = false;
    FoundItem item;  // with the size and time of the open file
    CompressResult outcome = CompressResult::ReadFailed;
    CompressedEntry result;
    std::string data;
    platform::Error error;
};

// Files up to this size are compressed whole in memory, ahead of the writer;
// at most kAheadBudget bytes of them are in flight at a time.
constexpr std::uint64_t kSmallFile = 4 << 20;
constexpr std::uint64_t kAheadBudget = 32 << 20;

// Neighbouring small files go to the workers in batches of up to kBatchFiles
// files or kBatchBytes bytes: every job, future and wake-up costs system
// calls (under Wine, round trips to the wine server) that would otherwise
// cost more than reading and compressing a small file.
constexpr std::size_t kBatchFiles = 64;
constexpr std::uint64_t kBatchBytes = 1 << 20;
// Batches queued per worker: enough for the workers to go on while the
// writer's thread is away in a callback (the program's progress window takes
// a fifth of a second to show a large piece of log).
constexpr unsigned kBatchesPerWorker = 16;

// Plan entries read ahead of the one being written: the small files among
// them are handed to the workers.
constexpr std::size_t kPlanAhead = 4096;

// Small files of consecutive plan entries, compressed in one job.
struct Batch {
    std::uint64_t first = 0;  // plan position of the first of them
    std::size_t count = 0;
    std::uint64_t bytes = 0;
    JobResult<std::vector<Prepared>> results;
};

// A password that is wiped from memory when it goes.
class Secret {
public:
    explicit Secret(std::size_t capacity) : bytes_(capacity, '\0') {}
    ~Secret() { platform::Wipe(bytes_.data(), bytes_.size()); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    char* Buffer() { return bytes_.data(); }
    std::string_view View() const { return std::string_view(bytes_.data(), strnlen(bytes_.data(), bytes_.size())); }

private:
    std::vector<char> bytes_;
};

std::string TimestampField(std::int64_t modified) {
    Bytes field;
    field.U16(kExtraTimestamp);
    field.U16(5);
    field.U8(1);  // modification time only
    std::int64_t clamped = std::clamp<std::int64_t>(modified, 0, 0x7FFFFFFF);
    field.U32(static_cast<std::uint32_t>(clamped));
    return field.Data();
}

class ArchiveRun {
public:
    ArchiveRun(const ZipCallbacks& callbacks, const RequestOptions& options, const ZipFileList& files)
        : callbacks_(callbacks), options_(options.flags), request_(options), files_(files),
          report_(callbacks.print, options.flags.quiet != 0), beat_(callbacks.print, callbacks.service) {}

    // A stop asked at any poll ends the run as a cancel between entries
    // does; once the new archive is in place, only the deleting of the
    // originals can still be stopped.
    int Run() {
        try {
            return Steps();
        } catch (const RunStopped&) {
            report_.Problem(msg::Cancelled());
            return ZIP_CANCELLED;
        }
    }

    ArchiveRun(const ArchiveRun&) = delete;
    ArchiveRun& operator=(const ArchiveRun&) = delete;

private:
    int Steps() {
        int status = Prepare();
        if (status == ZIP_OK) status = ReadOldArchive();
        if (status == ZIP_OK) status = FindAndPlan();
        if (status != ZIP_OK) return status;
        if (plan_->selected == 0) {
            report_.Problem(msg::NothingMatched());
            return ZIP_NOTHING_TO_DO;
        }
        AskComment();
        if (plan_->changes == 0 && comment_ == oldComment_) {
            report_.Progress(msg::NothingToChange());
            return ZIP_OK;
        }
        status = AskPassword();
        if (status == ZIP_OK) status = WriteTemporary();
        if (status == ZIP_OK) status = PutInPlace();
        if (status != ZIP_OK) return status;
        std::size_t kept = static_cast<std::size_t>(writer_->Count()) - added_ - replaced_;
        report_.Progress(msg::Summary(added_, replaced_, kept, unread_));
        if (options_.move) DeleteOriginals();
        if (unread_ > 0 || !found_->problems.empty() || !found_->unmatched.empty() ||
            !found_->archiveItself.empty() || !found_->badPatterns.empty())
            return ZIP_PARTIAL;
        return undeleted_ > 0 ? ZIP_DELETE_FAILED : ZIP_OK;
    }

    bool Utf8(const char* request, std::string& utf8, const char* what) {
        if (request && text::RequestToUtf8(request, utf8)) return true;
        report_.Problem(msg::BadRequest(what));
        return false;
    }

    int Prepare() {
        if (!files_.archive || (files_.count > 0 && !files_.names) || files_.count < 0) {
            report_.Problem(msg::BadRequest("ファイル一覧"));
            return ZIP_BAD_REQUEST;
        }
        std::string archive, root;
        if (!Utf8(files_.archive, archive, "書庫名") || !Utf8(request_.rootDir.c_str(), root, "基準フォルダー"))
            return ZIP_BAD_REQUEST;
        archiveName_ = archive;
        if (!platform::ResolveFile(archive, archivePath_)) {
            report_.Problem(msg::BadRequest("書庫名"));
            return ZIP_BAD_REQUEST;
        }
        if (!platform::ResolveRoot(root, root_)) {
            report_.Problem(msg::BadRequest("基準フォルダー " + root));
            return ZIP_BAD_REQUEST;
        }
        for (int i = 0; i < files_.count; ++i) {
            std::string name;
            if (!Utf8(files_.names[i], name, "名前")) return ZIP_BAD_REQUEST;
            patterns_.push_back(name);
        }
        if ((options_.includeDate || options_.excludeDate) && !ParseFilterDate(request_.date, dateLimit_)) {
            report_.Problem(msg::BadRequest("日付 " + request_.date));
            return ZIP_BAD_REQUEST;
        }
        char level = options_.level;
        level_ = level >= '0' && level <= '9' ? level - '0' : 6;
        scratch_ = TempFolder();
        oldEntries_ = std::make_unique<RecordSpool>(scratch_);
        return ZIP_OK;
    }

    int ReadOldArchive() {
        platform::FileInfo info;
        platform::Error error;
        if (!platform::Stat(archivePath_, info, error)) {
            if (error.kind == platform::ErrorKind::NotFound) return ZIP_OK;  // a new archive
            report_.Problem(msg::CannotReadArchive(archiveName_, msg::Reason(error)));
            return ZIP_READ_FAILED;
        }
        if (info.isDirectory) {
            report_.Problem(msg::ArchiveIsFolder(archiveName_));
            return ZIP_NOT_A_ZIP;
        }
        if (info.isLink || info.isDevice) {
            report_.Problem(msg::NotAZip(archiveName_));
            return ZIP_NOT_A_ZIP;
        }
        std::uint64_t size = 0;
        auto open = [&](platform::Error& e) { return oldFile_.OpenRead(archivePath_, e); };
        RetryWhileLocked(open, error, beat_);
        if (!oldFile_.IsOpen() || !oldFile_.Size(size, error)) {
            report_.Problem(msg::CannotReadArchive(archiveName_, msg::Reason(error)));
            return ZIP_READ_FAILED;
        }
        oldSource_ = std::make_unique<FileSource>(oldFile_, size);
        auto keep = [this](const ExistingEntry& entry) {
            beat_.Beat();
            oldEntries_->Add(EncodeExistingEntry(entry));
        };
        switch (ReadArchive(*oldSource_, oldComment_, keep)) {
        case ReadResult::Ok:
            comment_ = oldComment_;
            return ZIP_OK;
        case ReadResult::NotZip:
            report_.Problem(msg::NotAZip(archiveName_));
            return ZIP_NOT_A_ZIP;
        default:
            report_.Problem(msg::CannotReadArchive(archiveName_, msg::Reason(oldSource_->LastError())));
            return ZIP_READ_FAILED;
        }
    }

    int FindAndPlan() {
        WalkOptions walk;
        walk.systemFiles = options_.systemFiles != 0;
        walk.shortNames = options_.shortNames != 0;
        walk.ignoreCase = kIgnoreCase;
        walk.exclude = archivePath_;
        walk.scratch = scratch_;
        walk.heartbeat = &beat_;
        found_ = std::make_unique<WalkResult>(scratch_);
        WalkPatterns(root_, patterns_, walk, *found_);
        RecordSpool::Reader skipped = found_->skipped.Read();
        for (std::string_view record; skipped.Next(record);) {
            beat_.Beat();
            std::string name(record.substr(1));
            report_.Progress(record[0] == kSkippedLink ? msg::LinkSkipped(name) : msg::DeviceSkipped(name));
        }
        for (const WalkProblem& p : found_->problems) report_.Problem(msg::CannotList(p.relative, msg::Reason(p.error)));
        for (const std::string& p : found_->badPatterns) report_.Problem(msg::OutsideRoot(p));
        for (const std::string& p : found_->unmatched) report_.Problem(msg::NoMatch(p));
        for (const std::string& p : found_->archiveItself) report_.Problem(msg::ArchiveItself(p));

        PlanOptions plan;
        plan.mode = options_.freshen ? UpdateMode::Freshen : options_.update ? UpdateMode::Update : UpdateMode::Add;
        plan.junkDirs = options_.junkDirs != 0;
        plan.noDirEntries = options_.noDirEntries != 0;
        plan.onOrAfter = options_.includeDate != 0;
        plan.before = options_.excludeDate != 0;
        plan.dateLimit = dateLimit_;
        plan.ignoreCase = kIgnoreCase;
        plan.heartbeat = &beat_;
        if (options_.volumeLabel) plan.volumeLabel = platform::VolumeLabel(root_);
        std::string first, second;
        plan_ = std::make_unique<Plan>(scratch_);
        if (MakePlan(*oldEntries_, found_->items, plan, scratch_, *plan_, first, second) == PlanResult::NameClash) {
            std::string name = first.substr(first.find_last_of('/') + 1);
            report_.Problem(msg::NameClash(first, second, name));
            return ZIP_NAME_CLASH;
        }
        return ZIP_OK;
    }

    void AskComment() {
        if (!options_.comment || !callbacks_.comment) return;
        std::vector<char> buffer(kZipCommentCapacity, '\0');
        std::memcpy(buffer.data(), oldComment_.data(), std::min(oldComment_.size(), buffer.size() - 1));
        callbacks_.comment(buffer.data());
        buffer.back() = '\0';
        comment_.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }

    int AskPassword() {
        if (!options_.encrypt || !plan_->readsFiles) return ZIP_OK;
        Secret confirm(kZipPasswordCapacity);
        std::string prompt = codec_.Readable(msg::PasswordPrompt());
        std::string again = codec_.Readable(msg::PasswordConfirmPrompt());
        std::string archive = codec_.Readable(archiveName_);
        callbacks_.password(password_.Buffer(), kZipPasswordCapacity, prompt.c_str(), archive.c_str());
        password_.Buffer()[kZipPasswordCapacity - 1] = '\0';
        if (password_.View().empty()) {
            report_.Problem(msg::NoPassword());
            return ZIP_PASSWORD;
        }
        callbacks_.password(confirm.Buffer(), kZipPasswordCapacity, again.c_str(), archive.c_str());
        confirm.Buffer()[kZipPasswordCapacity - 1] = '\0';
        if (confirm.View() != password_.View()) {
            report_.Problem(msg::PasswordMismatch());
            return ZIP_PASSWORD;
        }
        return ZIP_OK;
    }

    platform::Path TempFolder() const {
        if (options_.useTempDir && !request_.tempDir.empty()) {
            std::string dir;
            platform::Path path;
            if (text::RequestToUtf8(request_.tempDir, dir) && platform::ResolveRoot(dir, path)) return path;
        }
        return platform::Parent(archivePath_);
    }

    int WriteTemporary() {
        platform::Error error;
        if (!temp_.Create(scratch_, beat_, error)) {
            report_.Problem(msg::CannotCreateTemp(msg::Reason(error)));
            return ZIP_OPEN_FAILED;
        }
        output_ = std::make_unique<ArchiveOutput>(temp_.File());
        writer_ = std::make_unique<ArchiveWriter>(*output_, scratch_, &beat_);
        stored_ = std::make_unique<RecordSpool>(scratch_);
        // Small files are compressed ahead on all processors; the archive is
        // still written in plan order, so it does not depend on the timing.
        WorkerPool pool(CompressionThreads());
        RecordSpool::Reader plan = plan_->entries.Read();
        std::deque<PlannedEntry> window;  // plan entries from position i on
        std::deque<Batch> ahead;  // in plan order
        std::vector<Prepared> ready;  // the results of ahead.front(), once taken
        std::uint64_t nextAhead = 0;
        std::uint64_t bytesAhead = 0;
        for (std::uint64_t i = 0;; ++i) {
            beat_.Beat();
            for (std::string_view record; window.size() < kPlanAhead && plan.Next(record);)
                window.push_back(DecodePlannedEntry(record));
            if (window.empty()) break;
            std::uint64_t end = i + window.size();
            while (nextAhead < end && bytesAhead < kAheadBudget &&
                   ahead.size() <= kBatchesPerWorker * std::max(1u, pool.Threads())) {
                if (nextAhead < i || !IsSmallFile(window[nextAhead - i])) {
                    ++nextAhead;
                    continue;
                }
                ahead.push_back(NextBatch(window, i, nextAhead, bytesAhead, pool));
                bytesAhead += ahead.back().bytes;
            }
            const PlannedEntry& entry = window.front();
            int status = ZIP_OK;
            if (!ahead.empty() && ahead.front().first <= i) {
                Batch& batch = ahead.front();
                if (ready.empty()) ready = beat_.Await(batch.results);
                status = AddPrepared(entry, ready[i - batch.first], pool);
                if (i + 1 == batch.first + batch.count) {
                    bytesAhead -= batch.bytes;
                    ahead.pop_front();
                    ready.clear();
                }
            } else {
                switch (entry.source) {
                case PlannedEntry::Source::Existing: status = CopyOld(entry.old); break;
                case PlannedEntry::Source::File: status = AddFile(entry, pool); break;
                case PlannedEntry::Source::VolumeLabel: status = AddLabel(entry); break;
                }
            }
            if (status != ZIP_OK) return status;
            window.pop_front();
        }
        if (!writer_->Finish(comment_)) return WriteFailed();
        return ZIP_OK;
    }

    // Takes the small files from plan position next on, up to a batch's
    // limits and without going past the budget, and submits them as one job.
    // window holds the plan from position first on.
    Batch NextBatch(const std::deque<PlannedEntry>& window, std::uint64_t first, std::uint64_t& next,
                    std::uint64_t bytesAhead, WorkerPool& pool) {
        Batch batch;
        batch.first = next;
        std::vector<FoundItem> items;
        while (next < first + window.size() && IsSmallFile(window[next - first]) && items.size() < kBatchFiles &&
               batch.bytes < kBatchBytes && bytesAhead + batch.bytes < kAheadBudget) {
            items.push_back(window[next - first].item);
            batch.bytes += InFlightSize(items.back());
            ++next;
        }
        batch.count = items.size();
        batch.results = pool.Submit([this, items = std::move(items), &pool]() {
            DeflaterCache cache;
            std::vector<Prepared> results;
            for (const FoundItem& item : items) {
                if (pool.Stopping()) break;  // the run ends: nobody reads the results
                results.push_back(Prepare(item, cache));
            }
            return results;
        });
        return batch;
    }

    bool IsSmallFile(const PlannedEntry& entry) const {
        if (entry.source != PlannedEntry::Source::File) return false;
        const platform::FileInfo& info = entry.item.info;
        return !info.isDirectory && info.size <= kSmallFile;
    }

    std::uint64_t InFlightSize(const FoundItem& item) const {
        return item.info.size * (options_.lfToCrlf && !options_.crlfToLf ? 2 : 1);
    }

    CompressSettings SettingsFor(const FoundItem& item) const {
        CompressSettings settings;
        settings.deflate = level_ > 0 && item.info.size > 0;
        settings.level = level_;
        settings.lineEnds = ChooseLineEnds(options_.crlfToLf != 0, options_.lfToCrlf != 0);
        settings.encrypt = options_.encrypt != 0;
        settings.password = password_.View();
        settings.sizeLimit = item.info.size;
        return settings;
    }

    // Opens an input shared with other programs, and takes its size and
    // time from the open file: a folder's listing may show a file of several
    // names (hard links) as it was before its last change.
    static bool OpenInput(const FoundItem& found, platform::File& input, FoundItem& opened, platform::Error& error) {
        platform::FileInfo status;
        if (!input.OpenInput(found.path, error) || !input.Status(status, error)) return false;
        opened = found;
        opened.info.size = status.size;
        opened.info.modified = status.modified;
        return true;
    }

    // What CompressEntry made of a file that may have been written meanwhile:
    // the open file must still have the size and time it had when opened.
    static CompressResult Checked(CompressResult outcome, platform::File& input, const FoundItem& opened) {
        platform::FileInfo now;
        platform::Error ignored;
        if (outcome == CompressResult::Ok &&
            (!input.Status(now, ignored) || now.size != opened.info.size || now.modified != opened.info.modified))
            return CompressResult::Changed;
        return outcome;
    }

    // On a worker thread: touches nothing but the file and its own result.
    Prepared Prepare(const FoundItem& item, DeflaterCache& cache) const {
        Prepared prepared;
        platform::File input;
        prepared.opened = OpenInput(item, input, prepared.item, prepared.error);
        if (!prepared.opened) return prepared;
        StringSink sink;
        CompressSettings settings = SettingsFor(prepared.item);
        settings.cache = &cache;
        prepared.outcome = Checked(CompressEntry(input, settings, sink, prepared.result, prepared.error), input,
                                   prepared.item);
        prepared.data = std::move(sink.data);
        return prepared;
    }

    int WriteFailed() {
        report_.Problem(msg::CannotWriteTemp(msg::Reason(output_->LastError())));
        return ZIP_WRITE_FAILED;
    }

    int CopyOld(const ExistingEntry& old) {
        EntryRecord record;
        switch (writer_->CopyEntry(*oldSource_, old, record)) {
        case ArchiveWriter::CopyResult::ReadFailed:
            report_.Problem(msg::CannotReadArchive(archiveName_, msg::Reason(oldSource_->LastError())));
            return ZIP_READ_FAILED;
        case ArchiveWriter::CopyResult::WriteFailed:
            return WriteFailed();
        default:
            Record(record);
            return ZIP_OK;
        }
    }

    // Why a file could not be read; one that another program holds is named as such.
    std::string ReadProblem(const std::string& name, const platform::Error& error) const {
        if (error.kind == platform::ErrorKind::SharingViolation) return msg::InUse(name, options_.move != 0);
        return msg::CannotRead(name, msg::Reason(error));
    }

    EntryRecord NewRecord(const std::string& name, std::int64_t modified, std::uint32_t attributes) {
        StoredName stored = MakeStoredName(name);
        EntryRecord record;
        record.storedName = stored.bytes;
        record.flags = stored.flags;
        record.versionMadeBy = kMadeBy;
        record.versionNeeded = kVersionStore;
        record.method = kMethodStore;
        record.time = ToDosTime(modified);
        record.externalAttributes = attributes;
        std::string extra = options_.noExtraFields ? std::string() : TimestampField(modified);
        record.localExtra = extra + stored.extra;
        record.centralExtra = extra + stored.extra;
        return record;
    }

    // The header fields of a file entry that depend on how it is compressed:
    // as far as they are known before (deflated is a guess until then) and
    // once the data is written.
    void Describe(EntryRecord& record, const CompressSettings& settings, std::uint64_t inputSize) const {
        if (settings.encrypt) record.flags |= kFlagEncrypted;
        record.localZip64 = MayNeedZip64(inputSize, settings.lineEnds == LineEnds::ToCrLf);
        DescribeData(record, settings.deflate);
    }
    void DescribeData(EntryRecord& record, bool deflated) const {
        record.method = deflated ? kMethodDeflate : kMethodStore;
        record.versionNeeded = deflated || (record.flags & kFlagEncrypted) ? kVersionDeflate : kVersionStore;
        if (record.localZip64) record.versionNeeded = kVersionZip64;
    }
    void DescribeData(EntryRecord& record, const CompressedEntry& result) const {
        DescribeData(record, result.deflated);
        record.crc = result.crc;
        record.size = result.size;
        record.compressedSize = result.compressedSize;
    }

    // Puts the entry into the central directory.
    void Record(const EntryRecord& record) {
        writer_->AddToDirectory(record);
        if (!(record.externalAttributes & kVolumeLabelAttribute))
            newestEntry_ = std::max(newestEntry_, FromDosTime(record.time));
    }

    void Stored(const PlannedEntry& entry, const FoundItem& opened, const EntryRecord& record,
                const CompressSettings& settings, const CompressedEntry& result) {
        Record(record);
        ++(entry.replaces ? replaced_ : added_);
        stored_->Add(EncodeFoundItem(opened));
        report_.End(msg::AddedHead(entry.name, entry.replaces),
                    msg::AddedResult(result.deflated, result.size, result.compressedSize, result.converted,
                                     settings.encrypt));
    }

    int AddPrepared(const PlannedEntry& entry, const Prepared& prepared, WorkerPool& pool) {
        const std::string& name = entry.name;
        const FoundItem& item = entry.item;
        beat_.Entry(name, item.info.size);
        // A worker cannot wait for a lock (it must not call back); this thread can.
        if (!prepared.opened && MayBeTransientLock(prepared.error)) return StreamFile(entry, pool);
        if (!prepared.opened || prepared.outcome == CompressResult::ReadFailed)
            return Unreadable(entry, ReadProblem(name, prepared.error));
        if (prepared.outcome == CompressResult::Changed) return Unreadable(entry, msg::ChangedWhileReading(name));
        const FoundItem& opened = prepared.item;
        CompressSettings settings = SettingsFor(opened);
        EntryRecord record = NewRecord(name, opened.info.modified, opened.info.attributes);
        Describe(record, settings, opened.info.size);
        DescribeData(record, prepared.result);
        if (!writer_->BeginEntry(record) || !output_->Write(prepared.data)) return WriteFailed();
        Stored(entry, opened, record, settings, prepared.result);
        return ZIP_OK;
    }

    int AddFile(const PlannedEntry& entry, WorkerPool& pool) {
        const std::string& name = entry.name;
        const FoundItem& item = entry.item;
        beat_.Entry(name, item.info.size);
        if (item.info.isDirectory) {
            EntryRecord record = NewRecord(name, item.info.modified, item.info.attributes);
            if (!writer_->BeginEntry(record)) return WriteFailed();
            Record(record);
            ++added_;
            report_.Progress(msg::AddedFolder(name));
            return ZIP_OK;
        }
        return StreamFile(entry, pool);
    }

    // Larger files stream into the archive, deflated in pieces on the pool.
    int StreamFile(const PlannedEntry& entry, WorkerPool& pool) {
        const std::string& name = entry.name;
        const FoundItem& item = entry.item;
        platform::File input;
        platform::Error error;
        FoundItem opened;
        auto open = [&](platform::Error& e) { return OpenInput(item, input, opened, e); };
        if (!RetryWhileLocked(open, error, beat_)) return Unreadable(entry, ReadProblem(name, error));

        EntryRecord record = NewRecord(name, opened.info.modified, opened.info.attributes);
        CompressSettings settings = SettingsFor(opened);
        settings.pool = &pool;
        settings.heartbeat = &beat_;
        // The line shows the entry from its start: a mark at every tenth.
        report_.Begin(msg::AddedHead(name, entry.replaces));
        int marks = 0;
        settings.progress = [&](double done) {
            for (; marks < static_cast<int>(done * 10); ++marks) report_.Mark();
        };
        Describe(record, settings, opened.info.size);
        if (!writer_->BeginEntry(record)) return WriteFailed();
        OutputSink sink(*output_);
        CompressedEntry result;
        CompressResult outcome = Checked(CompressEntry(input, settings, sink, result, error), input, opened);
        if (outcome == CompressResult::WriteFailed) return WriteFailed();
        std::string problem;
        if (outcome == CompressResult::ReadFailed) problem = ReadProblem(name, error);
        else if (outcome == CompressResult::Changed) problem = msg::ChangedWhileReading(name);
        else if (!record.localZip64 && (result.size >= kMax32 || result.compressedSize >= kMax32))
            problem = msg::TooLarge(name);
        if (!problem.empty()) {
            if (!writer_->AbandonEntry(record)) return WriteFailed();
            return Unreadable(entry, problem);
        }
        DescribeData(record, result);
        if (!writer_->CompleteEntry(record)) return WriteFailed();
        Stored(entry, opened, record, settings, result);
        return ZIP_OK;
    }

    // A file that could not be read: reported, and the entry it was to
    // replace stays as it was.
    int Unreadable(const PlannedEntry& entry, const std::string& problem) {
        report_.Problem(problem);
        ++unread_;
        if (!entry.replaces) return ZIP_OK;
        report_.Problem(msg::KeptOldEntry(entry.name));
        return CopyOld(entry.old);
    }

    int AddLabel(const PlannedEntry& entry) {
        const std::string& name = entry.name;
        beat_.Entry(name, 0);
        StoredName stored = MakeStoredName(name);
        EntryRecord record;
        record.storedName = stored.bytes;
        record.flags = stored.flags;
        record.versionMadeBy = kMadeBy;
        record.versionNeeded = kVersionStore;
        record.time = ToDosTime(0);
        record.externalAttributes = kVolumeLabelAttribute;
        record.localExtra = record.centralExtra = stored.extra;
        if (!writer_->BeginEntry(record)) return WriteFailed();
        Record(record);
        ++(entry.replaces ? replaced_ : added_);
        report_.Progress(msg::AddedVolumeLabel(name));
        return ZIP_OK;
    }

    int PutInPlace() {
        oldFile_.Close();
        std::optional<std::int64_t> modified;
        if (options_.latestTime && writer_->Count() > 0) modified = newestEntry_;
        platform::Error error;
        switch (temp_.Commit(archivePath_, modified, error)) {
        case TempArchive::CommitResult::Ok:
            return ZIP_OK;
        case TempArchive::CommitResult::LeftBehind:
            report_.Problem(msg::TempLeftBehind(msg::Reason(error)));
            return ZIP_OK;
        case TempArchive::CommitResult::CreateFailed:
            report_.Problem(msg::CannotCreateTemp(msg::Reason(error)));
            return ZIP_OPEN_FAILED;
        default:
            report_.Problem(msg::CannotReplace(archiveName_, msg::Reason(error)));
            return ZIP_WRITE_FAILED;
        }
    }

    // Move: only files the new archive holds go, then the folders this empties.
    // A file changed since it was found is kept: the archive holds an older content.
    void DeleteOriginals() {
        std::size_t deleted = 0;
        try {
            DeleteStoredFiles(deleted);
            RemoveEmptiedFolders();
        } catch (const ScratchError& e) {
            // The new archive is in place: what was not deleted stays.
            ++undeleted_;
            report_.Problem(msg::DeletingStopped(msg::Reason(e.error)));
        } catch (const RunStopped&) {
            ++undeleted_;
            report_.Problem(msg::DeletingCancelled());
        } catch (...) {
            ++undeleted_;
            report_.Problem(msg::DeletingStopped(msg::NoResourcesReason()));
        }
        report_.Progress(msg::Deleted(deleted));
    }

    void DeleteStoredFiles(std::size_t& deleted) {
        RecordSpool::Reader stored = stored_->Read();
        for (std::string_view record; stored.Next(record);) {
            beat_.Beat();
            FoundItem item = DecodeFoundItem(record);
            platform::FileInfo now;
            platform::Error error;
            if (platform::Stat(item.path, now, error) &&
                (now.size != item.info.size || now.modified != item.info.modified)) {
                ++undeleted_;
                report_.Problem(msg::ChangedSinceStored(item.relative));
                continue;
            }
            auto remove = [&](platform::Error& e) { return platform::RemoveFile(item.path, e); };
            if (RetryWhileLocked(remove, error, beat_)) {
                ++deleted;
                continue;
            }
            ++undeleted_;
            report_.Problem(msg::CannotDelete(item.relative, msg::Reason(error)));
        }
    }

    // The deepest folders first: a folder empties once those below it go.
    void RemoveEmptiedFolders() {
        RecordSorter folders(scratch_);
        RecordSpool::Reader found = found_->items.Read();
        for (std::string_view record; found.Next(record);) {
            beat_.Beat();
            FoundItem item = DecodeFoundItem(record);
            if (item.info.isDirectory)
                folders.Add(NumberKey(UINT64_MAX - item.path.size()), RecordOut().Path(item.path).Data());
        }
        folders.Sort(&beat_);
        for (std::string_view key, path; folders.Next(key, path);) {
            beat_.Beat();
            platform::RemoveEmptyDirectory(RecordIn(path).Path());
        }
    }

    const ZipCallbacks& callbacks_;
    const ZipOptions& options_;
    const RequestOptions& request_;
    const ZipFileList& files_;
    Reporter report_;
    Heartbeat beat_;

    std::string archiveName_;
    text::Cp932Codec codec_;  // the names and prompts handed to the callbacks
    platform::Path archivePath_;
    platform::Path root_;
    std::vector<std::string> patterns_;
    std::int64_t dateLimit_ = 0;
    int level_ = 6;

    platform::Path scratch_;  // where the temporary archive and the scratch files go
    platform::File oldFile_;
    std::unique_ptr<FileSource> oldSource_;
    std::unique_ptr<RecordSpool> oldEntries_;  // ExistingEntry records
    std::string oldComment_;
    std::unique_ptr<WalkResult> found_;
    std::unique_ptr<Plan> plan_;
    std::string comment_;
    Secret password_{kZipPasswordCapacity};

    TempArchive temp_;
    std::unique_ptr<ArchiveOutput> output_;
    std::unique_ptr<ArchiveWriter> writer_;
    std::unique_ptr<RecordSpool> stored_;  // FoundItem records of the files now in the archive
    std::size_t added_ = 0, replaced_ = 0, unread_ = 0, undeleted_ = 0;
    std::int64_t newestEntry_ = 0;  // of the entries written, volume labels aside
};

}  // namespace

int RunArchive(const ZipCallbacks& callbacks, const RequestOptions& options, const ZipFileList& files) {
    try {
        ArchiveRun run(callbacks, options, files);
        return run.Run();
    } catch (const std::bad_alloc&) {
        Reporter(callbacks.print, false).Problem(msg::NoMemory());
        return ZIP_NO_MEMORY;
    } catch (const ScratchError& e) {
        Reporter(callbacks.print, false).Problem(msg::CannotWriteTemp(msg::Reason(e.error)));
        return ZIP_WRITE_FAILED;
    } catch (...) {
        // Anything else the library may throw (a lock the system cannot
        // give, a length it cannot hold) ends the run as a failure. The
        // archive is not replaced yet: the deletes after that catch
        // everything themselves.
        Reporter(callbacks.print, false).Problem(msg::NoResources());
        return ZIP_NO_MEMORY;
    }
}
