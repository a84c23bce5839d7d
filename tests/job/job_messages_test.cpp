#include "job/job_messages.h"

#include <gtest/gtest.h>

#include "job/run_zip.h"

namespace {

TEST(JobMessages, RunZipFailuresHaveTheirTexts) {
    EXPECT_STREQ(RunZipMessage(RZ_ALLOC_FAILED), L"GlobalAlloc()に失敗しました。");
    EXPECT_STREQ(RunZipMessage(RZ_LOCK_FAILED), L"GlobalLock()に失敗しました。");
    EXPECT_STREQ(RunZipMessage(RZ_LOAD_FAILED), L"ZIP32.DLLのロードに失敗しました。");
    EXPECT_STREQ(RunZipMessage(RZ_ENTRY_MISSING), L"未対応のZIP32.DLLです。");
    EXPECT_STREQ(RunZipMessage(RZ_BAD_VERSION), L"未対応のバージョンのZIP32.DLLです。");
    EXPECT_STREQ(RunZipMessage(RZ_INIT_FAILED), L"ZIP32.DLLの初期化に失敗しました。");
    EXPECT_EQ(RZ_ALLOC_FAILED, -11);
    EXPECT_EQ(RZ_INIT_FAILED, -16);
}

TEST(JobMessages, EngineStatusesShowNothing) {
    for (int status : {0, 1, int{ZIP_CANCELLED}, int{ZIP_NOTHING_TO_DO}, -10, -17, -1})
        EXPECT_EQ(RunZipMessage(status), nullptr) << status;
}

TEST(JobMessages, ProblemsNameThePath) {
    for (auto kind : {RequestProblem::NotCodePage932, RequestProblem::PartTooLong,
                      RequestProblem::NoCommonFolder}) {
        const std::wstring message = ProblemMessage({kind, L"D:\\x\\y.txt"});
        EXPECT_NE(message.find(L"\nD:\\x\\y.txt\n"), std::wstring::npos);
        EXPECT_NE(message.find(L"何も圧縮しませんでした"), std::wstring::npos);
    }
    EXPECT_TRUE(ProblemMessage({}).empty());
}

}  // namespace
