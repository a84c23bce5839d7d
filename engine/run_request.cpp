#include "run_request.h"

#include "dos_time.h"
#include "text_codec.h"

namespace {

bool Utf8(const char* request, std::string& utf8) { return request && text::RequestToUtf8(request, utf8); }

bool BadRequest(Reporter& report, const std::string& what) {
    report.Problem(msg::BadRequest(what));
    return false;
}

// The work directory when it is asked for and exists, else the archive's folder.
platform::Path TempFolder(const RequestOptions& options, const platform::Path& archivePath) {
    if (options.flags.useTempDir && !options.tempDir.empty()) {
        std::string dir;
        platform::Path path;
        if (text::RequestToUtf8(options.tempDir, dir) && platform::ResolveRoot(dir, path)) return path;
    }
    return platform::Parent(archivePath);
}

}  // namespace

bool ReadRequest(const ZipFileList& files, const RequestOptions& options, Reporter& report, RunRequest& request) {
    if (!files.archive || (files.count > 0 && !files.names) || files.count < 0)
        return BadRequest(report, "ファイル一覧");
    std::string archive, root;
    if (!Utf8(files.archive, archive)) return BadRequest(report, "書庫名");
    if (!Utf8(options.rootDir.c_str(), root)) return BadRequest(report, "基準フォルダー");
    request.archiveName = archive;
    if (!platform::ResolveFile(archive, request.archivePath)) return BadRequest(report, "書庫名");
    if (!platform::ResolveRoot(root, request.root)) return BadRequest(report, "基準フォルダー " + root);
    for (int i = 0; i < files.count; ++i) {
        std::string name;
        if (!Utf8(files.names[i], name)) return BadRequest(report, "名前");
        request.patterns.push_back(name);
    }
    const ZipOptions& flags = options.flags;
    if ((flags.includeDate || flags.excludeDate) && !ParseFilterDate(options.date, request.dateLimit))
        return BadRequest(report, "日付 " + options.date);
    char level = flags.level;
    request.level = level >= '0' && level <= '9' ? level - '0' : 6;
    request.scratch = TempFolder(options, request.archivePath);
    return true;
}
