// The interface between Tirvo and its archive engine ZIP32.DLL.
//
// Program and engine both include this header; it is the only thing they
// share. Every string that crosses it is a zero-terminated byte string in
// code page 932, with one extension for the strings of the request (see
// kZipUtf8Mark). The records keep the 32-bit layout byte for byte (checked
// below for i686); on x86-64 the pointer fields widen to 8 bytes and every
// field behind them moves accordingly, in the same order.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define ZIP_API __stdcall
#else
#define ZIP_API
#endif

// Interface version reported in ZipVersionInfo bytes 56 and 57.
constexpr std::uint8_t kZipInterfaceMajor = 2;
constexpr std::uint8_t kZipInterfaceMinor = 3;

// A string of the request (rootDir, tempDir, the archive and every name)
// that code page 932 cannot write starts with these three bytes, the UTF-8
// byte-order mark, and goes on in UTF-8. Code page 932 never starts a string
// with them: 0xEF 0xBB is no character there. Strings that code page 932 can
// write are sent in code page 932, as ever. A library that does not know the
// mark either refuses such a string as broken code page 932 or, reading it
// leniently, gets a name that begins with a replacement character and
// matches no file. The other way, the engine's texts (ZipPrint, the names
// and prompts of ZipService and ZipPassword) stay code page 932: a character
// that code page 932 lacks appears as its code point in angle brackets,
// "<U+301C>", a byte that is no UTF-8 as "<0x9C>" (file names on Windows
// hold no '<' or '>').
inline constexpr char kZipUtf8Mark[] = "\xEF\xBB\xBF";

// Capacity of the buffer handed to ZipComment, terminator included: the
// largest comment a ZIP archive can hold (65,535 bytes) plus one.
constexpr int kZipCommentCapacity = 65536;
// Capacity of the buffer handed to ZipPassword, terminator included.
constexpr int kZipPasswordCapacity = 256;

// One archive request's options. Filled by the program, copied by the engine
// in ZpSetOptions.
struct ZipOptions {
    const char* date;       // "%m%d%Y", the reference day of the two date filters
    const char* rootDir;    // folder the entries are relative to, with trailing separator
    const char* tempDir;    // work directory for the temporary archive
    int useTempDir;         // use tempDir
    int reserved16;
    int encrypt;            // traditional PKWARE encryption
    int systemFiles;        // include system and hidden files
    int volumeLabel;        // store the root drive's volume label
    int noExtraFields;      // do not store the extended-timestamp field
    int noDirEntries;       // do not store directory entries
    int excludeDate;        // only files modified before the date
    int includeDate;        // only files modified on or after the date
    int verbose;            // always 1
    int quiet;              // no progress output
    int crlfToLf;           // text files: CR/LF -> LF
    int lfToCrlf;           // text files: LF -> CR/LF (both set: they cancel, files are stored as they are)
    int junkDirs;           // store names without their directories
    int reserved68;
    int shortNames;         // store MS-DOS 8.3 names
    int move;               // delete the originals once archived
    int reserved80;
    int update;             // add new files, replace older entries
    int freshen;            // replace older existing entries only
    int reserved92;
    int latestTime;         // archive time = time of its newest entry
    int comment;            // ask for the archive comment
    int reserved104;
    int reserved108;
    int reserved112;
    int recurse;            // always 1
    int reserved120;
    char level;             // '0' stores, '1'..'9' deflate, anything else is '6'
    char padding[3];
};

// The request's file list, handed to ZpArchive by value.
struct ZipFileList {
    int count;              // number of entries in names
    const char* archive;    // path of the archive to create or change
    char** names;           // name patterns relative to rootDir
};

// Called only inside ZpArchive, on the thread that called it.
using ZipPrintFn = std::uint32_t(ZIP_API*)(const char* text, std::uint32_t length);
using ZipCommentFn = int(ZIP_API*)(char* comment);  // buffer of kZipCommentCapacity bytes
using ZipPasswordFn = int(ZIP_API*)(char* password, int capacity, const char* prompt,
                                    const char* entryName);
using ZipServiceFn = int(ZIP_API*)(const char* entryName, std::uint32_t size);

struct ZipCallbacks {
    ZipPrintFn print;
    ZipCommentFn comment;
    ZipPasswordFn password;
    ZipServiceFn service;
};

// Filled by ZpVersion. Only bytes 56 and 57 are part of the contract; the
// rest describes this engine build.
struct ZipVersionInfo {
    std::uint32_t size;             // 60
    std::uint32_t flags;            // bit 0: Zip64, bit 1: UTF-8 names, bit 2: encryption
    char engineVersion[16];         // "0.2.4"
    char buildDate[16];             // "YYYY-MM-DD"
    char zlibVersion[16];           // zlib's own version text
    std::uint8_t interfaceMajor;    // 2
    std::uint8_t interfaceMinor;    // 3
    std::uint8_t reserved[2];
};

// ZpArchive's status. 0 is success; everything else says why the run ended.
// Whenever the status is not ZIP_OK, ZIP_PARTIAL or ZIP_DELETE_FAILED the
// archive is exactly as it was before the run (or still absent), and no
// temporary file is left. Every failure is also described through ZipPrint.
enum ZipStatus : int {
    ZIP_OK = 0,             // done; also when nothing needed changing (update, freshen)
    ZIP_PARTIAL = 1,        // archive written, but some files could not be read or some names matched
                            // nothing; those files were left out (move keeps them), an entry they were
                            // to replace keeps its old content
    ZIP_CANCELLED = 2,      // ZipService asked to stop (at any poll); the old archive is unchanged
    ZIP_BAD_REQUEST = 3,    // not initialised, options not set, or a record, string, root directory
                            // or filter date that is missing or unusable
    ZIP_NOT_A_ZIP = 4,      // the existing file is not a readable ZIP archive; left unchanged
    ZIP_OPEN_FAILED = 5,    // the temporary file could not be created
    ZIP_WRITE_FAILED = 6,   // writing the temporary file or replacing the archive failed
    ZIP_READ_FAILED = 7,    // opening or reading the existing archive failed
    ZIP_NAME_CLASH = 8,     // two files would be stored under the same name (names without folders)
    ZIP_PASSWORD = 9,       // password empty or not confirmed
    ZIP_NO_MEMORY = 10,     // memory or another resource of the system (a thread) ran out
    ZIP_NOTHING_TO_DO = 11, // no file matched (or passed the date filters); the archive was not touched
    ZIP_DELETE_FAILED = 12, // move: archive in place, but some originals could not be deleted or the
                            // deleting was stopped (ZipService) and the rest kept; when files
                            // could not be read as well, ZIP_PARTIAL is returned
};

using ZpVersionFn = void(ZIP_API*)(ZipVersionInfo* info);
using ZpInitFn = int(ZIP_API*)(ZipCallbacks* callbacks);
using ZpSetOptionsFn = int(ZIP_API*)(ZipOptions* options);
using ZpArchiveFn = int(ZIP_API*)(ZipFileList files);

extern "C" {
void ZIP_API ZpVersion(ZipVersionInfo* info);
int ZIP_API ZpInit(ZipCallbacks* callbacks);
int ZIP_API ZpSetOptions(ZipOptions* options);
int ZIP_API ZpArchive(ZipFileList files);
}

// The layouts, checked where they are fixed.
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(void*) == 4);
static_assert(sizeof(ZipOptions) == 128);
static_assert(offsetof(ZipOptions, date) == 0);
static_assert(offsetof(ZipOptions, rootDir) == 4);
static_assert(offsetof(ZipOptions, tempDir) == 8);
static_assert(offsetof(ZipOptions, useTempDir) == 12);
static_assert(offsetof(ZipOptions, reserved16) == 16);
static_assert(offsetof(ZipOptions, encrypt) == 20);
static_assert(offsetof(ZipOptions, systemFiles) == 24);
static_assert(offsetof(ZipOptions, volumeLabel) == 28);
static_assert(offsetof(ZipOptions, noExtraFields) == 32);
static_assert(offsetof(ZipOptions, noDirEntries) == 36);
static_assert(offsetof(ZipOptions, excludeDate) == 40);
static_assert(offsetof(ZipOptions, includeDate) == 44);
static_assert(offsetof(ZipOptions, verbose) == 48);
static_assert(offsetof(ZipOptions, quiet) == 52);
static_assert(offsetof(ZipOptions, crlfToLf) == 56);
static_assert(offsetof(ZipOptions, lfToCrlf) == 60);
static_assert(offsetof(ZipOptions, junkDirs) == 64);
static_assert(offsetof(ZipOptions, reserved68) == 68);
static_assert(offsetof(ZipOptions, shortNames) == 72);
static_assert(offsetof(ZipOptions, move) == 76);
static_assert(offsetof(ZipOptions, reserved80) == 80);
static_assert(offsetof(ZipOptions, update) == 84);
static_assert(offsetof(ZipOptions, freshen) == 88);
static_assert(offsetof(ZipOptions, reserved92) == 92);
static_assert(offsetof(ZipOptions, latestTime) == 96);
static_assert(offsetof(ZipOptions, comment) == 100);
static_assert(offsetof(ZipOptions, reserved104) == 104);
static_assert(offsetof(ZipOptions, reserved108) == 108);
static_assert(offsetof(ZipOptions, reserved112) == 112);
static_assert(offsetof(ZipOptions, recurse) == 116);
static_assert(offsetof(ZipOptions, reserved120) == 120);
static_assert(offsetof(ZipOptions, level) == 124);
static_assert(sizeof(ZipFileList) == 12);
static_assert(offsetof(ZipFileList, count) == 0);
static_assert(offsetof(ZipFileList, archive) == 4);
static_assert(offsetof(ZipFileList, names) == 8);
static_assert(sizeof(ZipCallbacks) == 16);
static_assert(offsetof(ZipCallbacks, print) == 0);
static_assert(offsetof(ZipCallbacks, comment) == 4);
static_assert(offsetof(ZipCallbacks, password) == 8);
static_assert(offsetof(ZipCallbacks, service) == 12);
#elif defined(__x86_64__) || defined(_M_X64)
// Widened: three 8-byte pointers first, then every 32-bit offset from 12 on
// moves by 12 bytes; the level byte lands at 136.
static_assert(sizeof(void*) == 8);
static_assert(offsetof(ZipOptions, date) == 0);
static_assert(offsetof(ZipOptions, rootDir) == 8);
static_assert(offsetof(ZipOptions, tempDir) == 16);
static_assert(offsetof(ZipOptions, useTempDir) == 12 + 12);
static_assert(offsetof(ZipOptions, encrypt) == 20 + 12);
static_assert(offsetof(ZipOptions, systemFiles) == 24 + 12);
static_assert(offsetof(ZipOptions, volumeLabel) == 28 + 12);
static_assert(offsetof(ZipOptions, noExtraFields) == 32 + 12);
static_assert(offsetof(ZipOptions, noDirEntries) == 36 + 12);
static_assert(offsetof(ZipOptions, excludeDate) == 40 + 12);
static_assert(offsetof(ZipOptions, includeDate) == 44 + 12);
static_assert(offsetof(ZipOptions, verbose) == 48 + 12);
static_assert(offsetof(ZipOptions, quiet) == 52 + 12);
static_assert(offsetof(ZipOptions, crlfToLf) == 56 + 12);
static_assert(offsetof(ZipOptions, lfToCrlf) == 60 + 12);
static_assert(offsetof(ZipOptions, junkDirs) == 64 + 12);
static_assert(offsetof(ZipOptions, shortNames) == 72 + 12);
static_assert(offsetof(ZipOptions, move) == 76 + 12);
static_assert(offsetof(ZipOptions, update) == 84 + 12);
static_assert(offsetof(ZipOptions, freshen) == 88 + 12);
static_assert(offsetof(ZipOptions, latestTime) == 96 + 12);
static_assert(offsetof(ZipOptions, comment) == 100 + 12);
static_assert(offsetof(ZipOptions, recurse) == 116 + 12);
static_assert(offsetof(ZipOptions, level) == 124 + 12);
static_assert(sizeof(ZipOptions) == 144);
static_assert(sizeof(ZipFileList) == 24);
static_assert(offsetof(ZipFileList, count) == 0);
static_assert(offsetof(ZipFileList, archive) == 8);
static_assert(offsetof(ZipFileList, names) == 16);
static_assert(sizeof(ZipCallbacks) == 32);
static_assert(offsetof(ZipCallbacks, service) == 24);
#endif
static_assert(sizeof(ZipVersionInfo) == 60);
static_assert(offsetof(ZipVersionInfo, interfaceMajor) == 56);
static_assert(offsetof(ZipVersionInfo, interfaceMinor) == 57);
