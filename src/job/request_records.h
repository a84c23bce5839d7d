// The engine's request records, ZipOptions and ZipFileList, built from the
// settings and a planned drop. The options record itself belongs to the
// caller (movable global memory on Windows); every string and the entry array
// it and the file list point at are heap copies owned by RequestRecords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"
#include "job/drop_plan.h"
#include "job/request_problem.h"
#include "zip32.h"

// The reference day of the date filters as "%m%d%Y", in local time
// (29 December 2000 gives "12292000"). Empty for a time the C library
// cannot place.
std::string FormatDateText(std::int64_t tDate);

// Sets every field of options except its three strings: the flags as stored
// in settings, the mode fields from nMode, verbose and recurse always 1, the
// level as the character '0' + nLevel. Fields of no meaning stay 0.
void FillOptionFlags(ZipOptions& options, const Settings& settings);

// Every text of one request as request strings (request_string.h), before
// any heap copy.
struct RequestText {
    std::string date;
    std::string archive;  // stFileName
    std::string tempDir;  // stTempDir
    DropPlan drop;
};

// Converts the settings' two paths and plans the drop; names the first
// path that cannot go to the engine (the work directory only when it is used).
RequestProblem PrepareRequestText(const Settings& settings, const std::vector<std::wstring>& paths,
                                  RequestText& text);

// The heap the copies come from; replaceable so that tests can make any
// allocation fail.
struct HeapFunctions {
    void* (*allocate)(std::size_t size);
    void (*release)(void* block);
};
HeapFunctions CrtHeap();

class RequestRecords {
public:
    explicit RequestRecords(HeapFunctions heap = CrtHeap()) : heap_(heap) {}
    ~RequestRecords();
    RequestRecords(const RequestRecords&) = delete;
    RequestRecords& operator=(const RequestRecords&) = delete;

    // Makes the heap copies and points the three strings of options at them.
    // False when memory runs out: options is then left as it was and the
    // request must not run (the engine never sees a null string).
    bool Build(const RequestText& text, ZipOptions& options);

    // The file list for ZpArchive; valid after a successful Build, for as
    // long as this object lives.
    ZipFileList Files() const { return {count_, archive_, names_}; }

private:
    char* Copy(const std::string& text);

    HeapFunctions heap_;
    std::vector<char*> copies_;
    int count_ = 0;
    const char* archive_ = nullptr;
    char** names_ = nullptr;
};
