#include "reader_check.h"

#include <cstdio>

#ifndef CHECK_ZIP_SCRIPT
#error CHECK_ZIP_SCRIPT names check_zip.py
#endif

namespace {

std::string Quote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string ReaderProblems(const std::string& archive, const ExpectedArchive& expected, const std::string& password) {
    std::string spec = archive + ".expected.json";
    WriteExpectedJson(spec, expected);
    std::string command = "python3 " + Quote(CHECK_ZIP_SCRIPT) + " " + Quote(archive) + " " + Quote(spec);
    if (!password.empty()) command += " " + Quote(password);
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return "check_zip.py did not start";
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    int status = pclose(pipe);
    std::remove(spec.c_str());
    return status == 0 ? std::string() : output.empty() ? "check_zip.py failed" : output;
}
