#include "job/archive_job.h"

#include "job/global_block_win.h"
#include "job/job_messages.h"
#include "job/request_records.h"
#include "job/run_zip.h"

std::wstring ArchivePaths(const Settings& settings, const std::vector<std::wstring>& paths) {
    if (paths.empty()) return {};
    RequestText text;
    if (const RequestProblem problem = PrepareRequestText(settings, paths, text)) return ProblemMessage(problem);

    // Memory shortages before the engine runs end the request quietly.
    GlobalBlock optionsBlock(sizeof(ZipOptions));
    if (!optionsBlock.Locked()) return {};
    auto* options = optionsBlock.As<ZipOptions>();
    FillOptionFlags(*options, settings);
    RequestRecords records;
    if (!records.Build(text, *options)) return {};

    const ZipFileList files = records.Files();
    const int result = RunZip(files.count, files.archive, files.names, options);
    const wchar_t* message = RunZipMessage(result);
    return message ? message : L"";
}
