// Drawing frames while the window is shown, waiting while it is iconified.
#include "app/frame_loop.hpp"

#include <GLFW/glfw3.h>

namespace ostrel {
namespace {

// A signal cannot wake glfwWaitEvents, so the iconified wait looks up now and then.
constexpr double kIconifiedWakeSeconds = 0.5;

}  // namespace

std::uint64_t run_frame_loop(GLFWwindow* window, const std::function<void()>& draw_frame,
                             const std::atomic<bool>& close_requested) {
    std::uint64_t frames = 0;
    while (!glfwWindowShouldClose(window)) {
        if (close_requested) {
            glfwSetWindowShouldClose(window, GLFW_TRUE);
            break;
        }
        // Many drivers do not pace the swap of a window nobody sees, so drawing it would run
        // flat out. The attribute is read from the window manager's state every pass, so it is
        // right even when the window started iconified.
        if (glfwGetWindowAttrib(window, GLFW_ICONIFIED) == GLFW_TRUE) {
            glfwWaitEventsTimeout(kIconifiedWakeSeconds);
            continue;
        }
        draw_frame();
        ++frames;
    }
    return frames;
}

}  // namespace ostrel
