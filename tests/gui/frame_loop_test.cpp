// The frame loop in a real window under Xvfb: frames go on while the window is shown, stop
// while it is iconified (the loop waits for events), and go on again once it is restored.
#include "app/frame_loop.hpp"

#include <GLFW/glfw3.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "close_request.hpp"
#include "iconify.hpp"
#include "x_session.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// Waits (a safety net, not a timing check) until `done` holds.
template <typename Pred>
bool eventually(Pred done) {
    for (int i = 0; i < 200 && !done(); ++i)
        std::this_thread::sleep_for(50ms);
    return done();
}

TEST(FrameLoop, DrawsNothingWhileIconified) {
    testing::VirtualDisplay display;
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", display.name().c_str(), 1);
    ASSERT_TRUE(glfwInit());
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(320, 200, "frame loop", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);

    // The loop runs on this thread (GLFW's rule); a second thread plays the user.
    std::atomic<std::uint64_t> frames{0};
    std::atomic<bool> close{false};
    std::uint64_t after_iconify = 0, later = 0, restored = 0;
    std::thread user([&] {
        eventually([&] { return frames > 20; });
        const unsigned long xid = std::strtoul(
            testing::run_tool(display.name(), "xdotool search --name '^frame loop$'").c_str(),
            nullptr, 10);
        // GLFW calls belong to the loop's thread: this one only talks to the X server.
        testing::set_iconic(display.name(), xid, true);
        std::this_thread::sleep_for(500ms);  // the loop notices within a pass or two
        after_iconify = frames;
        std::this_thread::sleep_for(1500ms);
        later = frames;
        testing::set_iconic(display.name(), xid, false);
        eventually([&] { return frames > later + 20; });
        restored = frames;
        testing::send_close_request(display.name(), xid);
    });
    const std::uint64_t drawn = run_frame_loop(
        window,
        [&] {
            glfwPollEvents();
            glClear(GL_COLOR_BUFFER_BIT);
            glfwSwapBuffers(window);
            ++frames;
        },
        close);
    user.join();
    glfwDestroyWindow(window);
    glfwTerminate();

    EXPECT_GT(after_iconify, 20u);
    EXPECT_EQ(later, after_iconify) << "frames were drawn while iconified";
    EXPECT_GT(restored, later + 20) << "drawing did not resume after restore";
    EXPECT_EQ(drawn, frames.load());
}

}  // namespace
}  // namespace ostrel
