// The frame loop: draw a frame per pass until the window is closed, but wait for events while
// the window is iconified, so a minimized program does not spin a core.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

struct GLFWwindow;

namespace ostrel {

/// Runs until the window should close or `close_requested` is set (then it marks the window
/// to close). `draw_frame` polls events, draws, renders and swaps once. While the window is
/// iconified no frame is drawn: the loop sleeps in glfwWaitEventsTimeout, waking for events
/// and twice a second to look at `close_requested`. Returns the number of frames drawn.
std::uint64_t run_frame_loop(GLFWwindow* window, const std::function<void()>& draw_frame,
                             const std::atomic<bool>& close_requested);

}  // namespace ostrel
