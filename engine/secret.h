// A password that is wiped from memory when it goes.
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

class Secret {
public:
    explicit Secret(std::size_t capacity) : bytes_(capacity, '\0') {}
    ~Secret() { platform::Wipe(bytes_.data(), bytes_.size()); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    char* Buffer() { return bytes_.data(); }
    std::string_view View() const { return std::string_view(bytes_.data(), strnlen(bytes_.data(), bytes_.size())); }

private:
    std::vector<char> bytes_;
};
