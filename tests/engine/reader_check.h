// Python's zipfile, 7zz and bsdtar through check_zip.py.
#pragma once

#include "expected_archive.h"

#include <cstdio>
#include <string>

// Empty when all three readers accept the archive as holding exactly the
// expected entries; otherwise each reader's verdict, one a line.
inline std::string ReaderProblems(const std::string& archive, const ExpectedArchive& expected,
                                  const std::string& password = std::string()) {
    auto quote = [](const std::string& arg) {
        std::string out = "'";
        for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    const std::string spec = archive + ".expected.json";
    WriteExpectedJson(spec, expected);
    std::string output, command = "python3 " + quote(CHECK_ZIP_SCRIPT) + " " + quote(archive) + " " + quote(spec);
    FILE* pipe = popen((command + " " + quote(password) + " 2>&1").c_str(), "r");
    if (!pipe) return "check_zip.py did not start";
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    std::remove(spec.c_str());
    return status == 0 ? std::string() : output.empty() ? "check_zip.py failed" : output;
}
