#include "reader_check.h"

#include <cstdio>

std::string ReaderProblems(const std::string& archive, const ExpectedArchive& expected, const std::string& password) {
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
