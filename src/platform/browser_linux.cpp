// Opening a web page with xdg-open, detached so the window never waits for the browser.
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/browser.hpp"

namespace ostrel::platform {

void open_web_page(const std::string& url) {
    // Everything the children need is built before fork: a threaded process may only call
    // async-signal-safe functions in the child.
    std::string program = "xdg-open";
    std::string target = url;
    char* argv[] = {program.data(), target.data(), nullptr};
    const pid_t middle = ::fork();
    if (middle < 0) return;
    if (middle == 0) {
        // The grandchild runs xdg-open; the middle child exits at once, so nobody has to
        // reap the browser launcher later.
        if (::fork() == 0) {
            ::setsid();
            ::execvp(argv[0], argv);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::waitpid(middle, nullptr, 0);
}

}  // namespace ostrel::platform
