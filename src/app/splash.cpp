// Playing the intro splash: a borderless, always-on-top GLFW window showing the decoded clip.
// Windows has its own, on Media Foundation's player (splash_win32.cpp).
#ifndef _WIN32
#include "app/splash.hpp"

#include <GLFW/glfw3.h>

#include <memory>
#include <optional>
#include <string>

#include "app/intro_clip.hpp"
#include "app/splash_rules.hpp"
#include "config/data_locations.hpp"
#include "platform/video_decoder.hpp"

namespace ostrel {
namespace {

void ignore_glfw_error(int /*code*/, const char* /*description*/) {}

void on_key(GLFWwindow* window, int key, int /*scancode*/, int action, int /*mods*/) {
    if (action == GLFW_PRESS && key_dismisses(key)) glfwSetWindowShouldClose(window, GLFW_TRUE);
}

void on_button(GLFWwindow* window, int button, int action, int /*mods*/) {
    if (action == GLFW_PRESS && button_dismisses(button)) {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

ScreenRect work_area() {
    ScreenRect work{0, 0, 1920, 1080};
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
        glfwGetMonitorWorkarea(monitor, &work.x, &work.y, &work.width, &work.height);
    }
    return work;
}

// Draws a top-down RGBA picture over the whole framebuffer (legacy GL: no shaders needed).
void show(GLFWwindow* window, const platform::VideoFrame& frame) {
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (frame.width > 0 && frame.height > 0) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glRasterPos2f(-1.0f, 1.0f);
        glPixelZoom(static_cast<float>(width) / static_cast<float>(frame.width),
                    -static_cast<float>(height) / static_cast<float>(frame.height));
        glDrawPixels(frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    }
    glfwSwapBuffers(window);
}

// Waits until `due` on the GLFW clock while handling input; false once the splash is over.
bool wait_until(GLFWwindow* window, SplashState& state, double due) {
    for (;;) {
        if (glfwWindowShouldClose(window)) state.finish();
        const double now = glfwGetTime();
        if (state.over(now)) return false;
        if (now >= due) return true;
        glfwWaitEventsTimeout(due - now);
    }
}

void play(const std::string& file) {
    auto decoder = platform::VideoDecoder::open(file);
    if (!decoder) return;

    const ScreenRect work = work_area();
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
    glfwWindowHint(GLFW_FLOATING, GLFW_TRUE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(kSplashWidth, kSplashHeight, "Ostrel", nullptr, nullptr);
    if (window == nullptr) return;
    const ScreenRect first = centred(work, kSplashWidth, kSplashHeight);
    glfwSetWindowPos(window, first.x, first.y);
    glfwShowWindow(window);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);  // the clip's time stamps pace the frames
    glfwSetKeyCallback(window, on_key);
    glfwSetMouseButtonCallback(window, on_button);

    // The size is known now: fit the window to the picture the viewer will see.
    const platform::VideoDecoder& video = **decoder;
    ScreenRect fitted;
    if (fit_to_video(work, video.width(), video.height(), fitted) && !(fitted == first)) {
        glfwSetWindowSize(window, fitted.width, fitted.height);
        glfwSetWindowPos(window, fitted.x, fitted.y);
    }
    const int source_rows = shown_video_height(video.height());

    SplashState state(glfwGetTime());
    const double started = glfwGetTime();
    platform::VideoFrame frame;
    show(window, frame);  // black at once, while the first frame decodes
    while (!state.over(glfwGetTime())) {
        int width = 0;
        int height = 0;
        glfwGetFramebufferSize(window, &width, &height);
        const auto more = (*decoder)->next_frame(frame, width, height, source_rows);
        if (!more || !*more) break;  // the end of the clip, or a stream that cannot be decoded
        if (!wait_until(window, state, started + frame.seconds)) break;
        show(window, frame);
        glfwPollEvents();
        if (glfwWindowShouldClose(window)) state.finish();
    }
    glfwDestroyWindow(window);
}

}  // namespace

void play_intro() {
    const std::optional<std::string> file =
        extract_intro(embedded_intro_clip(), temporary_folder(), program_directory());
    if (!file) return;
    // The splash says nothing when it cannot play; the main window reports GLFW's errors.
    GLFWerrorfun previous = glfwSetErrorCallback(ignore_glfw_error);
    if (glfwInit()) {
        play(*file);
        glfwTerminate();
    }
    glfwSetErrorCallback(previous);
}

}  // namespace ostrel
#endif
