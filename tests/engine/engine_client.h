// Drives the engine as the program does: the library loaded by path, callbacks that answer from a script, one request.
// Strings are UTF-8 here and request strings (code page 932, or the UTF-8 mark and UTF-8) at the boundary.
#pragma once

#include "zip32.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class EngineLibrary {
public:
    explicit EngineLibrary(const std::string& path);
    ~EngineLibrary();
    EngineLibrary(const EngineLibrary&) = delete;
    EngineLibrary& operator=(const EngineLibrary&) = delete;

    bool Complete() const { return version && init && setOptions && archive; }
    void* Symbol(const char* name) const;

    ZpVersionFn version = nullptr;
    ZpInitFn init = nullptr;
    ZpSetOptionsFn setOptions = nullptr;
    ZpArchiveFn archive = nullptr;

private:
    void* handle_ = nullptr;
};

struct Request {
    std::string root;                 // with trailing separator
    std::string archive;
    std::vector<std::string> names;
    std::string date;                 // "MMDDYYYY"
    std::string tempDir;
    // Pointer fields are filled from the strings above; verbose, recursing, level 6 as the program sends.
    ZipOptions options = [] { ZipOptions o{}; o.verbose = o.recurse = 1; o.level = '6'; return o; }();
};

// How the callbacks answer.
struct Answers {
    std::vector<std::string> passwords;      // one per ZipPassword call; empty once used up
    std::optional<std::string> comment;      // the comment typed, or leave the buffer as offered
    int cancelAtService = 0;                 // answer "stop" at this ZipService call (1-based)
    std::function<void(const std::string&)> onService;  // called with the name of every poll (UTF-8)
};

struct Outcome {
    int status = -1;
    std::string log;                         // everything ZipPrint received, as UTF-8
    std::vector<std::string> serviceNames;   // every poll, the heartbeat's included
    std::string commentOffered;
    // The longest stretch without a callback, start and end included; natively
    // less the time the thread waited for a processor (a loaded machine's).
    std::chrono::steady_clock::duration longestGap{};
    // From the stop answer to the run's return: wall time, and the whole process's processor time.
    std::chrono::steady_clock::duration stopToEnd{};
    std::chrono::nanoseconds stopWork{};
};

Outcome RunRequest(const EngineLibrary& engine, const Request& request, const Answers& answers);

std::string ToCp932(const std::string& utf8);
