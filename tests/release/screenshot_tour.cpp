// Takes the README's pictures: runs the real main window in-process, opens
// the options dialog and the About box, archives a few sample files, and
// saves each window as a bitmap (main-window.bmp, options.bmp, about.bmp,
// progress.bmp) in the folder given. scripts/screenshots.sh builds it, runs
// it under Wine and makes PNG files of them.
#include "options_support.h"

#include <filesystem>
#include <fstream>

namespace {

// The window's pixels as a bottom-up 24-bit bitmap file.
std::string CaptureWindow(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = frame.right - frame.left;
    header.biHeight = frame.bottom - frame.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(((header.biWidth * 3 + 3) & ~3) * header.biHeight);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(file) + sizeof(header) + header.biSizeImage), 0, 0,
                          sizeof(file) + sizeof(header)};
    std::string image(reinterpret_cast<const char*>(&file), sizeof(file));
    image.append(reinterpret_cast<const char*>(&header), sizeof(header));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                      nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, frame.left, frame.top, SRCCOPY);
        GdiFlush();
        image.append(static_cast<const char*>(bits), header.biSizeImage);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

// Saves the window once it is fully drawn: two captures in a row alike.
bool SaveWindow(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::string previous, current;
    gui::WaitUntil([&] {
        previous = std::move(current);
        current = CaptureWindow(window);
        return current == previous;
    });
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    return out.write(current.data(), static_cast<std::streamsize>(current.size())).good();
}

bool Fail(const wchar_t* what) {
    std::fprintf(stderr, "screenshot tour: %ls not saved\n", what);
    return false;
}

// Opens a window with open(), waits for it by caption (and, when given,
// for ready()), saves it as outDir\name.bmp and closes it with OK or cancel.
bool Shoot(const std::wstring& outDir, const wchar_t* name, const std::function<void()>& open,
           const wchar_t* caption, int closeId, const std::function<bool(HWND)>& ready = nullptr) {
    open();
    HWND window = gui::WaitForWindow(caption);
    if (!window || (ready && !gui::WaitUntil([&] { return ready(window); }))) return Fail(name);
    bool saved = SaveWindow(window, outDir + L"\\" + name + L".bmp");
    gui::Click(window, closeId);
    gui::WaitForWindowGone(window);
    return saved || Fail(name);
}

bool Tour(HWND main, const std::wstring& outDir) {
    if (!SaveWindow(main, outDir + L"\\main-window.bmp")) return Fail(L"main-window");
    const std::wstring sample = L"C:\\Tirvo-sample\\";
    bool done = Shoot(outDir, L"options", [&] { gui::PostClick(main, IDC_OPTIONS); }, L"オプション Tirvo",
                      IDCANCEL) &&
                Shoot(outDir, L"about", [&] { PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0); },
                      L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo", IDOK) &&
                Shoot(outDir, L"progress",
                      [&] { gui::PostDrop(main, {sample + L"メモ.txt", sample + L"報告書.txt", sample + L"データ"}); },
                      L"進捗状況 Tirvo", IDOK, [](HWND progress) { return gui::IsEnabled(progress, IDOK); });
    return done;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_tour OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring sample = L"C:\\Tirvo-sample\\";
    std::filesystem::create_directories(sample + L"データ");
    const std::pair<const wchar_t*, const char*> samples[] = {
        {L"メモ.txt", "Tirvo sample\r\n"}, {L"報告書.txt", "2026-12 report\r\n"}, {L"データ\\values.csv", "a,b\r\n1,2\r\n"}};
    for (const auto& [name, text] : samples) {
        std::ofstream(std::filesystem::path(sample + name), std::ios::binary) << text;
    }

    // Keep the pointer off the windows, so that no control is drawn hot.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Settings settings;
    settings.tDate = MakeLocalTime({2000, 12, 29}).value_or(0);
    settings.stFileName = sample + L"サンプル.zip";
    settings.bTopMost = 0;
    bool done = false;
    options_test::RunMainWindowWith(settings, [&](HWND main) { done = Tour(main, argv[1]); });
    return done ? 0 : 1;
}
