// The engine's parts on their own, case by case: ZIP times and filter days,
// line ends across chunk edges, the encryption's key stream, stored names,
// request strings, name patterns, plan records and the update plan. Runs with TZ=UTC.
#include "dos_time.h"
#include "entry_name.h"
#include "line_ends.h"
#include "name_pattern.h"
#include "pkware_crypt.h"
#include "text_codec.h"
#include "update_plan.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(DosTime, RoundsOddSecondsUpAndClampsToWhatMsDosHolds) {
    const struct {
        std::int64_t unix;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {315532800, 1980, 1, 1, 0, 0, 0},        // the first time MS-DOS holds
        {315532801, 1980, 1, 1, 0, 0, 2},        // odd seconds round up
        {951868799, 2000, 3, 1, 0, 0, 0},        // ... carrying into the next day, past 29 February
        {0, 1980, 1, 1, 0, 0, 0},                // before 1980
        {4354819198, 2107, 12, 31, 23, 59, 58},  // the last time MS-DOS holds
        {4354819200, 2107, 12, 31, 23, 59, 58},  // and after it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unix);
        DosTime dos = ToDosTime(c.unix);
        EXPECT_EQ(dos.date, ((c.year - 1980) << 9) | (c.month << 5) | c.day);
        EXPECT_EQ(dos.time, (c.hour << 11) | (c.minute << 5) | (c.second / 2));
        if (c.unix >= 315532800 && c.unix < 4354819200) {
            EXPECT_EQ(FromDosTime(dos), c.unix + (c.unix & 1));
        }
    }
    const std::pair<const char*, std::int64_t> days[] = {  // filter days: month, day, year, and real days only
        {"01011980", 315532800}, {"02292000", 951782400}, {"02312000", -1}, {"13452000", -1},
        {"00012000", -1},        {"1231197", -1},         {"12a11980", -1}, {"12311969", -1},
    };
    for (const auto& [text, midnight] : days) {
        std::int64_t parsed = -1;
        EXPECT_EQ(ParseFilterDate(text, parsed), midnight >= 0) << text;
        EXPECT_EQ(parsed, midnight) << text;
    }
}

// Fed byte by byte up to any point and the rest at once, the input gives
// what it gives whole: a CR/LF pair split between chunks stays one line end.
TEST(LineEnds, ConversionDoesNotDependOnWhereChunksEnd) {
    const struct {
        LineEnds mode;
        std::string in, out;
    } cases[] = {
        {LineEnds::ToLf, "a\r\nb\rc\r\n\r\n\r", "a\nb\rc\n\n\r"},
        {LineEnds::ToCrLf, "a\nb\r\nc\r\n\n\r", "a\r\nb\r\nc\r\n\r\n\r"},
        {LineEnds::Keep, "a\r\nb\n\r", "a\r\nb\n\r"},
    };
    for (const auto& c : cases) {
        auto bytes = [&](std::size_t at) { return reinterpret_cast<const unsigned char*>(c.in.data()) + at; };
        for (std::size_t cut = 0; cut <= c.in.size(); ++cut) {
            LineEndConverter converter(c.mode);
            std::string out;
            for (std::size_t i = 0; i < cut; ++i) converter.Convert(bytes(i), 1, out);
            converter.Convert(bytes(cut), c.in.size() - cut, out);
            converter.Finish(out);
            EXPECT_EQ(out, c.out) << "cut at " << cut;
        }
    }
}

// The key stream of the traditional encryption, against bytes another
// implementation encrypted; the header ends with the CRC's high byte.
TEST(PkwareCrypt, EncryptsAsOtherReadersDecrypt) {
    std::string data = "Hello, ZIP!";
    PkwareEncryptor encryptor("secret", 0);
    encryptor.Encrypt(data.data(), data.size());
    EXPECT_EQ(data, "\x80\x75\xF6\x32\x20\x4D\xE8\x85\x65\x88\x11");

    // Decrypting is encrypting each byte's plain text into the keys: an
    // encryptor fed the header's plain text so far gives its next key byte.
    PkwareEncryptor headerMaker("pw", 0xA1B2C3D4);
    const std::string header = headerMaker.Header();
    std::string plain;
    for (char cipher : header) {
        std::string next = plain + '\0';
        PkwareEncryptor keys("pw", 0);
        keys.Encrypt(next.data(), next.size());
        plain += static_cast<char>(cipher ^ next.back());
    }
    EXPECT_EQ(static_cast<unsigned char>(plain[11]), 0xA1);
}

TEST(EntryName, AsciiAsItIsCodePage932WithItsUnicodePathOtherwiseUtf8) {
    const std::string cp932 = "\x93\xFA\x96\x7B\x8C\xEA.txt";
    const std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(cp932.data()), cp932.size());
    std::string unicodePath("up\x12\0\x01", 5);  // 18 bytes: version 1, the CRC of the stored name, UTF-8
    for (int i = 0; i < 4; ++i) unicodePath += static_cast<char>(crc >> (8 * i));
    const struct {
        const char* name;
        std::string bytes, extra;
        int flags;
    } cases[] = {
        {"dir/a.txt", "dir/a.txt", "", 0},
        {"日本語.txt", cp932, unicodePath + "日本語.txt", 0},
        {"한국어 \u301C.txt", "한국어 \u301C.txt", "", 0x0800},
    };
    for (const auto& c : cases) {
        StoredName stored = MakeStoredName(c.name);
        EXPECT_EQ(stored.bytes, c.bytes) << c.name;
        EXPECT_EQ(stored.extra, c.extra) << c.name;
        EXPECT_EQ(stored.flags, c.flags) << c.name;
    }
}

// A request string is code page 932, or the UTF-8 mark and UTF-8; no code page 932 text begins as the mark does,
// so that a reader without the mark refuses a marked string rather than misreads it.
TEST(RequestText, IsCodePage932OrTheMarkAndUtf8) {
    std::string utf8;
    EXPECT_TRUE(text::RequestToUtf8("\x95\x5C", utf8) && utf8 == "表");
    EXPECT_TRUE(text::RequestToUtf8("\xEF\xBB\xBF\xE3\x80\x9C", utf8) && utf8 == "\u301C");
    EXPECT_FALSE(text::Cp932ToUtf8("\xEF\xBB\xBF" "f", utf8));
}

// The program sends '[' and '-' of a name as "[[]" and "[-]".
TEST(NamePattern, WildcardsClassesAndEscapes) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches, ignoreCase = false;
    } cases[] = {
        {"a[-]b[[]1].txt", "a-b[1].txt", true}, {"[[]x]", "[x]", true},       {"[[]x]", "x]", false},
        {"?.txt", "a.txt", true},                {"?.txt", "ab.txt", false},   {"*.log", "a.b.log", true},
        {"a*b*c", "aXbYbZc", true},              {"a*b", "ab c", false},       {"[ab].txt", "b.txt", true},
        {"[!ab].txt", "a.txt", false},           {"[^ab].txt", "c.txt", true}, {"[a-c]", "c", true},
        {"[a-c]", "d", false},                   {"[]a]", "]", true},          {"[abc", "[abc", true},
        {"README.TXT", "readme.txt", false},     {"README.TXT", "readme.txt", true, true},
        {"資料Ａ*", "資料ａ.txt", true, true},   {"[Ａ-Ｃ]", "ｂ", true, true},
    };
    for (const auto& c : cases) {
        std::u32string pattern = text::ToCodePoints(c.pattern), name = text::ToCodePoints(c.name);
        EXPECT_EQ(MatchName(pattern, name, c.ignoreCase), c.matches) << c.pattern << " " << c.name;
    }
    for (const char* plain : {"a.txt", "a-b", "x]", "[abc"}) EXPECT_FALSE(HasWildcards(text::ToCodePoints(plain))) << plain;
    for (const char* wild : {"*", "a?", "[[]", "[-]"}) EXPECT_TRUE(HasWildcards(text::ToCodePoints(wild))) << wild;
}

constexpr std::int64_t kEntryTime = 1000000000;

// Old entries (all of kEntryTime) and found files (name and time, in walk
// order) to the plan, as one line: "=" kept, "~" replaced, "+" added.
std::string Planned(const std::vector<std::string>& olds, const std::vector<std::pair<std::string, std::int64_t>>& files,
                    UpdateMode mode) {
    const platform::Path scratch = std::filesystem::temp_directory_path().string();  // spills are nameless files
    RecordSpool oldEntries(scratch), items(scratch);
    for (const std::string& name : olds) {
        ExistingEntry entry;
        entry.name = entry.storedName = name;
        entry.time = ToDosTime(kEntryTime);
        oldEntries.Add(EncodeExistingEntry(entry));
    }
    for (const auto& [relative, modified] : files) {
        FoundItem item;
        item.path = scratch + "/absent/" + relative;  // no second look at the file
        item.relative = relative;
        item.info.modified = modified;
        items.Add(EncodeFoundItem(item));
    }
    ::Plan plan(scratch);
    PlanOptions options;
    options.mode = mode;
    std::string first, second;
    EXPECT_EQ(MakePlan(oldEntries, items, options, scratch, plan, first, second), PlanResult::Ok);
    std::string line;
    RecordSpool::Reader reader = plan.entries.Read();
    for (std::string_view record; reader.Next(record);) {
        PlannedEntry entry = DecodePlannedEntry(record);
        const bool kept = entry.source == PlannedEntry::Source::Existing;
        line += (line.empty() ? "" : " ") + std::string(kept ? "=" : entry.replaces ? "~" : "+") +
                (kept ? entry.old.name : entry.name);
    }
    return line + " (" + std::to_string(plan.changes) + ")";
}

// An old entry kept through its plan record comes back with every field at its full width; a record read past
// its end is an error, not a loss. (How records come back from runs merged in passes: the Zip64 engine test.)
TEST(PlannedEntryRecord, FieldsComeBackAsWrittenAndWhatCannotBeReadIsAnError) {
    PlannedEntry kept;
    kept.old = {{"n\x81\x5C", 0x0314, 45, 0x0809, 8, {0x1234, 0x5678}, 0xCAFEBABE, (1ull << 33) + 3, (1ull << 34) + 1, 1,
                 0x81A40020, std::string("UT\x05\0\x01", 5), "c", (1ull << 32) + 7}, "名", 99};
    auto fields = [](const ExistingEntry& e) {
        return std::tuple(e.storedName, e.name, e.versionMadeBy, e.versionNeeded, e.flags, e.method, e.time.Packed(),
                          e.crc, e.compressedSize, e.size, e.internalAttributes, e.externalAttributes, e.centralExtra,
                          e.comment, e.localOffset, e.recordSize);
    };
    const std::string record = EncodePlannedEntry(kept);
    EXPECT_EQ(fields(DecodePlannedEntry(record).old), fields(kept.old));
    EXPECT_THROW(DecodePlannedEntry(std::string_view(record).substr(0, record.size() - 1)), ScratchError);
}

// Update and freshen compare at the two-second steps of ZIP times; replaced
// entries keep their places, new files follow in walk order.
TEST(UpdatePlanTest, ModesReplaceOnlyWhatTheyShould) {
    const std::int64_t older = kEntryTime - 10, same = kEntryTime - 1, newer = kEntryTime + 10;  // same: rounds up
    const std::vector<std::string> olds{"a", "b", "c", "d"};
    const std::vector<std::pair<std::string, std::int64_t>> files{
        {"z", newer}, {"c", newer}, {"b", same}, {"a", older}, {"y", older}};
    const std::pair<UpdateMode, const char*> cases[] = {
        {UpdateMode::Add, "~a ~b ~c =d +z +y (5)"},
        {UpdateMode::Update, "=a =b ~c =d +z +y (3)"},
        {UpdateMode::Freshen, "=a =b ~c =d (1)"},
    };
    for (const auto& [mode, expected] : cases) EXPECT_EQ(Planned(olds, files, mode), expected);
}

}  // namespace
