// Python's zipfile, 7zz and bsdtar through check_zip.py.
#pragma once

#include "expected_archive.h"

#include <cstdio>
#include <string>

// What a shell command prints, and its exit status.
inline std::string CommandOutput(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0) output.append(buffer, n);
    const int code = pipe ? pclose(pipe) : -1;
    if (status) *status = code;
    return output;
}

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
    int status = 0;
    const std::string output = CommandOutput("python3 " + quote(CHECK_ZIP_SCRIPT) + " " + quote(archive) + " " +
                                             quote(spec) + " " + quote(password) + " 2>&1", &status);
    std::remove(spec.c_str());
    return status == 0 ? std::string() : output.empty() ? "check_zip.py failed" : output;
}
