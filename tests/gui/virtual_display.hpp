// An Xvfb server for one test and a way to run X tools against it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace ostrel::testing {

/// Xvfb at 1920 x 1080 on a display number it picks itself (-displayfd), stopped at the end.
class XvfbDisplay {
  public:
    XvfbDisplay() {
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
    ~XvfbDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    /// ":N", or empty when Xvfb did not start.
    const std::string& name() const { return name_; }

    /// Runs a shell command with DISPLAY set to this server; its standard output.
    std::string run(const std::string& command) const {
        const std::string line = "DISPLAY=" + name_ + " " + command + " 2>/dev/null";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(line.c_str(), "r"), ::pclose);
        std::string out;
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
            out += buffer;
        return out;
    }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace ostrel::testing
