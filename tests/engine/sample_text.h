// A large text deflate works hard on: words from a small set in a fixed
// pseudo-random order, so that level 9 finds many matches.
#pragma once

#include <cstdint>
#include <string>

inline std::string Words(std::size_t size) {
    static const char* const kWords[] = {"archive ", "entry ", "header ", "deflate ", "window ", "match ",
                                         "stream ", "block ", "record\r\n", "name "};
    std::string text;
    for (std::uint32_t seed = 7; text.size() < size;) text += kWords[((seed = seed * 1103515245 + 12345) >> 16) % 10];
    text.resize(size);
    return text;
}
