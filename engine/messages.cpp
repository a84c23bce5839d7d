#include "messages.h"

#include "text_codec.h"

namespace msg {

std::string Reason(const platform::Error& error) {
    switch (error.kind) {
    case platform::ErrorKind::NotFound: return "見つかりません";
    case platform::ErrorKind::AccessDenied: return "アクセスが拒否されました";
    case platform::ErrorKind::SharingViolation: return "他のプロセスが使用中です";
    case platform::ErrorKind::DiskFull: return "ディスクの空き容量が足りません";
    case platform::ErrorKind::CrossDevice: return "別のドライブへは移動できません";
    default: return "エラー コード " + std::to_string(error.code);
    }
}

std::string AddedHead(const std::string& name, bool replaced) { return (replaced ? "  置換: " : "  追加: ") + name; }

std::string AddedResult(bool deflated, std::uint64_t size, std::uint64_t compressed, bool converted, bool encrypted) {
    std::string line;
    if (deflated) {
        int percent = size == 0 ? 0 : static_cast<int>(100 - (compressed * 100) / size);
        line += " (圧縮 " + std::to_string(percent < 0 ? 0 : percent) + "%)";
    } else {
        line += " (無圧縮)";
    }
    if (converted) line += " [改行変換]";
    if (encrypted) line += " [暗号化]";
    return line;
}

std::string AddedFolder(const std::string& name) { return "  追加: " + name + " (フォルダー)"; }
std::string AddedVolumeLabel(const std::string& label) { return "  追加: " + label + " (ボリュームラベル)"; }
std::string CannotRead(const std::string& name, const std::string& reason) {
    return "  エラー: " + name + " を読み込めません (" + reason + ")。書庫には入れませんでした。";
}
std::string InUse(const std::string& name, bool moving) {
    return "  エラー: " + name + " は他のプログラムが開いているため読み込めません。書庫には入れませんでした" +
           (moving ? "(元のファイルは残しています)" : "") + "。そのプログラムで閉じてから、もう一度ドロップしてください。";
}
std::string ChangedWhileReading(const std::string& name) {
    return "  エラー: " + name + " は読み込み中に変更されました。書庫には入れませんでした。";
}
std::string TooLarge(const std::string& name) {
    return "  エラー: " + name + " は読み込み中に大きくなりすぎました。書庫には入れませんでした。";
}
std::string KeptOldEntry(const std::string& name) { return "  保持: " + name + " は書庫にある元の内容のままです。"; }
std::string LinkSkipped(const std::string& name) { return "  スキップ: " + name + " はリンクなので辿りません。"; }
std::string DeviceSkipped(const std::string& name) {
    return "  スキップ: " + name + " はデバイスなど通常のファイルではないので、書庫には入れません。";
}
std::string CannotList(const std::string& name, const std::string& reason) {
    return "  エラー: フォルダー " + name + " の中身を読めません (" + reason + ")。";
}
std::string OutsideRoot(const std::string& pattern) {
    return "  エラー: " + pattern + " は基準フォルダーの中を指していません。";
}
std::string NoMatch(const std::string& pattern) {
    return "  エラー: " + pattern + " に一致するファイルがありません。";
}
std::string ArchiveItself(const std::string& pattern) {
    return "  エラー: " + pattern + " は書庫そのものなので、書庫には入れられません。";
}
std::string CannotDelete(const std::string& name, const std::string& reason) {
    return "  エラー: " + name + " を削除できません (" + reason + ")。";
}
std::string DeletingStopped(const std::string& reason) {
    return "エラー: 作業ファイルを読めないため、残りの元のファイルは削除しませんでした (" + reason + ")。";
}
std::string DeletingCancelled() {
    return "中止したため、残りの元のファイルは削除しませんでした。書庫は置き換えました。";
}
std::string ChangedSinceStored(const std::string& name) {
    return "  エラー: " + name + " は書庫に入れた後に変更されたので、削除しませんでした。";
}
std::string TempLeftBehind(const std::string& reason) {
    return "エラー: 作業フォルダーの一時ファイルを削除できません (" + reason + ")。書庫は置き換えました。";
}

std::string BadRequest(const std::string& what) { return "エラー: 要求が正しくありません (" + what + ")。"; }
std::string NotAZip(const std::string& archive) {
    return "エラー: " + archive + " はZIP書庫として読めません。ファイルは変更していません。";
}
std::string ArchiveIsFolder(const std::string& archive) {
    return "エラー: " + archive + " はフォルダーなので、書庫にはできません。フォルダーは変更していません。";
}
std::string CannotReadArchive(const std::string& archive, const std::string& reason) {
    return "エラー: 書庫 " + archive + " を読み込めません (" + reason + ")。書庫は変更していません。";
}
std::string CannotCreateTemp(const std::string& reason) {
    return "エラー: 一時ファイルを作成できません (" + reason + ")。書庫は変更していません。";
}
std::string CannotWriteTemp(const std::string& reason) {
    return "エラー: 一時ファイルに書き込めません (" + reason + ")。書庫は変更していません。";
}
std::string CannotReplace(const std::string& archive, const std::string& reason) {
    return "エラー: 書庫 " + archive + " を置き換えられません (" + reason + ")。書庫は変更していません。";
}
std::string NameClash(const std::string& first, const std::string& second, const std::string& name) {
    return "エラー: " + first + " と " + second + " が書庫の中で同じ名前 " + name +
           " になります。書庫は変更していません。";
}
std::string NoPassword() { return "エラー: パスワードが入力されませんでした。書庫は変更していません。"; }
std::string PasswordMismatch() { return "エラー: パスワードが一致しません。書庫は変更していません。"; }
std::string PasswordPrompt() { return "パスワードを入力してください: "; }
std::string PasswordConfirmPrompt() { return "確認のため、もう一度パスワードを入力してください: "; }
std::string Cancelled() { return "中止しました。書庫は変更していません。"; }
std::string NothingMatched() { return "対象となるファイルがありません。書庫は変更していません。"; }
std::string NothingToChange() { return "更新が必要なファイルはありません。書庫は変更していません。"; }
std::string NoMemory() { return "エラー: メモリが足りません。書庫は変更していません。"; }
std::string NoResources() { return "エラー: システムの資源が足りません (" + NoResourcesReason() + ")。書庫は変更していません。"; }
std::string NoResourcesReason() { return "メモリまたはスレッドを確保できません"; }

std::string Summary(std::size_t added, std::size_t replaced, std::size_t kept, std::size_t failed) {
    std::string line = "完了: " + std::to_string(added) + " 個を追加、" + std::to_string(replaced) +
                       " 個を置換、" + std::to_string(kept) + " 個はそのままです。";
    if (failed > 0) line += std::to_string(failed) + " 個のファイルは読み込めませんでした。";
    return line;
}

std::string Deleted(std::size_t files) { return "元のファイルを " + std::to_string(files) + " 個削除しました。"; }

}  // namespace msg

void Reporter::Progress(const std::string& utf8Line) {
    if (!quiet_) Send(utf8Line);
}

void Reporter::Problem(const std::string& utf8Line) { Send(utf8Line); }

void Reporter::Begin(const std::string& utf8Head) {
    if (quiet_) return;
    if (open_) Print("\r\n");
    Print(utf8Head);
    open_ = true;
    marked_ = false;
}

void Reporter::Mark() {
    if (!open_) return;
    Print(marked_ ? "." : " .");
    marked_ = true;
}

void Reporter::End(const std::string& utf8Head, const std::string& utf8Result) {
    if (!open_) return Progress(utf8Head + utf8Result);
    open_ = false;
    Print(utf8Result + "\r\n");
}

void Reporter::Send(const std::string& utf8Line) {
    if (open_) {
        open_ = false;
        Print("\r\n");
    }
    // No static std::string: its guarded start-up would go through the
    // threads library on Windows (see threads.h).
    constexpr std::string_view kStop = "。";
    std::string text;
    if (codec_.Readable(utf8Line).size() <= kLogColumns) {
        text = utf8Line;
    } else {
        std::string indent = utf8Line.substr(0, utf8Line.find_first_not_of(' ')) + "  ";
        for (std::size_t at = 0; at < utf8Line.size();) {
            std::size_t stop = utf8Line.find(kStop, at);
            std::size_t end = stop == std::string::npos ? utf8Line.size() : stop + kStop.size();
            if (at > 0) text += "\r\n" + indent;
            text += utf8Line.substr(at, end - at);
            at = end;
        }
    }
    Print(text + "\r\n");
}

void Reporter::Print(const std::string& utf8Text) {
    std::string text = codec_.Readable(utf8Text);
    if (print_) print_(text.c_str(), static_cast<std::uint32_t>(text.size()));
}
