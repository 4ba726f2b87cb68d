// The intro splash on Windows: a borderless, topmost window the Media Foundation player draws
// the clip into.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <mfplay.h>

#include <string>

namespace ostrel {

inline constexpr const wchar_t* kIntroClass = L"OstrelIntro";
inline constexpr UINT kIntroLimitMs = 120000;

/// What ended a splash.
enum class IntroEnd { not_shown, no_player, ended, dismissed, timed_out, quit };

/// The splash's state, on the stack of the routine that plays it; the window reaches it
/// through GWLP_USERDATA.
struct IntroSplashState {
    IMFPMediaPlayer* player = nullptr;
    bool done = false;
    bool fitted = false;  // the window has been sized to the video
    IntroEnd end = IntroEnd::quit;
};

/// The window procedure of the "OstrelIntro" class.
LRESULT CALLBACK intro_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

/// Registers the class and creates the 1280 x 720 splash centred on the work area, shown;
/// null when it cannot. Undo with close_intro_window.
HWND open_intro_window();
void close_intro_window(HWND window);

/// Plays `file` in the splash until it ends, fails, is dismissed or `limit_ms` pass.
IntroEnd play_intro_file(const std::wstring& file, UINT limit_ms = kIntroLimitMs);

}  // namespace ostrel
#endif
