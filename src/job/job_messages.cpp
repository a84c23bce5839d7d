#include "job/job_messages.h"

#include "job/run_zip.h"

const wchar_t* RunZipMessage(int result) {
    switch (result) {
        case RZ_ALLOC_FAILED: return L"GlobalAlloc()に失敗しました。";
        case RZ_LOCK_FAILED: return L"GlobalLock()に失敗しました。";
        case RZ_LOAD_FAILED: return L"ZIP32.DLLのロードに失敗しました。";
        case RZ_ENTRY_MISSING: return L"未対応のZIP32.DLLです。";
        case RZ_BAD_VERSION: return L"未対応のバージョンのZIP32.DLLです。";
        case RZ_INIT_FAILED: return L"ZIP32.DLLの初期化に失敗しました。";
        default: return nullptr;
    }
}

std::wstring ProblemMessage(const RequestProblem& problem) {
    const wchar_t* reason = L"";
    switch (problem.kind) {
        case RequestProblem::None: return {};
        case RequestProblem::NotUnicode:
            reason = L"次のパスには Unicode の文字として正しくない部分 (対になっていないサロゲート) があるため、書庫に名前を記録できません。";
            break;
        case RequestProblem::PartTooLong:
            reason = L"次のパスはフォルダ名またはファイル名が長すぎます。";
            break;
        case RequestProblem::NoCommonFolder:
            reason = L"次の項目とほかの項目に共通のフォルダがありません。同じドライブにあるファイルやフォルダをドロップしてください。";
            break;
    }
    return std::wstring(reason) + L"\n\n" + problem.path + L"\n\n何も圧縮しませんでした。";
}
