// How long the holds of a lock took, in 1 µs steps: the spread behind a longest hold, so one
// hold stretched by the machine (the holder's CPU taken away under it) can be told from a step
// that is slow every time. Written by the lock's holder only; read by anyone.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace ostrel {

class HoldHistogram {
  public:
    /// Holds of kBuckets µs or more share the last bucket.
    static constexpr std::size_t kBuckets = 500;

    /// Counts one hold. Only one thread at a time may call it (the lock's holder).
    void record(std::int64_t held_ns) {
        const std::int64_t us = held_ns < 0 ? 0 : held_ns / 1000;
        std::atomic<std::uint64_t>& slot =
            counts_[us >= static_cast<std::int64_t>(kBuckets) ? kBuckets
                                                              : static_cast<std::size_t>(us)];
        slot.store(slot.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    /// Holds counted since construction or the last reset.
    std::uint64_t count() const {
        std::uint64_t n = 0;
        for (const auto& c : counts_)
            n += c.load(std::memory_order_relaxed);
        return n;
    }

    /// Holds of at least `us` microseconds.
    std::uint64_t count_at_least_us(std::int64_t us) const {
        std::uint64_t n = 0;
        const std::size_t first =
            us <= 0 ? 0
                    : (us >= static_cast<std::int64_t>(kBuckets) ? kBuckets
                                                                 : static_cast<std::size_t>(us));
        for (std::size_t i = first; i <= kBuckets; ++i)
            n += counts_[i].load(std::memory_order_relaxed);
        return n;
    }

    /// The hold that fraction `q` (0..1) of the holds did not exceed, in whole µs, rounded up
    /// to its bucket's end (a hold of 2.3 µs counts as 3); kBuckets when it lies beyond the
    /// buckets, 0 when nothing was counted.
    std::int64_t quantile_us(double q) const {
        const std::uint64_t total = count();
        if (total == 0) return 0;
        // The rank of that hold among all, counted from 1.
        const double rank = std::max(1.0, std::ceil(q * static_cast<double>(total)));
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < kBuckets; ++i) {
            seen += counts_[i].load(std::memory_order_relaxed);
            if (static_cast<double>(seen) >= rank) return static_cast<std::int64_t>(i) + 1;
        }
        return static_cast<std::int64_t>(kBuckets);
    }

    void reset() {
        for (auto& c : counts_)
            c.store(0, std::memory_order_relaxed);
    }

  private:
    std::array<std::atomic<std::uint64_t>, kBuckets + 1> counts_{};
};

}  // namespace ostrel
