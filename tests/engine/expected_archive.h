// What an archive must hold, and its JSON form for check_zip.py.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

// name -> content. Folder names end in '/' and map to an Expected with isDir set.
struct Expected {
    bool isDir = false;
    std::string content;
    std::uint64_t zeros = 0;  // instead of content: this many zero bytes
    static Expected Dir() { Expected e; e.isDir = true; return e; }
    static Expected File(std::string c) { Expected e; e.content = std::move(c); return e; }
    static Expected Zeros(std::uint64_t n) { Expected e; e.zeros = n; return e; }
};
using ExpectedArchive = std::map<std::string, Expected>;

// Writes the form check_zip.py reads: {"name": "dir" | {"hex": ...} | {"zeros": N}}.
inline void WriteExpectedJson(const std::string& path, const ExpectedArchive& expected) {
    std::ofstream out(path, std::ios::binary);
    const char* separator = "{";
    for (const auto& [name, e] : expected) {
        out << separator << '"';
        for (char c : name) out << (c == '"' || c == '\\' ? "\\" : "") << c;
        out << "\":";
        if (e.isDir) out << "\"dir\"";
        else if (e.zeros) out << "{\"zeros\":" << e.zeros << "}";
        else {
            out << "{\"hex\":\"";
            char hex[3];
            for (unsigned char c : e.content) out.write(hex, std::snprintf(hex, sizeof hex, "%02x", c));
            out << "\"}";
        }
        separator = ",";
    }
    out << (*separator == '{' ? "{}" : "}");
}
