// The intro splash's rules, apart from any window: where it sits, how it fits the video, what
// ends it.
#pragma once

namespace ostrel {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};

inline constexpr int kSplashWidth = 1280;
inline constexpr int kSplashHeight = 720;
inline constexpr double kSplashLimitSeconds = 120.0;

/// A `width` x `height` rectangle centred on the work area (integer halves).
ScreenRect centred(const ScreenRect& work, int width, int height);

/// The splash once the video's size is known: its bottom tenth cut off, scaled down by one
/// factor to at most 85 % of the work area when it is larger, centred. Nothing for a size
/// below 1.
bool fit_to_video(const ScreenRect& work, int video_width, int video_height, ScreenRect& out);

/// The part of a video's height that is shown (the bottom tenth is cut off), at least 1.
int shown_video_height(int video_height);

/// Enter (either), Escape and Space end the splash; other keys do nothing. GLFW key codes.
bool key_dismisses(int glfw_key);
/// A press of the left or right button ends it. GLFW button codes.
bool button_dismisses(int glfw_button);

/// Whether the splash is over, on a clock the caller supplies (seconds).
class SplashState {
  public:
    explicit SplashState(double started_at) : started_at_(started_at) {}
    /// The clip ended, could not be decoded, or the person dismissed it.
    void finish() { finished_ = true; }
    bool over(double now) const { return finished_ || now - started_at_ >= kSplashLimitSeconds; }

  private:
    double started_at_;
    bool finished_ = false;
};

}  // namespace ostrel
