// Starting the real ostrel program from a test, with its output captured in files.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ostrel::testing {

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

/// A child process whose stdout and stderr go to files in `out_dir`.
class ChildProcess {
  public:
    /// `env` entries are NAME=value to set, or NAME alone to unset.
    ChildProcess(std::vector<std::string> argv, const std::vector<std::string>& env,
                 const std::string& out_dir)
        : out_path_(out_dir + "stdout.txt"), err_path_(out_dir + "stderr.txt") {
        pid_ = ::fork();
        if (pid_ != 0) return;
        for (const std::string& e : env) {
            const auto eq = e.find('=');
            if (eq == std::string::npos) {
                ::unsetenv(e.c_str());
            } else {
                ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
        }
        const int out = ::open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exit_code_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) const { ::kill(pid_, sig); }

    /// Waits for the exit; the code, or 128 + signal number when it was killed. nullopt when
    /// it has not ended within `limit` (a safety net, not a timing check).
    std::optional<int> wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!exit_code_) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() > until) {
                return std::nullopt;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return exit_code_;
    }

    std::string out() const { return slurp(out_path_); }
    std::string err() const { return slurp(err_path_); }

  private:
    std::string out_path_;
    std::string err_path_;
    pid_t pid_ = -1;
    std::optional<int> exit_code_;
};

/// A scratch folder removed afterwards; path() ends with '/'.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace ostrel::testing
