// The window icon, drawn in code: an amber ring with a rising line on a dark rounded square.
#pragma once

#include <cstdint>
#include <vector>

struct GLFWwindow;

namespace ostrel {

/// The icon sizes handed to the window manager, smallest first.
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

/// The icon at `size` x `size` pixels, RGBA, 8 bits per channel, rows top to bottom.
std::vector<std::uint8_t> make_icon_pixels(int size);

/// Sets every size of the icon on the window; the window system picks the best fit. On
/// Windows the pictures come from the program's icon resource when it has one.
void set_window_icon(GLFWwindow* window);

/// The program's icon resource at `size` x `size`, RGBA like make_icon_pixels; empty when the
/// program carries none (always empty off Windows).
std::vector<std::uint8_t> read_icon_resource(int size);

}  // namespace ostrel
