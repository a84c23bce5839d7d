// Python's zipfile, 7zz and bsdtar through check_zip.py.
#pragma once

#include "expected_archive.h"

#include <string>

// Empty when all three readers accept the archive as holding exactly the
// expected entries; otherwise each reader's verdict, one a line.
std::string ReaderProblems(const std::string& archive, const ExpectedArchive& expected,
                           const std::string& password = std::string());
