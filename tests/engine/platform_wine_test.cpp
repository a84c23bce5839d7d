// The Win32 platform layer linked in, under Wine: paths as the engine
// resolves them.
#include "platform.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformPaths, EveryFormResolvesToOneNormalisedLongPath) {
    const struct {
        const char* given;
        const wchar_t* resolved;
    } cases[] = {
        {"C:\\a\\..\\b\\.\\x.zip", L"\\\\?\\C:\\b\\x.zip"},
        {"C:/a//b/x.zip", L"\\\\?\\C:\\a\\b\\x.zip"},
        {"\\\\server\\share\\a\\..\\x.zip", L"\\\\?\\UNC\\server\\share\\x.zip"},
        {"\\\\?\\C:\\a\\..\\b\\.\\x.zip", L"\\\\?\\C:\\b\\x.zip"},
        {"\\\\?\\C:\\a\\x. ", L"\\\\?\\C:\\a\\x. "},  // the long form keeps trailing dots and spaces
        {"\\\\?\\UNC\\server\\share\\a\\..\\x.zip", L"\\\\?\\UNC\\server\\share\\x.zip"},
        {"\\\\?\\UNC\\server\\share\\..\\x.zip", L"\\\\?\\UNC\\server\\share\\x.zip"},  // not above the share
        {"\\\\.\\C:\\a\\x.zip", L"\\\\?\\C:\\a\\x.zip"},
        {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x.zip",
         L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x.zip"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        platform::Path path;
        ASSERT_TRUE(platform::ResolveFile(c.given, path));
        EXPECT_EQ(path, c.resolved);
    }
    platform::Path root;
    ASSERT_TRUE(platform::ResolveRoot("\\\\?\\C:\\windows\\..\\", root));
    EXPECT_EQ(root, L"\\\\?\\C:\\");
}

}  // namespace
