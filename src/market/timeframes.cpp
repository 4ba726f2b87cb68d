// Bar aggregation, the choice of the trigger series and the prices derived from a quote.
#include "market/timeframes.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <utility>

#include "market/pattern_zones.hpp"
#include "market/patterns.hpp"

namespace ostrel {

namespace {

/// The bars of aggregate(series, group) from group `first_group` on, written to `out`;
/// returns how many there are. `out` may be `series.data()` itself: each group is read in
/// full before its bar is written, at an index no later than the group's first bar.
std::size_t aggregate_from(std::span<const Bar> series, std::size_t group, std::size_t first_group,
                           Bar* out) {
    const std::size_t min_tail = std::max<std::size_t>(1, group / 2);
    std::size_t count = 0;
    for (std::size_t first = first_group * group; first < series.size(); first += group) {
        const std::size_t last = std::min(first + group, series.size()) - 1;
        if (last - first + 1 < group && last - first + 1 < min_tail) break;
        Bar bar = series[first];
        bar.time = series[last].time;
        bar.close = series[last].close;
        for (std::size_t i = first + 1; i <= last; ++i) {
            bar.high = std::max(bar.high, series[i].high);
            bar.low = std::min(bar.low, series[i].low);
            bar.volume += series[i].volume;
        }
        out[count++] = bar;
    }
    return count;
}

/// How many bars aggregate(series, group) gives.
std::size_t aggregate_count(std::size_t size, std::size_t group) {
    const std::size_t tail = size % group;
    return size / group + (tail > 0 && tail >= std::max<std::size_t>(1, group / 2) ? 1 : 0);
}

/// The gaps read the last 42 4-hour bars and the sweep the last 21, so only the last 48 are
/// built, on the stack; the detectors see the same tail as in the whole series.
constexpr std::size_t kFourHourTail = 48;

struct FourHourTail {
    std::array<Bar, kFourHourTail> bars;
    std::size_t size = 0;
    std::size_t groups = 0;  ///< how many 4-hour bars the whole series has

    std::span<const Bar> view() const { return {bars.data(), size}; }
};

/// The 4-hour tail of `source`, grouped by `group` (4 hourly or 16 quarter-hour bars).
void build_four_hour_tail(std::span<const Bar> source, std::size_t group, FourHourTail& out) {
    out.groups = aggregate_count(source.size(), group);
    const std::size_t skip = out.groups > kFourHourTail ? out.groups - kFourHourTail : 0;
    out.size = aggregate_from(source, group, skip, out.bars.data());
}

}  // namespace

BarSeries aggregate(const BarSeries& series, int n) {
    BarSeries out;
    if (series.empty() || n < 1) return out;
    const auto group = static_cast<std::size_t>(n);
    out.resize(aggregate_count(series.size(), group));
    out.resize(aggregate_from(series, group, 0, out.data()));
    return out;
}

double mark_price(const Quote& quote) {
    if (quote.bid > 0.0 && quote.ask > 0.0) return (quote.bid + quote.ask) / 2.0;
    if (quote.last > 0.0) return quote.last;
    if (quote.bid > 0.0) return quote.bid;
    return quote.ask;
}

double off_hours_price(const Quote& quote, double fallback) {
    if (quote.premarket_price > 0.0) return quote.premarket_price;
    if (quote.last > 0.0) return quote.last;
    if (quote.bid > 0.0) return quote.ask > 0.0 ? (quote.bid + quote.ask) / 2.0 : quote.bid;
    if (quote.ask > 0.0) return quote.ask;
    return fallback;
}

namespace {

/// "<head><count><tail>", built in one allocation.
std::string count_note(const char* head, std::size_t count, const char* tail) {
    const std::string number = std::to_string(count);
    std::string note;
    note.reserve(std::char_traits<char>::length(head) + number.size() +
                 std::char_traits<char>::length(tail));
    note += head;
    note += number;
    note += tail;
    return note;
}

}  // namespace

TriggerSelection select_trigger_series(const IntradayFetch& fetch_intraday,
                                       const DailyFetch& fetch_daily) {
    TriggerSelection sel;
    auto quarter = fetch_intraday("15min");
    if (quarter && quarter->size() >= kMinSeriesBars) {
        BarSeries& bars = *quarter;
        const std::size_t quarters = bars.size();
        const std::size_t hours = aggregate_count(quarters, 4);
        // With whole hours, four hourly bars are the same four hours as sixteen quarters in
        // every field the gaps and the sweep read (the volumes are summed in another order,
        // and neither reads them), and the short-tail rules agree: a tail of 8 quarters or
        // more is a tail of 2 hours or more. So the 4-hour bars come from the hourly ones
        // then, and from the quarters otherwise.
        const bool whole_hours = quarters % 4 == 0;
        FourHourTail four_hour;
        if (!whole_hours) build_four_hour_tail(bars, 16, four_hour);
        if (hours < kMinSeriesBars) {
            if (whole_hours) build_four_hour_tail(aggregate(bars, 4), 4, four_hour);
            sel.note = count_note("15m trigger (", quarters, " bars)");
        } else {
            // The hourly bars are written over the quarters they come from, in their buffer.
            bars.resize(aggregate_from(bars, 4, 0, bars.data()));
            if (whole_hours) build_four_hour_tail(bars, 4, four_hour);
            sel.note = count_note("1H swing trigger (", hours, " bars from 15m)");
        }
        sel.trigger = std::move(bars);
        if (four_hour.groups >= kMinFourHourBars) {
            sel.has_four_hour = true;
            append_fair_value_gaps(four_hour.view(), sel.four_hour_gaps);
            sel.four_hour_sweep = sweep_reclaim(four_hour.view());
        }
    } else {
        auto five = fetch_intraday("5min");
        if (five && five->size() >= kMinSeriesBars) {
            sel.note = count_note("5m trigger (", five->size(), " bars)");
            sel.trigger = std::move(*five);
        }
    }
    auto daily = fetch_daily();
    if (daily) sel.daily = std::move(*daily);
    if (sel.trigger.empty() && sel.daily.size() >= kMinSeriesBars) {
        sel.note = count_note("daily fallback (", sel.daily.size(), " bars)");
        sel.trigger = sel.daily;
    }
    return sel;
}

}  // namespace ostrel
