// The window icon on Windows: read back from the program's icon resource 101.
#ifdef _WIN32
#include <windows.h>

#define GLFW_EXPOSE_NATIVE_WIN32
#include <GLFW/glfw3.h>
#include <GLFW/glfw3native.h>

#include "app/window_icon.hpp"

namespace ostrel {
namespace {

constexpr int kIconResource = 101;

HICON load_icon(int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                           MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size,
                                           LR_DEFAULTCOLOR));
}

}  // namespace

std::vector<std::uint8_t> read_icon_resource(int size) {
    HICON icon = load_icon(size);
    if (icon == nullptr) return {};
    std::vector<std::uint8_t> rgba;
    ICONINFO info{};
    if (::GetIconInfo(icon, &info)) {
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;  // rows top to bottom
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(size) * size * 4);
        HDC screen = ::GetDC(nullptr);
        const int rows = ::GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size), bgra.data(),
                                     &format, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
        if (rows == size) {
            rgba.resize(bgra.size());
            for (std::size_t i = 0; i < bgra.size(); i += 4) {
                rgba[i + 0] = bgra[i + 2];
                rgba[i + 1] = bgra[i + 1];
                rgba[i + 2] = bgra[i + 0];
                rgba[i + 3] = bgra[i + 3];
            }
        }
        if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
        if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    }
    ::DestroyIcon(icon);
    return rgba;
}

// The taskbar and Alt+Tab ask the window itself: give it the resource's big and small icons.
void set_native_window_icon(GLFWwindow* window) {
    HWND hwnd = glfwGetWin32Window(window);
    if (hwnd == nullptr) return;
    const int big = ::GetSystemMetrics(SM_CXICON);
    const int small_side = ::GetSystemMetrics(SM_CXSMICON);
    if (HICON icon = load_icon(big > 0 ? big : 32))
        ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    if (HICON icon = load_icon(small_side > 0 ? small_side : 16))
        ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

}  // namespace ostrel
#endif
