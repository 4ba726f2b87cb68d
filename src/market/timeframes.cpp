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
/// returns how many there are.
std::size_t aggregate_from(const BarSeries& series, std::size_t group, std::size_t first_group,
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
        BarSeries hourly = aggregate(*quarter, 4);
        // With whole hours, four hourly bars are the same four hours as sixteen quarters in
        // every field the gaps and the sweep read (the volumes are summed in another order,
        // and neither reads them), and the short-tail rules agree: a tail of 8 quarters or
        // more is a tail of 2 hours or more.
        // The gaps read the last 42 bars and the sweep the last 21, so only the last 48 4-hour
        // bars are built (on the stack) when there are more; the detectors see the same tail.
        const BarSeries& source = quarter->size() % 4 == 0 ? hourly : *quarter;
        const std::size_t group = quarter->size() % 4 == 0 ? 4 : 16;
        const std::size_t groups = aggregate_count(source.size(), group);
        constexpr std::size_t kFourHourTail = 48;
        std::array<Bar, kFourHourTail> tail_bars;
        const std::size_t skip = groups > kFourHourTail ? groups - kFourHourTail : 0;
        const std::span<const Bar> four_hour(tail_bars.data(),
                                             aggregate_from(source, group, skip, tail_bars.data()));
        if (hourly.size() < kMinSeriesBars) {
            sel.note = count_note("15m trigger (", quarter->size(), " bars)");
            sel.trigger = std::move(*quarter);
        } else {
            sel.note = count_note("1H swing trigger (", hourly.size(), " bars from 15m)");
            sel.trigger = std::move(hourly);
        }
        if (groups >= kMinFourHourBars) {
            sel.has_four_hour = true;
            append_fair_value_gaps(four_hour, sel.four_hour_gaps);
            sel.four_hour_sweep = sweep_reclaim(four_hour);
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
