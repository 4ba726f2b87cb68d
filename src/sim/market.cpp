// Prices, quotes and bars from the walk, scaled by the price moves tests have made.
#include "sim/market.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel::sim {

namespace {

constexpr DayNumber kReferenceDay = 20269;  // 2025-06-30: where trends pass the reference prices

double floor_cent(double v) {
    return std::floor(v * 100.0 + 1e-6) / 100.0;
}
double ceil_cent(double v) {
    return std::ceil(v * 100.0 - 1e-6) / 100.0;
}

SimBar make_bar(DayNumber day, int start, double open, double high, double low, double close,
                double volume) {
    SimBar b;
    b.date = day;
    b.start_seconds = start;
    b.open = round_to(open, 2);
    b.close = round_to(close, 2);
    b.high = std::max({round_to(high, 2), b.open, b.close});
    b.low = std::min({round_to(low, 2), b.open, b.close});
    b.volume = std::round(volume);
    b.vwap = round_to((b.high + b.low + b.close) / 3.0, 4);
    return b;
}

}  // namespace

double round_to(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

SimBar aggregate(const std::vector<SimBar>& bars, std::size_t from, std::size_t count) {
    SimBar out = bars[from];
    double pv = bars[from].vwap * bars[from].volume;
    for (std::size_t i = from + 1; i < from + count; ++i) {
        out.high = std::max(out.high, bars[i].high);
        out.low = std::min(out.low, bars[i].low);
        out.close = bars[i].close;
        out.volume += bars[i].volume;
        pv += bars[i].vwap * bars[i].volume;
    }
    out.vwap = out.volume > 0 ? round_to(pv / out.volume, 5) : out.close;
    return out;
}

Market::Market(std::uint64_t seed, int symbol_count, DayNumber history_start)
    : universe_(seed, symbol_count), model_(history_start, kReferenceDay) {}

const std::vector<double>& Market::closes_of(const SymbolInfo& info, std::int64_t index) const {
    const auto need = static_cast<std::size_t>(std::max<std::int64_t>(index + 2, 1));
    auto it = closes_cache_.find(info.symbol);
    if (it != closes_cache_.end() && it->second.size() >= need) return it->second;
    // The walk is a pure function of the symbol, so a cache entry never goes stale; the
    // cache is dropped whole when it grows past a few thousand symbols' worth.
    // Callers may hold a reference to this symbol's vector while asking again for a longer
    // one, so an entry is only ever refilled in place, never erased, while it is in use.
    if (it == closes_cache_.end()) {
        if (closes_cache_.size() >= kClosesCacheSymbols) closes_cache_.clear();
        it = closes_cache_.emplace(info.symbol, std::vector<double>{}).first;
    }
    it->second = model_.closes(info, index);
    return it->second;
}

void Market::adjust(const std::string& symbol, std::int64_t utc, double factor) {
    auto& list = adjustments_[symbol];
    // Moves made at the same instant (a frozen clock) fold into one step.
    for (auto& [at, f] : list) {
        if (at == utc) {
            f *= factor;
            return;
        }
    }
    list.emplace_back(utc, factor);
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

double Market::factor_at(const std::string& symbol, std::int64_t utc) const {
    const auto it = adjustments_.find(symbol);
    if (it == adjustments_.end()) return 1.0;
    double f = 1.0;
    for (const auto& [at, factor] : it->second) {
        if (at > utc) break;
        f *= factor;
    }
    return f;
}

double Market::exact_price_at(const SymbolInfo& info, std::int64_t utc) const {
    const EasternTime e = to_eastern(utc);
    const double f = factor_at(info.symbol, utc);
    DayNumber day = e.date;
    int secs = e.seconds;
    if (!is_trading_day(day)) {
        day = last_trading_day_on_or_before(day);
        secs = kPostmarketEndSeconds;
    }
    const std::int64_t k = model_.index_of(day);
    if (day < model_.history_start()) return closes_of(info, -1)[0] * f;
    const std::vector<double>& closes = closes_of(info, k);
    const auto at = static_cast<std::size_t>(k + 1);
    if (secs < kPremarketSeconds) return closes[at - 1] * f;
    if (secs >= kCloseSeconds) return closes[at] * f;
    const DayPath path = model_.day_path(info, k, closes);
    if (secs < kOpenSeconds) {
        const double share = static_cast<double>(secs - kPremarketSeconds) /
                             static_cast<double>(kOpenSeconds - kPremarketSeconds);
        return (path.prev_close + (path.open - path.prev_close) * share) * f;
    }
    const int into = secs - kOpenSeconds;
    const int bar = into / 300;
    const double share = static_cast<double>(into % 300) / 300.0;
    const double raw = path.points[bar] + (path.points[bar + 1] - path.points[bar]) * share;
    return raw * f;
}

double Market::price_at(const SymbolInfo& info, std::int64_t utc) const {
    return round_to(exact_price_at(info, utc), 2);
}

Touch Market::touch(const SymbolInfo& info, std::int64_t utc) const {
    Touch t;
    t.last = price_at(info, utc);
    const EasternTime e = to_eastern(utc);
    const bool regular =
        is_trading_day(e.date) && e.seconds >= kOpenSeconds && e.seconds < kCloseSeconds;
    const double spread = std::max(0.01, t.last * (regular ? 0.0004 : 0.0016));
    t.bid = std::max(0.01, floor_cent(t.last - spread / 2));
    t.ask = std::max(t.bid + 0.01, ceil_cent(t.last + spread / 2));
    if (t.ask - t.last < 0.005) t.ask = round_to(t.last + 0.01, 2);
    return t;
}

std::vector<SimBar> Market::session_bars(const SymbolInfo& info, DayNumber day,
                                         const std::vector<double>& closes,
                                         std::int64_t now) const {
    std::vector<SimBar> out;
    if (!is_trading_day(day) || day < model_.history_start()) return out;
    const std::int64_t k = model_.index_of(day);
    const DayPath path = model_.day_path(info, k, closes);
    for (int i = 0; i < kBarsPerSession; ++i) {
        const int start = kOpenSeconds + 300 * i;
        const std::int64_t t0 = from_eastern(day, start);
        if (t0 > now) break;
        const double f0 = factor_at(info.symbol, t0);
        const double open = path.points[i] * f0;
        if (now < t0 + 300) {
            const double close = price_at(info, now);
            const double share = static_cast<double>(now - t0) / 300.0;
            out.push_back(make_bar(day, start, open, std::max(open, close), std::min(open, close),
                                   close, path.volume[i] * share));
            break;
        }
        const double close = path.points[i + 1] * factor_at(info.symbol, t0 + 299);
        const double hi = std::max(path.points[i], path.points[i + 1]) * (1 + path.wick_up[i]);
        const double lo = std::min(path.points[i], path.points[i + 1]) * (1 - path.wick_down[i]);
        out.push_back(make_bar(day, start, open, std::max({open, close, hi * f0}),
                               std::min({open, close, lo * f0}), close, path.volume[i]));
    }
    return out;
}

std::vector<SimBar> Market::extended_bars(const SymbolInfo& info, DayNumber day,
                                          const std::vector<double>& closes, std::int64_t now,
                                          bool before_open) const {
    std::vector<SimBar> out;
    if (!is_trading_day(day) || day < model_.history_start()) return out;
    const int first = before_open ? kPremarketSeconds : kCloseSeconds;
    const int last = before_open ? kOpenSeconds : kPostmarketEndSeconds;
    const std::uint64_t key = mix64(info.key + static_cast<std::uint64_t>(day) * 31 + before_open);
    for (int start = first; start < last; start += 300) {
        const std::int64_t t0 = from_eastern(day, start);
        if (t0 > now) break;
        const std::int64_t t1 = std::min<std::int64_t>(t0 + 299, now);
        const double open = price_at(info, t0);
        const double close = price_at(info, t1);
        const double volume = info.average_volume * (before_open ? 0.0015 : 0.001) *
                              (0.5 + unit_from(key + static_cast<std::uint64_t>(start)));
        out.push_back(make_bar(day, start, open, std::max(open, close), std::min(open, close),
                               close, std::max(1.0, volume)));
    }
    (void)closes;
    return out;
}

std::vector<SimBar> Market::intraday(const SymbolInfo& info, DayNumber from, DayNumber to,
                                     int minutes, bool extended, std::int64_t now) const {
    std::vector<SimBar> out;
    const EasternTime e = to_eastern(now);
    const DayNumber last_day = std::min(to, e.date);
    if (last_day < from) return out;
    const DayNumber closes_day = last_trading_day_on_or_before(last_day);
    if (closes_day < model_.history_start()) return out;
    const std::vector<double>& closes = closes_of(info, model_.index_of(closes_day));
    for (DayNumber d = std::max(from, model_.history_start()); d <= last_day; ++d) {
        if (!is_trading_day(d)) continue;
        std::vector<SimBar> base;
        if (extended) base = extended_bars(info, d, closes, now, true);
        std::vector<SimBar> session = session_bars(info, d, closes, now);
        base.insert(base.end(), session.begin(), session.end());
        if (extended) {
            std::vector<SimBar> post = extended_bars(info, d, closes, now, false);
            base.insert(base.end(), post.begin(), post.end());
        }
        if (minutes == 5) {
            out.insert(out.end(), base.begin(), base.end());
        } else if (minutes == 15) {
            std::size_t i = 0;
            while (i < base.size()) {
                std::size_t n = 1;
                while (i + n < base.size() &&
                       base[i + n].start_seconds / 900 == base[i].start_seconds / 900) {
                    ++n;
                }
                SimBar b = aggregate(base, i, n);
                b.start_seconds = base[i].start_seconds / 900 * 900;
                out.push_back(b);
                i += n;
            }
        } else {
            // One-minute bars: five straight steps from open to close; the middle minute
            // carries the five-minute bar's extremes, so the minutes add up to the bar.
            for (const SimBar& b : base) {
                for (int j = 0; j < 5; ++j) {
                    const double o = b.open + (b.close - b.open) * j / 5.0;
                    const double c = b.open + (b.close - b.open) * (j + 1) / 5.0;
                    const double hi = j == 2 ? b.high : std::max(o, c);
                    const double lo = j == 2 ? b.low : std::min(o, c);
                    SimBar m = make_bar(d, b.start_seconds + 60 * j, o, hi, lo, c, b.volume / 5);
                    if (from_eastern(d, m.start_seconds) > now) break;
                    out.push_back(m);
                }
            }
        }
    }
    return out;
}

std::vector<SimBar> Market::daily(const SymbolInfo& info, DayNumber from, DayNumber to,
                                  std::int64_t now) const {
    std::vector<SimBar> out;
    const EasternTime e = to_eastern(now);
    const DayNumber last_day = std::min(to, e.date);
    if (last_day < from) return out;
    const DayNumber closes_day = last_trading_day_on_or_before(last_day);
    if (closes_day < model_.history_start()) return out;
    const std::vector<double>& closes = closes_of(info, model_.index_of(closes_day));
    for (DayNumber d = std::max(from, model_.history_start()); d <= last_day; ++d) {
        if (!is_trading_day(d)) continue;
        const std::vector<SimBar> bars = session_bars(info, d, closes, now);
        if (bars.empty()) continue;
        SimBar b = aggregate(bars, 0, bars.size());
        b.start_seconds = 0;
        out.push_back(b);
    }
    return out;
}

std::pair<double, double> Market::week52(const SymbolInfo& info, std::int64_t utc) const {
    const EasternTime e = to_eastern(utc);
    const DayNumber day = last_trading_day_on_or_before(e.date);
    if (day < model_.history_start()) return {0.0, 0.0};
    const std::int64_t k = model_.index_of(day);
    const std::vector<double>& closes = closes_of(info, k);
    double hi = 0.0, lo = 0.0;
    const std::size_t end = static_cast<std::size_t>(k + 2);
    const std::size_t begin = end > 252 ? end - 252 : 1;
    for (std::size_t i = begin; i < end; ++i) {
        const double c = closes[i];
        hi = (i == begin) ? c : std::max(hi, c);
        lo = (i == begin) ? c : std::min(lo, c);
    }
    const double f = factor_at(info.symbol, utc);
    return {round_to(hi * f, 2), round_to(lo * f, 2)};
}

QuoteView Market::quote(const SymbolInfo& info, std::int64_t utc, bool premarket_field) const {
    QuoteView q;
    q.symbol = info.symbol;
    q.description = info.description;
    q.average_volume = static_cast<std::int64_t>(std::round(info.average_volume));
    const EasternTime e = to_eastern(utc);
    const Touch t = touch(info, utc);
    q.bid = t.bid;
    q.ask = t.ask;
    const bool before_open = is_trading_day(e.date) && e.seconds < kOpenSeconds;
    const DayNumber day = before_open ? e.date : last_trading_day_on_or_before(e.date);
    if (day < model_.history_start()) {
        q.last = q.prevclose = t.last;
        return q;
    }
    const std::int64_t k = model_.index_of(day);
    const std::vector<double>& closes = closes_of(info, k);
    const DayNumber prev_day = trading_day_at(day, -1);
    const double prev_factor = factor_at(info.symbol, from_eastern(prev_day, kCloseSeconds));
    q.prevclose = round_to(closes[static_cast<std::size_t>(k)] * prev_factor, 2);
    // The last trade includes extended hours, so `last` is the price now at any hour; the
    // session's open, high and low stay empty until the bell, and close until the close.
    q.last = t.last;
    if (before_open) {
        if (premarket_field && e.seconds >= kPremarketSeconds) q.premarket_price = t.last;
        return q;
    }
    const std::vector<SimBar> bars = session_bars(info, day, closes, utc);
    if (bars.empty()) return q;
    const SimBar agg = aggregate(bars, 0, bars.size());
    q.open = agg.open;
    q.high = agg.high;
    q.low = agg.low;
    const bool in_session = day == e.date && e.seconds < kCloseSeconds;
    q.close = in_session ? 0.0 : agg.close;
    q.volume = static_cast<std::int64_t>(agg.volume);
    return q;
}

}  // namespace ostrel::sim
