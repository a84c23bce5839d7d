// The Win32 platform layer linked in, under Wine: paths as the engine
// resolves them, and which failures to open an input are waited out.
#include "lock_wait.h"
#include "platform.h"

#include <gtest/gtest.h>
#include <windows.h>

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

std::uint32_t ZIP_API Print(const char*, std::uint32_t) { return 0; }
int ZIP_API Service(const char*, std::uint32_t) { return 0; }

TEST(InputOpener, WaitsForDeniedInputsUntilOneWaitCameToNothing) {
    Heartbeat heartbeat(Print, Service);
    InputOpener inputs(heartbeat);
    int attempts = 0;
    auto failing = [&](DWORD code, int times) {
        attempts = 0;
        return [&attempts, code, times](platform::Error& e) {
            if (++attempts > times) return true;
            e = {code == ERROR_ACCESS_DENIED ? platform::ErrorKind::AccessDenied : platform::ErrorKind::SharingViolation,
                 code};
            return false;
        };
    };
    platform::Error error;
    EXPECT_TRUE(inputs.Open(failing(ERROR_ACCESS_DENIED, 2), error));  // held for a moment
    EXPECT_EQ(attempts, 3);
    EXPECT_FALSE(inputs.Open(failing(ERROR_ACCESS_DENIED, 1000000), error));  // waited out in vain
    EXPECT_GT(attempts, 3);
    EXPECT_FALSE(inputs.Open(failing(ERROR_ACCESS_DENIED, 1), error));  // from now on left out at once
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(inputs.Open(failing(ERROR_SHARING_VIOLATION, 2), error));  // still waited for
    EXPECT_EQ(attempts, 3);
}

}  // namespace
