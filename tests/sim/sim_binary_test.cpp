// The standalone ostrel-sim program: prints its port, serves, and ends cleanly on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "http_test_client.hpp"

namespace ostrel::sim {
namespace {

TEST(SimBinary, PrintsItsPortServesAndStopsOnSigterm) {
    const std::string exe = std::string(OSTREL_BINARY_DIR) + "/src/ostrel-sim";
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << exe << " is not built";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(exe.c_str(), exe.c_str(), "--port", "0", "--seed", "7", "--symbols", "150",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* stream = fdopen(out[0], "r");
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    const int port = std::atoi(line);
    ASSERT_GT(port, 0);

    const auto reply = testing::broker(static_cast<std::uint16_t>(port), "GET", "/v1/markets/etb");
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("\"SPY\""), std::string::npos);

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::fclose(stream);
}

TEST(SimBinary, RefusesBadArguments) {
    const std::string exe = std::string(OSTREL_BINARY_DIR) + "/src/ostrel-sim";
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << exe << " is not built";
    const std::string cmd = exe + " --symbols zero 2>/dev/null";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
}  // namespace ostrel::sim
