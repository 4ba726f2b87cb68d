// Drawing the intro's frames from the icon's mark.
#include "app/intro_frames.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/window_icon.hpp"

namespace ostrel {
namespace {

constexpr float kStage = 0.07f * 255.0f;  // the main window's background

float ease_out(float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return 1.0f - (1.0f - t) * (1.0f - t) * (1.0f - t);
}

}  // namespace

std::vector<std::uint8_t> make_intro_frame(int index) {
    const float t = static_cast<float>(index) / static_cast<float>(kIntroFps);
    const float total = static_cast<float>(kIntroFrames) / static_cast<float>(kIntroFps);
    // The mark grows in while a sweep uncovers it clockwise from the top, holds, then the
    // whole picture fades out during the last half second.
    const int size = 2 * static_cast<int>(110.0f + 100.0f * ease_out(t / 1.2f));
    const float sweep = 2.0f * std::numbers::pi_v<float> * ease_out(t / 1.5f);
    const float fade = std::clamp(std::min(t / 0.4f, (total - t) / 0.5f), 0.0f, 1.0f);
    const std::vector<std::uint8_t> mark = make_icon_pixels(size);

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kIntroWidth) * kIntroHeight * 3,
                                  static_cast<std::uint8_t>(kStage * fade));
    // Centred in the part of the picture that stays after the crop.
    const int left = (kIntroWidth - size) / 2;
    const int top = (kIntroHeight * 9 / 10 - size) / 2;
    const float half = static_cast<float>(size) / 2.0f;
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            const float dx = static_cast<float>(col) + 0.5f - half;
            const float dy = static_cast<float>(row) + 0.5f - half;
            float angle = std::atan2(dx, -dy);  // 0 at the top, growing clockwise
            if (angle < 0.0f) angle += 2.0f * std::numbers::pi_v<float>;
            if (angle > sweep) continue;
            const std::uint8_t* p = &mark[(static_cast<std::size_t>(row) * size + col) * 4];
            const float alpha = static_cast<float>(p[3]) / 255.0f * fade;
            std::uint8_t* out =
                &rgb[(static_cast<std::size_t>(top + row) * kIntroWidth + left + col) * 3];
            for (int c = 0; c < 3; ++c) {
                const float under = static_cast<float>(out[c]);
                out[c] = static_cast<std::uint8_t>(
                    std::lround(under + (static_cast<float>(p[c]) - under) * alpha));
            }
        }
    }
    return rgb;
}

}  // namespace ostrel
