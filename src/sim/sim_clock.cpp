// Market clock states in Eastern time: premarket 07:00, open 09:30, postmarket 16:00, closed 20:00.
#include "sim/sim_clock.hpp"

#include <chrono>
#include <cstdio>

#include "sim/calendar.hpp"
#include "sim/price_model.hpp"

namespace ostrel::sim {

namespace {

std::int64_t system_millis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SimClock::SimClock() = default;

std::int64_t SimClock::now_millis() const {
    return running_ ? system_millis() + offset_ms_ : frozen_ms_;
}

std::int64_t SimClock::now() const {
    const std::int64_t ms = now_millis();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

void SimClock::freeze_at(std::int64_t utc_seconds) {
    running_ = false;
    frozen_ms_ = utc_seconds * 1000;
}

void SimClock::advance(std::int64_t seconds) {
    if (running_) {
        offset_ms_ += seconds * 1000;
    } else {
        frozen_ms_ += seconds * 1000;
    }
}

void SimClock::run_real_time() {
    running_ = true;
    offset_ms_ = 0;
}

ClockView SimClock::view() const {
    ClockView v = clock_view_at(now());
    v.real_time = running_;
    return v;
}

ClockView clock_view_at(std::int64_t utc_seconds) {
    const EasternTime e = to_eastern(utc_seconds);
    ClockView v;
    v.date = format_date(e.date);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", e.seconds / 3600, e.seconds / 60 % 60,
                  e.seconds % 60);
    v.time = buf;
    v.timestamp = utc_seconds;
    const bool trading = is_trading_day(e.date);
    if (trading && e.seconds >= kPremarketSeconds && e.seconds < kOpenSeconds) {
        v.state = "premarket";
        v.next_state = "open";
        v.next_change = "09:30";
        v.description = "Market is in premarket hours from 07:00 to 09:30";
    } else if (trading && e.seconds >= kOpenSeconds && e.seconds < kCloseSeconds) {
        v.state = "open";
        v.next_state = "postmarket";
        v.next_change = "16:00";
        v.description = "Market is open from 09:30 to 16:00";
    } else if (trading && e.seconds >= kCloseSeconds && e.seconds < kPostmarketEndSeconds) {
        v.state = "postmarket";
        v.next_state = "closed";
        v.next_change = "20:00";
        v.description = "Market is in postmarket hours from 16:00 to 20:00";
    } else {
        v.state = "closed";
        v.next_state = "premarket";
        v.next_change = "07:00";
        v.description = "Market is closed";
    }
    return v;
}

}  // namespace ostrel::sim
