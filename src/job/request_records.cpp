#include "job/request_records.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "job/request_string.h"

std::string FormatDateText(std::int64_t tDate) {
    const std::time_t time = static_cast<std::time_t>(tDate);
    std::tm local{};
#if defined(_WIN32)
    if (localtime_s(&local, &time) != 0) return {};
#else
    if (localtime_r(&time, &local) == nullptr) return {};
#endif
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%m%d%Y", &local);
    return std::string(text, length);
}

void FillOptionFlags(ZipOptions& options, const Settings& settings) {
    options.useTempDir = settings.bTemp;
    options.encrypt = settings.bEncrypt;
    options.systemFiles = settings.bSystem;
    options.volumeLabel = settings.bVolume;
    options.noExtraFields = settings.bExtra;
    options.noDirEntries = settings.bNoDirEntries;
    options.excludeDate = settings.bExcludeDate;
    options.includeDate = settings.bIncludeDate;
    options.verbose = 1;
    options.quiet = settings.bQuiet;
    options.crlfToLf = settings.bCRLF_LF;
    options.lfToCrlf = settings.bLF_CRLF;
    options.junkDirs = settings.bJunkDir;
    options.shortNames = settings.bForce;
    options.move = settings.nMode == 1 ? 1 : 0;
    options.update = settings.nMode == 2 ? 1 : 0;
    options.freshen = settings.nMode == 3 ? 1 : 0;
    options.latestTime = settings.bLatestTime;
    options.comment = settings.bComment;
    options.recurse = 1;
    // Unsigned, so that a stored level far out of range wraps instead of
    // overflowing; the engine treats any byte but '0'..'9' as '6'.
    options.level = static_cast<char>(static_cast<unsigned>(settings.nLevel) + '0');
}

RequestProblem PrepareRequestText(const Settings& settings, const std::vector<std::wstring>& paths,
                                  RequestText& text) {
    text = {};
    const auto archive = ToRequestString(settings.stFileName);
    if (!archive) return {RequestProblem::NotUnicode, settings.stFileName};
    // The work directory matters only while its option is on; off, a name
    // the engine cannot take goes as an empty one.
    const auto tempDir = ToRequestString(settings.stTempDir);
    if (!tempDir && settings.bTemp) return {RequestProblem::NotUnicode, settings.stTempDir};
    if (RequestProblem problem = PlanDrop(paths, text.drop)) return problem;
    text.date = FormatDateText(settings.tDate);
    text.archive = *archive;
    text.tempDir = tempDir.value_or("");
    return {};
}

HeapFunctions CrtHeap() { return {&std::malloc, &std::free}; }

RequestRecords::~RequestRecords() {
    for (char* copy : copies_) heap_.release(copy);
    heap_.release(names_);
}

char* RequestRecords::Copy(const std::string& text) {
    auto* copy = static_cast<char*>(heap_.allocate(text.size() + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    copies_.push_back(copy);
    return copy;
}

bool RequestRecords::Build(const RequestText& text, ZipOptions& options) {
    const size_t count = text.drop.entries.size();
    names_ = static_cast<char**>(heap_.allocate((count == 0 ? 1 : count) * sizeof(char*)));
    if (names_ == nullptr) return false;
    copies_.reserve(count + 4);
    for (const std::string& entry : text.drop.entries) {
        char* copy = Copy(entry);
        if (copy == nullptr) return false;
        names_[copies_.size() - 1] = copy;
    }
    archive_ = Copy(text.archive);
    const char* date = Copy(text.date);
    const char* root = Copy(text.drop.root);
    const char* tempDir = Copy(text.tempDir);
    if (archive_ == nullptr || date == nullptr || root == nullptr || tempDir == nullptr)
        return false;
    count_ = static_cast<int>(count);
    options.date = date;
    options.rootDir = root;
    options.tempDir = tempDir;
    return true;
}
