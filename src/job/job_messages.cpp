#include "job/job_messages.h"

#include "job/run_zip.h"

#include <cwchar>

namespace {

// The path as a user can read it: a lone surrogate, which no font draws, as
// its code point, as the engine shows characters it cannot write.
std::wstring Readable(std::wstring_view path) {
    std::wstring shown;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned>(path[i]);
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        const bool paired = high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF;
        if (paired) {
            shown += path.substr(i++, 2);
        } else if (high || low) {
            wchar_t note[16];
            std::swprintf(note, 16, L"<U+%04X>", c);
            shown += note;
        } else {
            shown += path[i];
        }
    }
    return shown;
}

}  // namespace

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
        case RequestProblem::WholeDrive:
            reason = L"次の項目はドライブ全体なので圧縮できません。ドライブの中のファイルやフォルダをドロップしてください。";
            break;
    }
    return std::wstring(reason) + L"\n\n" + Readable(problem.path) + L"\n\n何も圧縮しませんでした。";
}
