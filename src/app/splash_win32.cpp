// Playing the intro splash on Windows with the Media Foundation player.
#ifdef _WIN32
#include "app/splash_win32.hpp"

#include <mfapi.h>

#include "app/intro_callback_win32.hpp"
#include "app/intro_file_win32.hpp"
#include "app/splash.hpp"
#include "app/splash_rules.hpp"

namespace ostrel {
namespace {

constexpr UINT_PTR kLimitTimer = 1;
constexpr int kIconResource = 101;
constexpr ULONG kMediaFoundationVersion = 0x20070;

IntroSplashState* state_of(HWND window) {
    return reinterpret_cast<IntroSplashState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

ScreenRect work_area() {
    RECT work{0, 0, 1920, 1080};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

/// The clip as the viewer sees it: the bottom tenth cut off.
void crop_source(IMFPMediaPlayer* player) {
    MFVideoNormalizedRect source{0.0f, 0.0f, 1.0f, 0.9f};
    player->SetVideoSourceRect(&source);
}

void fit_to_player(HWND window, IMFPMediaPlayer* player) {
    SIZE video{};
    SIZE aspect{};
    if (FAILED(player->GetNativeVideoSize(&video, &aspect))) return;
    ScreenRect fitted;
    if (!fit_to_video(work_area(), video.cx, video.cy, fitted)) return;
    ::SetWindowPos(window, HWND_TOPMOST, fitted.x, fitted.y, fitted.width, fitted.height,
                   SWP_SHOWWINDOW);
    player->UpdateVideo();
}

void finish(IntroSplashState& state, IntroEnd end) {
    if (state.done) return;
    state.done = true;
    state.end = end;
    ::PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK intro_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    IntroSplashState* state = state_of(window);
    switch (message) {
        case WM_SIZE:
            if (state != nullptr && state->player != nullptr) state->player->UpdateVideo();
            return 0;
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(window, &client);
            ::FillRect(reinterpret_cast<HDC>(wparam), &client,
                       static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
            return 1;
        }
        case WM_KEYDOWN:
            if (wparam != VK_RETURN && wparam != VK_ESCAPE && wparam != VK_SPACE) return 0;
            [[fallthrough]];
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (state != nullptr) finish(*state, IntroEnd::dismissed);
            return 0;
        case WM_TIMER:
            if (state != nullptr) finish(*state, IntroEnd::timed_out);
            return 0;
        case kIntroDismiss:
            if (state != nullptr) finish(*state, IntroEnd::ended);
            return 0;
        case kIntroFit:
            if (state != nullptr && state->player != nullptr && !state->fitted) {
                state->fitted = true;
                crop_source(state->player);
                fit_to_player(window, state->player);
            }
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND open_intro_window() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW type{};
    type.cbSize = sizeof(type);
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = intro_window_proc;
    type.hInstance = instance;
    type.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the standard arrow
    type.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    type.lpszClassName = kIntroClass;
    type.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    type.hIconSm = type.hIcon;
    ::RegisterClassExW(&type);

    const ScreenRect at = centred(work_area(), kSplashWidth, kSplashHeight);
    HWND window = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_TOPMOST, kIntroClass, L"Ostrel",
                                    WS_POPUP | WS_VISIBLE, at.x, at.y, kSplashWidth, kSplashHeight,
                                    nullptr, nullptr, instance, nullptr);
    if (window == nullptr) ::UnregisterClassW(kIntroClass, instance);
    return window;
}

void close_intro_window(HWND window) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    ::UnregisterClassW(kIntroClass, ::GetModuleHandleW(nullptr));
}

IntroEnd play_intro_file(const std::wstring& file, UINT limit_ms) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return IntroEnd::not_shown;
    IntroEnd end = IntroEnd::not_shown;
    if (SUCCEEDED(::MFStartup(kMediaFoundationVersion, MFSTARTUP_FULL))) {
        if (HWND window = open_intro_window()) {
            IntroSplashState state;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
            auto* callback = new IntroCallback(window);
            const HRESULT created =
                ::MFPCreateMediaPlayer(file.c_str(), TRUE, 0, callback, window, &state.player);
            callback->Release();  // the player holds its own reference
            if (FAILED(created)) state.player = nullptr;
            if (state.player != nullptr) {
                state.player->SetAspectRatioMode(MFVideoARMode_PreservePicture);
                crop_source(state.player);
                ::SetTimer(window, kLimitTimer, limit_ms, nullptr);
                MSG message{};
                while (!state.done && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
                    ::TranslateMessage(&message);
                    ::DispatchMessageW(&message);
                }
                ::KillTimer(window, kLimitTimer);
                // The quit message that ended the loop must not reach the main window's event
                // loop: GLFW treats one as a request to close every window.
                ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
                state.player->Shutdown();
                state.player->Release();
                state.player = nullptr;
                end = state.end;
            } else {
                end = IntroEnd::no_player;
            }
            close_intro_window(window);
        }
        ::MFShutdown();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return end;
}

void play_intro() {
    if (const auto file = extract_intro_video()) play_intro_file(*file);
}

}  // namespace ostrel
#endif
