#include "expected_archive.h"

#include <cstdio>
#include <fstream>

void WriteExpectedJson(const std::string& path, const ExpectedArchive& expected) {
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
