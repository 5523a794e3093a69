#include "standin/player/WindowCapture.h"

#include <cstdio>
#include <memory>

#include "win/GdiWrappers.h"

namespace standin {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool CaptureWindowToBmp(HWND window, const std::string& path, std::string* error) {
    RECT rect{};
    if (!::IsWindow(window) || !::GetWindowRect(window, &rect)) {
        *error = "no such window";
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        *error = "the window has no area";
        return false;
    }
    // Copied from the screen, not printed: common controls draw into it as they really look,
    // including whatever the meter thread drew a moment ago.
    win::WindowDc screen(nullptr);
    win::UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueGdiObject section(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !section || !bits) {
        *error = "cannot create the capture bitmap";
        return false;
    }
    {
        win::SelectGuard select(memory.get(), section.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
        ::GdiFlush();
    }
    const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * DWORD(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    const bool written = std::fwrite(&file, sizeof(file), 1, out.get()) == 1 &&
                         std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out.get()) == 1 &&
                         std::fwrite(bits, 1, imageBytes, out.get()) == imageBytes;
    if (!written) *error = "cannot write " + path;
    return written;
}

}  // namespace standin
