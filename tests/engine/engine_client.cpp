#include "engine_client.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <iconv.h>
#endif

namespace {

// Code page 932 to UTF-8 or back.
std::string Recode(bool toCp932, const std::string& in) {
#if defined(_WIN32)
    const UINT from = toCp932 ? CP_UTF8 : 932, to = toCp932 ? 932 : CP_UTF8;
    if (in.empty()) return in;
    int n = MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), wide.data(), n);
    int m = WideCharToMultiByte(to, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(to, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
#else
    iconv_t cd = toCp932 ? iconv_open("CP932", "UTF-8") : iconv_open("UTF-8", "CP932");
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
#endif
    return out;
}

// Code page 932 where it writes utf8 exactly, else kZipUtf8Mark and utf8;
// a string that starts with the mark goes as it is.
std::string ToRequestString(const std::string& utf8) {
    if (utf8.starts_with(kZipUtf8Mark)) return utf8;  // already one, right or wrong
    const std::string cp932 = ToCp932(utf8);
    return Recode(false, cp932) == utf8 ? cp932 : kZipUtf8Mark + utf8;
}

// Nanoseconds this thread has waited for a processor so far (0 where the system does not say).
std::int64_t WaitedForProcessor() {
#if defined(_WIN32)
    return 0;
#else
    std::int64_t running = 0, waiting = 0;
    if (FILE* stat = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(stat, "%" SCNd64 " %" SCNd64, &running, &waiting) != 2) waiting = 0;
        std::fclose(stat);
    }
    return waiting;
#endif
}

// Nanoseconds of processor time of the whole process so far.
std::int64_t ProcessorTime() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ns = [](const FILETIME& t) { return (static_cast<std::int64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 100; };
    return ns(kernel) + ns(user);
#else
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
#endif
}

struct Script {
    const Answers* answers;
    Outcome* outcome;
    std::size_t passwordIndex = 0;
    int serviceCalls = 0;
    std::chrono::steady_clock::time_point lastCall, stopped;
    std::int64_t lastWaited = 0, stoppedWork = 0;

    Outcome& Called() {
        auto now = std::chrono::steady_clock::now();
        std::int64_t waited = WaitedForProcessor();
        auto gap = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            now - lastCall - std::chrono::nanoseconds(waited - lastWaited));
        outcome->longestGap = std::max(outcome->longestGap, gap);
        lastCall = now;
        lastWaited = waited;
        return *outcome;
    }
};
Script* g_script = nullptr;

std::uint32_t ZIP_API OnPrint(const char* text, std::uint32_t length) {
    g_script->Called().log += Recode(false, text);
    return length;
}

int ZIP_API OnComment(char* buffer) {
    g_script->Called().commentOffered = buffer;
    if (g_script->answers->comment) {
        std::string typed = ToCp932(*g_script->answers->comment);
        std::memcpy(buffer, typed.c_str(), typed.size() + 1);
    }
    return 1;
}

int ZIP_API OnPassword(char* buffer, int capacity, const char*, const char*) {
    g_script->Called();
    const auto& list = g_script->answers->passwords;
    std::string answer = g_script->passwordIndex < list.size() ? list[g_script->passwordIndex++] : std::string();
    std::strncpy(buffer, answer.c_str(), static_cast<std::size_t>(capacity) - 1);
    buffer[capacity - 1] = '\0';
    return 0;
}

int ZIP_API OnService(const char* name, std::uint32_t) {
    Outcome& out = g_script->Called();
    const std::string& polled = out.serviceNames.emplace_back(Recode(false, name));
    if (g_script->answers->onService) g_script->answers->onService(polled);
    if (++g_script->serviceCalls != g_script->answers->cancelAtService) return 0;
    g_script->stopped = std::chrono::steady_clock::now();
    g_script->stoppedWork = ProcessorTime();
    return 1;
}

}  // namespace

std::string ToCp932(const std::string& utf8) { return Recode(true, utf8); }

EngineLibrary::EngineLibrary(const std::string& path) {
#if defined(_WIN32)
    std::wstring wide(path.begin(), path.end());
    handle_ = LoadLibraryW(wide.c_str());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (!handle_) return;
    version = reinterpret_cast<ZpVersionFn>(Symbol("ZpVersion"));
    init = reinterpret_cast<ZpInitFn>(Symbol("ZpInit"));
    setOptions = reinterpret_cast<ZpSetOptionsFn>(Symbol("ZpSetOptions"));
    archive = reinterpret_cast<ZpArchiveFn>(Symbol("ZpArchive"));
}

EngineLibrary::~EngineLibrary() {
#if defined(_WIN32)
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
#else
    if (handle_) dlclose(handle_);
#endif
}

void* EngineLibrary::Symbol(const char* name) const {
    if (!handle_) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

Outcome RunRequest(const EngineLibrary& engine, const Request& request, const Answers& answers) {
    Outcome outcome;
    Script script{&answers, &outcome, 0, 0, {}, {}, 0, 0};
    g_script = &script;
    ZipCallbacks callbacks{OnPrint, OnComment, OnPassword, OnService};
    if (!engine.init(&callbacks)) return outcome;

    // The program hands over private copies and frees them after the run.
    std::string date = request.date, root = ToRequestString(request.root), temp = ToRequestString(request.tempDir);
    std::string archive = ToRequestString(request.archive);
    std::vector<std::string> names;
    for (const std::string& n : request.names) names.push_back(ToRequestString(n));
    std::vector<char*> pointers;
    for (std::string& n : names) pointers.push_back(n.data());

    ZipOptions options = request.options;
    options.date = date.c_str();
    options.rootDir = root.c_str();
    options.tempDir = temp.c_str();
    engine.setOptions(&options);
    // The engine must have copied what it needs.
    std::memset(&options, 0xCD, sizeof options);
    for (std::string* s : {&date, &root, &temp}) s->assign(s->size(), 'X');
    ZipFileList list{static_cast<int>(pointers.size()), archive.c_str(), pointers.data()};
    script.lastCall = std::chrono::steady_clock::now();
    script.lastWaited = WaitedForProcessor();
    outcome.status = engine.archive(list);
    script.Called();
    if (script.stopped != std::chrono::steady_clock::time_point()) {
        outcome.stopToEnd = script.lastCall - script.stopped;
        outcome.stopWork = std::chrono::nanoseconds(ProcessorTime() - script.stoppedWork);
    }
    g_script = nullptr;
    return outcome;
}
