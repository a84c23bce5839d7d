// The application object's profile on the real registry.
#include "gui_harness.h"

#include <chrono>

namespace {

// Reading creates nothing; what the program writes reads back as written, up to strings of exactly the length
// limit. Values it did not write, each read as an int (default -7) and as a string (default "def"): another type or
// size, or a string over the limit, gives the default, quickly even when huge.
TEST(ProfileTest, ValuesBackAsWrittenAndOtherShapesAsTheDefault) {
    gui::TestProfile key;  // HKCU\Software\Dremmil\<test name>, empty
    CArchiverApp app{key.appName.c_str()};
    app.SetRegistryKey(L"Dremmil");
    EXPECT_EQ(app.ReadProfileString(L"", L"stFileName", L"def"), L"def");
    HKEY handle = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, key.path.c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
    for (int value : {0, -1, 2147483647, -2147483647 - 1}) {
        ASSERT_TRUE(app.SaveProfileInt(L"", L"n", value));
        EXPECT_EQ(key.ReadDword(L"n"), static_cast<DWORD>(value));
        EXPECT_EQ(app.ReadProfileInt(L"", L"n", 12345), value);
    }
    const std::wstring longest(CAppBase::kMaxProfileString, L'x'), tooLong = longest + L"y";
    for (const std::wstring& value : {std::wstring(L""), std::wstring(L"D:\\作業\\ｱｲｳ"), longest}) {
        ASSERT_TRUE(app.SaveProfileString(L"", L"st", value));
        EXPECT_EQ(app.ReadProfileString(L"", L"st", L"default"), value);
    }
    EXPECT_FALSE(app.SaveProfileString(L"", L"written", tooLong));
    EXPECT_FALSE(key.ReadString(L"written"));

    auto bytes = [](const void* data, std::size_t size) {
        return std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    };
    const std::wstring temp = _wgetenv(L"TEMP"), huge(4 * 1024 * 1024, L'z');
    const struct {
        DWORD type;
        std::vector<BYTE> data;
        int asInt;
        std::wstring asString;
    } cases[] = {
        {REG_DWORD, {5, 0, 0, 0}, 5, L"def"},
        {REG_DWORD, {1, 0}, -7, L"def"},
        {REG_BINARY, {5, 0, 0, 0}, -7, L"def"},
        {REG_SZ, bytes(L"5", 4), -7, L"5"},
        {REG_MULTI_SZ, bytes(L"a\0b\0", 10), -7, L"def"},
        {REG_SZ, bytes(L"C:\\a.zip\0junk", 28), -7, L"C:\\a.zip"},
        {REG_SZ, bytes(L"abc", 6), -7, L"abc"},
        {REG_SZ, {}, -7, L""},
        {REG_SZ, {'a', 0, 'b'}, -7, L"a"},
        {REG_EXPAND_SZ, bytes(L"%TEMP%\\x", 18), -7, temp + L"\\x"},
        {REG_SZ, bytes(tooLong.c_str(), (tooLong.size() + 1) * 2), -7, L"def"},
        {REG_SZ, bytes(huge.c_str(), (huge.size() + 1) * 2), -7, L"def"},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const auto& c : cases) {
        const std::wstring name = L"v" + std::to_wstring(&c - cases);
        ASSERT_TRUE(key.WriteRaw(name, c.type, c.data.data(), static_cast<DWORD>(c.data.size())));
        EXPECT_EQ(app.ReadProfileInt(L"", name, -7), c.asInt) << name;
        EXPECT_EQ(app.ReadProfileString(L"", name, L"def"), c.asString) << name;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
