// "Check with three readers": Python's zipfile (test and content compare),
// 7-Zip (7zz t) and bsdtar (extract and compare), through check_zip.py.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// What an archive must hold: name -> content. Folder names end in '/' and
// map to an empty Expected with isDir set.
struct Expected {
    bool isDir = false;
    std::string content;
    std::uint64_t zeros = 0;  // instead of content: this many zero bytes
    static Expected Dir() { Expected e; e.isDir = true; return e; }
    static Expected File(std::string c) { Expected e; e.content = std::move(c); return e; }
};
using ExpectedArchive = std::map<std::string, Expected>;

struct ReaderVerdict {
    std::string python, sevenZip, bsdtar;   // "ok" or why the reader refused
    bool AllAccepted() const { return python == "ok" && sevenZip == "ok" && bsdtar == "ok"; }
    std::string Accepted() const;          // e.g. "python 7zz bsdtar"
    std::string Describe() const;
};

ReaderVerdict CheckWithReaders(const std::string& archive, const ExpectedArchive& expected,
                               const std::string& password = std::string());
