// The Media Foundation player's callback for the intro splash (Windows).
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <mfplay.h>

namespace ostrel {

/// The splash window's own messages, posted by the callback and handled on the splash thread.
inline constexpr UINT kIntroDismiss = WM_APP + 40;
inline constexpr UINT kIntroFit = WM_APP + 41;

/// Turns the player's events into messages for the splash window: the end of playback, an
/// error or a failed event dismiss the splash, a media item being set asks for the fit. The
/// player may call it on its own threads; it only posts, and its count is atomic.
class IntroCallback final : public IMFPMediaPlayerCallback {
  public:
    /// Starts with one reference, the creator's.
    explicit IntroCallback(HWND window) : window_(window) {}
    IntroCallback(const IntroCallback&) = delete;
    IntroCallback& operator=(const IntroCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    void STDMETHODCALLTYPE OnMediaPlayerEvent(MFP_EVENT_HEADER* header) override;

  private:
    ~IntroCallback() = default;  // through Release only

    HWND window_;
    volatile LONG references_ = 1;
};

}  // namespace ostrel
#endif
