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

std::string ReaderVerdict::Accepted() const {
    std::string out;
    if (python == "ok") out += "python ";
    if (sevenZip == "ok") out += "7zz ";
    if (bsdtar == "ok") out += "bsdtar ";
    if (!out.empty()) out.pop_back();
    return out.empty() ? "none" : out;
}

std::string ReaderVerdict::Describe() const {
    return "python: " + python + "\n7zz: " + sevenZip + "\nbsdtar: " + bsdtar;
}

ReaderVerdict CheckWithReaders(const std::string& archive, const ExpectedArchive& expected,
                               const std::string& password) {
    std::string spec = archive + ".expected.json";
    WriteExpectedJson(spec, expected);
    std::string command = "python3 " + Quote(CHECK_ZIP_SCRIPT) + " " + Quote(archive) + " " + Quote(spec);
    if (!password.empty()) command += " " + Quote(password);
    ReaderVerdict verdict{"not run", "not run", "not run"};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return verdict;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        auto take = [&](const char* prefix, std::string& into) {
            std::string p = std::string(prefix) + ": ";
            if (text.rfind(p, 0) == 0) into = text.substr(p.size());
        };
        take("python", verdict.python);
        take("7zz", verdict.sevenZip);
        take("bsdtar", verdict.bsdtar);
    }
    pclose(pipe);
    std::remove(spec.c_str());
    return verdict;
}
