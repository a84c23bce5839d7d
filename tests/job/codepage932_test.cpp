#include "job/codepage932.h"

#include <gtest/gtest.h>

namespace {

struct Cp932Case {
    const wchar_t* text;
    const char* bytes;  // nullptr: not representable
};

TEST(CodePage932, ConvertsExactlyOrRefuses) {
    const Cp932Case cases[] = {
        {L"", ""},
        {L"C:\\work\\a.txt", "C:\\work\\a.txt"},
        {L"表", "\x95\x5c"},                // trail byte is the path separator's
        {L"データ", "\x83\x66\x81\x5b\x83\x5e"},  // trail byte is "["
        {L"ｷｬﾝｾﾙ", "\xb7\xac\xdd\xbe\xd9"},
        {L"\uFF5E", "\x81\x60"},            // fullwidth tilde: 932's own
        {L"\u301C", nullptr},               // wave dash: only a look-alike in 932
        {L"caf\u00e9", nullptr},            // no accented letters in 932
        {L"\uD55C", nullptr},               // Hangul
        {L"a\U0001F600", nullptr},          // outside the BMP
    };
    for (const Cp932Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const auto bytes = ToCodePage932(c.text);
        if (c.bytes == nullptr) {
            EXPECT_FALSE(bytes.has_value());
        } else {
            ASSERT_TRUE(bytes.has_value());
            EXPECT_EQ(*bytes, c.bytes);
            EXPECT_EQ(FromCodePage932(*bytes), c.text);
        }
    }
}

TEST(CodePage932, LossyMarksWhatItCannotRepresent) {
    EXPECT_EQ(ToCodePage932Lossy(L"caf\u00e9 表"), "caf? \x95\x5c");
}

TEST(CodePage932, BrokenBytesStillGiveText) {
    const std::wstring text = FromCodePage932("ab\x81");  // lead byte without trail
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 2), L"ab");
}

}  // namespace
