#include "expected_archive.h"

#include <fstream>

namespace {

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

void WriteExpectedJson(const std::string& path, const ExpectedArchive& expected) {
    std::ofstream out(path, std::ios::binary);
    out << "{";
    bool first = true;
    for (const auto& [name, e] : expected) {
        out << (first ? "" : ",") << JsonString(name) << ":";
        if (e.isDir) out << "\"dir\"";
        else if (e.zeros) out << "{\"zeros\":" << e.zeros << "}";
        else out << "{\"hex\":\"" << Hex(e.content) << "\"}";
        first = false;
    }
    out << "}";
}
