// "Check with three readers": Python's zipfile (test and content compare),
// 7-Zip (7zz t) and bsdtar (extract and compare), through check_zip.py.
#pragma once

#include "expected_archive.h"

#include <string>

struct ReaderVerdict {
    std::string python, sevenZip, bsdtar;   // "ok" or why the reader refused
    bool AllAccepted() const { return python == "ok" && sevenZip == "ok" && bsdtar == "ok"; }
    std::string Accepted() const;          // e.g. "python 7zz bsdtar"
    std::string Describe() const;
};

ReaderVerdict CheckWithReaders(const std::string& archive, const ExpectedArchive& expected,
                               const std::string& password = std::string());
