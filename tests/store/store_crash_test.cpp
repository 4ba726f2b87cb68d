// A process killed while saving leaves a database that opens with every acknowledged row.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "store/symbol_state_store.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

std::string ticker(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%05d", i);
    return buf;
}

TEST(StoreCrash, KilledSaverLeavesEveryAcknowledgedRow) {
    const fs::path dir = fs::temp_directory_path() / ("ostrel_crash_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "ostrel_state.db").string();

    int pipe_fd[2];
    ASSERT_EQ(pipe(pipe_fd), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child saves new rows and rewrites old ones forever, telling the parent after
        // each save has returned.
        close(pipe_fd[0]);
        SymbolStateStore store;
        if (!store.open(path)) _exit(2);
        for (int i = 0;; ++i) {
            SymbolState s;
            s.symbol = ticker(i);
            s.holding = true;
            s.qty = i + 1;
            s.avg_price = 10.0 + i;
            s.pending_order_id = "ord" + std::to_string(i);
            s.reasons.assign(20, std::string(200, 'x'));  // big enough to span pages
            if (!store.save(s)) _exit(3);
            if (i > 0) {  // rewrite an older row too, so the kill may land mid-update
                SymbolState old = s;
                old.symbol = ticker(i / 2);
                old.qty = i / 2 + 1;
                old.avg_price = 10.0 + i / 2;
                old.pending_order_id = "ord" + std::to_string(i / 2);
                if (!store.save(old)) _exit(3);
            }
            if (write(pipe_fd[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(4);
        }
    }
    close(pipe_fd[1]);
    int last = -1;
    int got = 0;
    while (last < 1000 && read(pipe_fd[0], &got, sizeof got) == static_cast<ssize_t>(sizeof got)) {
        last = got;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // Whatever the child acknowledged after our last read may also be there; drain the pipe.
    while (read(pipe_fd[0], &got, sizeof got) == static_cast<ssize_t>(sizeof got))
        last = got;
    close(pipe_fd[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(last, 1000);

    SymbolStateStore store;
    ASSERT_TRUE(store.open(path).has_value());
    for (int i = 0; i <= last; ++i) {
        const SymbolState s = store.load(ticker(i));
        ASSERT_TRUE(s.holding) << ticker(i);
        ASSERT_EQ(s.qty, i + 1) << ticker(i);
        ASSERT_EQ(s.avg_price, 10.0 + i) << ticker(i);
        ASSERT_EQ(s.pending_order_id, "ord" + std::to_string(i));
        ASSERT_TRUE(s.order_in_flight);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace ostrel
