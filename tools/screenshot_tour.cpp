// Takes the README's pictures (scripts/screenshots.sh): runs the real main
// window in-process, opens the options dialog and the About box, archives a
// few sample files, and saves each window as main-window.bmp, options.bmp,
// about.bmp and progress.bmp in the folder given.
#include "gui_harness.h"

#include "base/local_date.h"
#include "resource.h"

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
    HBITMAP bitmap =
        CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, frame.left, frame.top, SRCCOPY);
    GdiFlush();
    if (bits) image.append(static_cast<const char*>(bits), header.biSizeImage);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

// Saves the window once it is fully drawn (two captures in a row alike).
bool SaveWindow(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::string previous, current;
    gui::WaitUntil([&] {
        previous = std::exchange(current, CaptureWindow(window));
        return current == previous;
    });
    const bool saved = (std::ofstream(std::filesystem::path(path), std::ios::binary) << current).good();
    if (!saved) std::fprintf(stderr, "screenshot tour: %ls not saved\n", path.c_str());
    return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_tour OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring out = argv[1] + std::wstring(L"\\"), sample = L"C:\\Tirvo-sample\\";
    std::filesystem::create_directories(sample + L"データ");
    std::ofstream(std::filesystem::path(sample + L"メモ.txt"), std::ios::binary) << "Tirvo sample\r\n";
    std::ofstream(std::filesystem::path(sample + L"報告書.txt"), std::ios::binary) << "2026-12 report\r\n";
    std::ofstream(std::filesystem::path(sample + L"データ\\values.csv"), std::ios::binary) << "a,b\r\n1,2\r\n";
    // Keep the pointer off the windows, so that no control is drawn hot.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Settings settings;
    settings.tDate = MakeLocalTime({2000, 12, 29}).value_or(0);
    settings.stFileName = sample + L"サンプル.zip";
    settings.bTopMost = 0;
    bool done = true;
    gui::RunMainWindowWith(settings, [&](HWND main) {
        done = SaveWindow(main, out + L"main-window.bmp");
        // Each window: opened, saved once ready, closed with OK or Cancel.
        const struct {
            const wchar_t* name;
            std::function<void()> open;
            const wchar_t* caption;
            int closeId;
        } shots[] = {
            {L"options", [&] { gui::PostClick(main, IDC_OPTIONS); }, L"オプション Tirvo", IDCANCEL},
            {L"about", [&] { PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }, L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo", IDOK},
            {L"progress", [&] { gui::PostDrop(main, {sample + L"メモ.txt", sample + L"報告書.txt", sample + L"データ"}); },
             L"進捗状況 Tirvo", IDOK},
        };
        for (const auto& shot : shots) {
            shot.open();
            HWND window = gui::WaitForWindow(shot.caption);
            done = done && window && gui::WaitUntil([&] { return gui::IsEnabled(window, shot.closeId); }) &&
                   SaveWindow(window, out + shot.name + L".bmp");
            gui::Click(window, shot.closeId);
            gui::WaitForWindowGone(window);
        }
    });
    return done ? 0 : 1;
}
