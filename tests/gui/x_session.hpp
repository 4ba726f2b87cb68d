// An Xvfb display of the test's own and the X tools the window tests look through.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../app/child_process.hpp"

namespace ostrel::testing {

// Xvfb on a display number it picks itself (-displayfd), stopped when the test ends.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            // -noreset: with no window manager, Xvfb resets whenever its last client leaves,
            // and a program that reconnects (the splash, then the main window) can miss it.
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
                     "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    /// ":N", or empty when Xvfb did not start.
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

inline std::string run_tool(const std::string& display, const std::string& command) {
    const std::string line = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(line.c_str(), "r"), ::pclose);
    std::string out;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    return out;
}

// Pixels of a binary PPM (P6, 8 bits) as RGB triples.
struct Image {
    int width = 0;
    int height = 0;
    std::string rgb;

    // The pixel's red, green and blue at (x, y); nullptr outside the picture, so a scan of a
    // shot taken before the window was mapped (an empty picture) finds nothing.
    const unsigned char* pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return nullptr;
        return reinterpret_cast<const unsigned char*>(rgb.data()) +
               (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

inline Image read_ppm(const std::string& path) {
    Image image;
    const std::string data = slurp(path);
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxval,
                    &consumed) != 3 ||
        maxval != 255) {
        return {};
    }
    image.rgb = data.substr(static_cast<std::size_t>(consumed) + 1);
    // A picture cut short (the tool killed mid-write) is no picture.
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<std::size_t>(image.width) * image.height * 3) {
        return {};
    }
    return image;
}

// Pixels in the selected tab's amber (0.70, 0.45, 0.00 -> 179, 115, 0).
inline int amber_pixels(const Image& image) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const int r = static_cast<unsigned char>(image.rgb[i]);
        const int g = static_cast<unsigned char>(image.rgb[i + 1]);
        const int b = static_cast<unsigned char>(image.rgb[i + 2]);
        if (std::abs(r - 179) <= 3 && std::abs(g - 115) <= 3 && b <= 3) ++count;
    }
    return count;
}

}  // namespace ostrel::testing
