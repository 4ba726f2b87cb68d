// The activity log: trimming, thread safety and the listener the headless runner prints through.
#include "log/activity_log.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace ostrel {
namespace {

TEST(ActivityLog, KeepsTwoThousandThenTrimsToTheNewestFifteenHundred) {
    ActivityLog log;
    for (int i = 1; i <= 2000; ++i)
        log.info("T", std::to_string(i));
    auto entries = log.snapshot();
    ASSERT_EQ(entries.size(), 2000u);
    EXPECT_EQ(entries.front().text, "1");
    EXPECT_EQ(entries.back().text, "2000");

    log.error("T", "2001");
    entries = log.snapshot();
    ASSERT_EQ(entries.size(), 1500u);
    EXPECT_EQ(entries.front().text, "502");
    EXPECT_EQ(entries.back().text, "2001");
    EXPECT_EQ(entries.back().level, 2);

    // It grows again to 2000 before the next trim.
    for (int i = 2002; i <= 2501; ++i)
        log.info("T", std::to_string(i));
    EXPECT_EQ(log.snapshot().size(), 2000u);
    log.info("T", "2502");
    entries = log.snapshot();
    ASSERT_EQ(entries.size(), 1500u);
    EXPECT_EQ(entries.front().text, "1003");
}

TEST(ActivityLog, KeepsTextVerbatimAndLevels) {
    ActivityLog log;
    log.append("AAPL", "100%d done %s %n", 0);
    log.error("CONFIG", "");
    const auto entries = log.snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].tag, "AAPL");
    EXPECT_EQ(entries[0].text, "100%d done %s %n");
    EXPECT_EQ(entries[0].level, 0);
    EXPECT_EQ(entries[1].level, 2);
}

TEST(ActivityLog, ConcurrentAppendsLoseNothingAndNeverMixFields) {
    ActivityLog log;
    constexpr int kThreads = 8;
    constexpr int kEach = 200;  // 1600 in all: below the trim, so every entry must survive
    std::atomic<int> seen{0};
    log.set_listener([&](const LogEntry&) { seen.fetch_add(1); });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            const std::string tag = "T" + std::to_string(t);
            for (int i = 0; i < kEach; ++i) {
                log.append(tag, tag + ":" + std::to_string(i), t % 2 == 0 ? 0 : 2);
            }
        });
    }
    // A reader copying while the writers run must always see whole entries.
    for (int r = 0; r < 50; ++r) {
        for (const LogEntry& e : log.snapshot()) {
            ASSERT_EQ(e.text.rfind(e.tag + ":", 0), 0u);
        }
    }
    for (auto& th : threads)
        th.join();

    const auto entries = log.snapshot();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(seen.load(), kThreads * kEach);
    std::map<std::string, int> next;  // each thread's entries stay in its own order
    for (const LogEntry& e : entries) {
        ASSERT_EQ(e.text.rfind(e.tag + ":", 0), 0u) << e.tag << " / " << e.text;
        EXPECT_EQ(e.level, e.tag[1] % 2 == 0 ? 0 : 2);
        EXPECT_EQ(e.text, e.tag + ":" + std::to_string(next[e.tag]++));
    }
}

TEST(ActivityLog, ListenerSeesEachEntryOnceAndCanBeRemoved) {
    ActivityLog log;
    std::vector<LogEntry> heard;
    log.set_listener([&](const LogEntry& e) { heard.push_back(e); });
    log.info("ENGINE", "one");
    log.error("GLFW", "two");
    log.set_listener(nullptr);
    log.info("ENGINE", "three");
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].tag, "GLFW");
    EXPECT_EQ(heard[1].level, 2);
    EXPECT_EQ(log.snapshot().size(), 3u);
}

}  // namespace
}  // namespace ostrel
