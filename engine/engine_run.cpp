#include "engine_run.h"

#include "archive_reader.h"
#include "archive_writer.h"
#include "compress_ahead.h"
#include "delete_originals.h"
#include "dos_time.h"
#include "entry_compressor.h"
#include "file_input.h"
#include "file_source.h"
#include "file_walker.h"
#include "heartbeat.h"
#include "host_prompts.h"
#include "lock_wait.h"
#include "messages.h"
#include "new_record.h"
#include "platform.h"
#include "record_store.h"
#include "run_request.h"
#include "secret.h"
#include "temp_archive.h"
#include "update_plan.h"
#include "worker_pool.h"
#include "zip_format.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

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

class ArchiveRun {
public:
    ArchiveRun(const ZipCallbacks& callbacks, const RequestOptions& options, const ZipFileList& files)
        : callbacks_(callbacks), options_(options.flags), requestOptions_(options), files_(files),
          report_(callbacks.print, options.flags.quiet != 0), beat_(callbacks.print, callbacks.service) {}

    // A stop asked at any poll ends the run as a cancel between entries
    // does; once the new archive is in place, only the deleting of the
    // originals can still be stopped.
    int Run() {
        try {
            return Steps();
        } catch (const RunStopped&) {
            return Fail(ZIP_CANCELLED, msg::Cancelled());
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
        if (plan_->selected == 0) return Fail(ZIP_NOTHING_TO_DO, msg::NothingMatched());
        if (options_.comment) comment_ = AskComment(callbacks_, oldComment_);
        if (plan_->changes == 0 && comment_ == oldComment_) {
            report_.Progress(msg::NothingToChange());
            return ZIP_OK;
        }
        bool asksPassword = options_.encrypt && plan_->readsFiles;
        if (asksPassword && !AskPassword(callbacks_, request_.archiveName, password_, report_)) return ZIP_PASSWORD;
        status = WriteTemporary();
        if (status == ZIP_OK) status = PutInPlace();
        if (status != ZIP_OK) return status;
        std::size_t kept = static_cast<std::size_t>(writer_->Count()) - added_ - replaced_;
        report_.Progress(msg::Summary(added_, replaced_, kept, unread_));
        if (options_.move) undeleted_ = DeleteOriginals(*stored_, found_->items, request_.scratch, report_, beat_);
        if (unread_ > 0 || !found_->problems.empty() || !found_->unmatched.empty() ||
            !found_->archiveItself.empty() || !found_->badPatterns.empty())
            return ZIP_PARTIAL;
        return undeleted_ > 0 ? ZIP_DELETE_FAILED : ZIP_OK;
    }

    // Every failure of a run: its line in the log, and its status.
    int Fail(int status, const std::string& problem) {
        report_.Problem(problem);
        return status;
    }

    int Prepare() {
        if (!ReadRequest(files_, requestOptions_, report_, request_)) return ZIP_BAD_REQUEST;
        oldEntries_ = std::make_unique<RecordSpool>(request_.scratch);
        return ZIP_OK;
    }

    int ReadOldArchive() {
        platform::FileInfo info;
        platform::Error error;
        if (!platform::Stat(request_.archivePath, info, error)) {
            if (error.kind == platform::ErrorKind::NotFound) return ZIP_OK;  // a new archive
            return Fail(ZIP_READ_FAILED, msg::CannotReadArchive(request_.archiveName, msg::Reason(error)));
        }
        if (info.isDirectory) return Fail(ZIP_NOT_A_ZIP, msg::ArchiveIsFolder(request_.archiveName));
        if (info.isLink || info.isDevice) return Fail(ZIP_NOT_A_ZIP, msg::NotAZip(request_.archiveName));
        std::uint64_t size = 0;
        auto open = [&](platform::Error& e) { return oldFile_.OpenRead(request_.archivePath, e); };
        RetryWhileLocked(open, error, beat_);
        if (!oldFile_.IsOpen() || !oldFile_.Size(size, error))
            return Fail(ZIP_READ_FAILED, msg::CannotReadArchive(request_.archiveName, msg::Reason(error)));
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
            return Fail(ZIP_NOT_A_ZIP, msg::NotAZip(request_.archiveName));
        default:
            return OldArchiveUnreadable();
        }
    }

    int OldArchiveUnreadable() {
        const std::string& name = request_.archiveName;
        return Fail(ZIP_READ_FAILED, msg::CannotReadArchive(name, msg::Reason(oldSource_->LastError())));
    }

    int FindAndPlan() {
        WalkOptions walk;
        walk.systemFiles = options_.systemFiles != 0;
        walk.shortNames = options_.shortNames != 0;
        walk.ignoreCase = platform::kNamesIgnoreCase;
        walk.exclude = request_.archivePath;
        walk.scratch = request_.scratch;
        walk.heartbeat = &beat_;
        found_ = std::make_unique<WalkResult>(request_.scratch);
        WalkPatterns(request_.root, request_.patterns, walk, *found_);
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
        plan.dateLimit = request_.dateLimit;
        plan.ignoreCase = platform::kNamesIgnoreCase;
        plan.heartbeat = &beat_;
        if (options_.volumeLabel) plan.volumeLabel = platform::VolumeLabel(request_.root);
        std::string first, second;
        plan_ = std::make_unique<Plan>(request_.scratch);
        if (MakePlan(*oldEntries_, found_->items, plan, request_.scratch, *plan_, first, second) == PlanResult::Ok)
            return ZIP_OK;
        return Fail(ZIP_NAME_CLASH, msg::NameClash(first, second, first.substr(first.find_last_of('/') + 1)));
    }

    int WriteTemporary() {
        platform::Error error;
        if (!temp_.Create(request_.scratch, beat_, error))
            return Fail(ZIP_OPEN_FAILED, msg::CannotCreateTemp(msg::Reason(error)));
        output_ = std::make_unique<ArchiveOutput>(temp_.File());
        writer_ = std::make_unique<ArchiveWriter>(*output_, request_.scratch, &beat_);
        stored_ = std::make_unique<RecordSpool>(request_.scratch);
        LineEnds lineEnds = ChooseLineEnds(options_.crlfToLf != 0, options_.lfToCrlf != 0);
        auto input = std::make_shared<const FileInput>(request_.level, lineEnds, options_.encrypt != 0,
                                                       password_.View());
        WorkerPool pool(CompressionThreads());
        CompressAhead plan(plan_->entries, input, pool, beat_);
        const Prepared* prepared = nullptr;
        while (const PlannedEntry* entry = plan.Next(prepared)) {
            int status = ZIP_OK;
            if (prepared) {
                status = AddPrepared(*entry, *prepared, *input, pool);
            } else {
                switch (entry->source) {
                case PlannedEntry::Source::Existing: status = CopyOld(entry->old); break;
                case PlannedEntry::Source::File: status = AddFile(*entry, *input, pool); break;
                case PlannedEntry::Source::VolumeLabel: status = AddLabel(*entry); break;
                }
            }
            if (status != ZIP_OK) return status;
        }
        if (!writer_->Finish(comment_)) return WriteFailed();
        return ZIP_OK;
    }

    int WriteFailed() { return Fail(ZIP_WRITE_FAILED, msg::CannotWriteTemp(msg::Reason(output_->LastError()))); }

    int CopyOld(const ExistingEntry& old) {
        EntryRecord record;
        switch (writer_->CopyEntry(*oldSource_, old, record)) {
        case ArchiveWriter::CopyResult::ReadFailed: return OldArchiveUnreadable();
        case ArchiveWriter::CopyResult::WriteFailed: return WriteFailed();
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

    EntryRecord NewRecord(const std::string& name, const platform::FileInfo& info) const {
        return ::NewRecord(name, info.modified, info.attributes, !options_.noExtraFields);
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

    int AddPrepared(const PlannedEntry& entry, const Prepared& prepared, const FileInput& input, WorkerPool& pool) {
        const std::string& name = entry.name;
        beat_.Entry(name, entry.item.info.size);
        // A worker cannot wait for a lock (it must not call back); this thread can.
        if (!prepared.opened && MayBeTransientLock(prepared.error)) return StreamFile(entry, input, pool);
        if (!prepared.opened || prepared.outcome == CompressResult::ReadFailed)
            return Unreadable(entry, ReadProblem(name, prepared.error));
        if (prepared.outcome == CompressResult::Changed) return Unreadable(entry, msg::ChangedWhileReading(name));
        const FoundItem& opened = prepared.item;
        CompressSettings settings = input.SettingsFor(opened);
        EntryRecord record = NewRecord(name, opened.info);
        Describe(record, settings, opened.info.size);
        DescribeData(record, prepared.result);
        if (!writer_->BeginEntry(record) || !output_->Write(prepared.data)) return WriteFailed();
        Stored(entry, opened, record, settings, prepared.result);
        return ZIP_OK;
    }

    int AddFile(const PlannedEntry& entry, const FileInput& input, WorkerPool& pool) {
        const FoundItem& item = entry.item;
        beat_.Entry(entry.name, item.info.size);
        if (!item.info.isDirectory) return StreamFile(entry, input, pool);
        EntryRecord record = NewRecord(entry.name, item.info);
        if (!writer_->BeginEntry(record)) return WriteFailed();
        Record(record);
        ++added_;
        report_.Progress(msg::AddedFolder(entry.name));
        return ZIP_OK;
    }

    // Larger files stream into the archive, deflated in pieces on the pool.
    int StreamFile(const PlannedEntry& entry, const FileInput& input, WorkerPool& pool) {
        const std::string& name = entry.name;
        platform::File file;
        platform::Error error;
        FoundItem opened;
        auto open = [&](platform::Error& e) { return FileInput::Open(entry.item, file, opened, e); };
        if (!inputs_.Open(open, error)) return Unreadable(entry, ReadProblem(name, error));

        EntryRecord record = NewRecord(name, opened.info);
        CompressSettings settings = input.SettingsFor(opened);
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
        CompressResult outcome = FileInput::Checked(CompressEntry(file, settings, sink, result, error), file, opened);
        if (outcome == CompressResult::WriteFailed) return WriteFailed();
        std::string problem;
        if (outcome == CompressResult::ReadFailed) problem = ReadProblem(name, error);
        else if (outcome == CompressResult::Changed) problem = msg::ChangedWhileReading(name);
        else if (!record.localZip64 && (result.size >= zipfmt::kMax32 || result.compressedSize >= zipfmt::kMax32))
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
        beat_.Entry(entry.name, 0);
        EntryRecord record = LabelRecord(entry.name);
        if (!writer_->BeginEntry(record)) return WriteFailed();
        Record(record);
        ++(entry.replaces ? replaced_ : added_);
        report_.Progress(msg::AddedVolumeLabel(entry.name));
        return ZIP_OK;
    }

    int PutInPlace() {
        oldFile_.Close();
        std::optional<std::int64_t> modified;
        if (options_.latestTime && writer_->Count() > 0) modified = newestEntry_;
        platform::Error error;
        switch (temp_.Commit(request_.archivePath, modified, error)) {
        case TempArchive::CommitResult::Ok: return ZIP_OK;
        case TempArchive::CommitResult::LeftBehind:
            report_.Problem(msg::TempLeftBehind(msg::Reason(error)));
            return ZIP_OK;
        case TempArchive::CommitResult::CreateFailed:
            return Fail(ZIP_OPEN_FAILED, msg::CannotCreateTemp(msg::Reason(error)));
        default: return Fail(ZIP_WRITE_FAILED, msg::CannotReplace(request_.archiveName, msg::Reason(error)));
        }
    }

    const ZipCallbacks& callbacks_;
    const ZipOptions& options_;
    const RequestOptions& requestOptions_;
    const ZipFileList& files_;
    Reporter report_;
    Heartbeat beat_;
    InputOpener inputs_{beat_};

    RunRequest request_;

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
    // The run is gone by the time these failures are reported.
    auto fail = [&](int status, const std::string& problem) {
        Reporter(callbacks.print, false).Problem(problem);
        return status;
    };
    try {
        ArchiveRun run(callbacks, options, files);
        return run.Run();
    } catch (const std::bad_alloc&) {
        return fail(ZIP_NO_MEMORY, msg::NoMemory());
    } catch (const ScratchError& e) {
        return fail(ZIP_WRITE_FAILED, msg::CannotWriteTemp(msg::Reason(e.error)));
    } catch (...) {
        // Anything else the library may throw (a lock the system cannot
        // give, a length it cannot hold) ends the run as a failure. The
        // archive is not replaced yet: the deletes after that catch
        // everything themselves.
        return fail(ZIP_NO_MEMORY, msg::NoResources());
    }
}
