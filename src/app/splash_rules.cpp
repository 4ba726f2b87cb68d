// Placement, fitting and dismissal of the intro splash.
#include "app/splash_rules.hpp"

#include <GLFW/glfw3.h>

#include <cstdint>

namespace ostrel {

ScreenRect centred(const ScreenRect& work, int width, int height) {
    return {work.x + (work.width - width) / 2, work.y + (work.height - height) / 2, width, height};
}

int shown_video_height(int video_height) {
    const int shown = static_cast<int>(video_height * 0.9);
    return shown < 1 ? 1 : shown;
}

bool fit_to_video(const ScreenRect& work, int video_width, int video_height, ScreenRect& out) {
    if (video_width < 1 || video_height < 1) return false;
    std::int64_t width = video_width;
    std::int64_t height = shown_video_height(video_height);
    const std::int64_t width_limit = static_cast<std::int64_t>(work.width) * 85 / 100;
    const std::int64_t height_limit = static_cast<std::int64_t>(work.height) * 85 / 100;
    if (width > width_limit || height > height_limit) {
        // One factor for both sides: the one that brings the tighter side to its limit.
        const double factor = height * width_limit >= width * height_limit
                                  ? static_cast<double>(height_limit) / static_cast<double>(height)
                                  : static_cast<double>(width_limit) / static_cast<double>(width);
        width = static_cast<std::int64_t>(static_cast<double>(width) * factor);
        height = static_cast<std::int64_t>(static_cast<double>(height) * factor);
    }
    out = centred(work, static_cast<int>(width), static_cast<int>(height));
    return true;
}

bool key_dismisses(int key) {
    return key == GLFW_KEY_ENTER || key == GLFW_KEY_KP_ENTER || key == GLFW_KEY_ESCAPE ||
           key == GLFW_KEY_SPACE;
}

bool button_dismisses(int button) {
    return button == GLFW_MOUSE_BUTTON_LEFT || button == GLFW_MOUSE_BUTTON_RIGHT;
}

}  // namespace ostrel
