// A mutex that remembers the longest time it was held: the engine lock's guard against a
// slow step creeping in under it. Two steady-clock reads per hold, cheap enough to stay on.
// A wall-clock hold also counts the time the holder sat preempted, which on a loaded machine
// dwarfs the work; with the thread-clock switch on (benchmarks), the holder's own CPU time
// under the lock is kept too, at the price of two system calls per hold, and every hold is
// counted in a histogram on both clocks. With the switch off (the product) a hold costs the
// two steady-clock reads and nothing more.
#pragma once

#ifndef _WIN32
#include <time.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "engine/hold_histogram.hpp"

namespace ostrel {

class HoldTimedMutex {
  public:
    void lock() {
        mutex_.lock();
        started();
    }
    bool try_lock() {
        if (!mutex_.try_lock()) return false;
        started();
        return true;
    }
    void unlock() {
        // Only the holder writes the longest holds and the histograms: plain compares will do.
        // The thread clock is read inside the wall-clock span, so a CPU hold never exceeds the
        // wall-clock hold it belongs to.
        const std::int64_t cpu = since_cpu_ns_ >= 0 ? thread_cpu_ns() - since_cpu_ns_ : -1;
        const std::int64_t held = steady_ns() - since_ns_;
        keep_longer(longest_ns_, held);
        if (cpu >= 0) {
            keep_longer(longest_cpu_ns_, cpu);
            cpu_holds_.record(cpu);
            wall_holds_.record(held);
        }
        mutex_.unlock();
    }

    /// The longest single hold, wall clock, since construction or the last reset (ns).
    std::int64_t longest_hold_ns() const { return longest_ns_.load(std::memory_order_relaxed); }
    /// The most CPU time the holder spent in a single hold; 0 unless thread clocks are on.
    std::int64_t longest_cpu_hold_ns() const {
        return longest_cpu_ns_.load(std::memory_order_relaxed);
    }
    /// Every hold timed on the thread clock, on the holder's CPU time and on the wall clock.
    const HoldHistogram& cpu_holds() const { return cpu_holds_; }
    const HoldHistogram& wall_holds() const { return wall_holds_; }
    /// Forgets the longest holds and the histograms.
    void reset_longest_hold() {
        std::lock_guard lock(mutex_);
        longest_ns_.store(0, std::memory_order_relaxed);
        longest_cpu_ns_.store(0, std::memory_order_relaxed);
        cpu_holds_.reset();
        wall_holds_.reset();
    }
    /// Also measures every hold on the holder's thread clock (for benchmarks; costs a little).
    void use_thread_clock(bool on) { thread_clock_.store(on, std::memory_order_relaxed); }

  private:
    void started() {
        since_ns_ = steady_ns();
        since_cpu_ns_ = thread_clock_.load(std::memory_order_relaxed) ? thread_cpu_ns() : -1;
    }
    static void keep_longer(std::atomic<std::int64_t>& longest, std::int64_t held) {
        if (held > longest.load(std::memory_order_relaxed))
            longest.store(held, std::memory_order_relaxed);
    }
    static std::int64_t steady_ns() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    static std::int64_t thread_cpu_ns() {
#ifdef _WIN32
        return 0;  // no thread clock here: the CPU hold stays 0
#else
        timespec ts{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
#endif
    }

    std::mutex mutex_;
    // When the current holder took the lock; written and read by that holder only.
    std::int64_t since_ns_ = 0;
    std::int64_t since_cpu_ns_ = -1;
    std::atomic<bool> thread_clock_{false};
    std::atomic<std::int64_t> longest_ns_{0};
    std::atomic<std::int64_t> longest_cpu_ns_{0};
    HoldHistogram cpu_holds_;
    HoldHistogram wall_holds_;
};

}  // namespace ostrel
