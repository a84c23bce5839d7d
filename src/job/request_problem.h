// Why a drop cannot become an archive request. Each is told to the user,
// naming the path concerned; nothing is archived.
#pragma once

#include <string>

struct RequestProblem {
    enum Kind {
        None,
        NotUnicode,      // a path with a lone UTF-16 surrogate: no archive can record its name
        PartTooLong,     // a directory, base name or extension over 255 bytes
        NoCommonFolder,  // items share no folder (different drives)
        WholeDrive,      // a drive or network share itself, which has no folder above it
    };
    Kind kind = None;
    std::wstring path;

    explicit operator bool() const { return kind != None; }
};
