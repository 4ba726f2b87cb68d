// The replay loop. Every evaluation runs the engine's own steps on a SymbolState copy: the
// trigger-series choice, the analysis and decision, the state refresh, the exit rule, the
// entry gate and plan with its sizing, and the paper book's booking of each fill. What the
// replay adds is time: a decision made on a bar's close is carried out on the next bar, at
// the price the fill model allows.
#include "backtest/replay.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "broker/sim_broker.hpp"
#include "committees/analysis.hpp"
#include "engine/evaluation_steps.hpp"
#include "engine/exit_actions.hpp"
#include "engine/exits.hpp"
#include "engine/order_submission.hpp"
#include "engine/pdt_guard.hpp"
#include "engine/session_time.hpp"
#include "market/timeframes.hpp"
#include "sim/calendar.hpp"
#include "state/price_rules.hpp"

namespace ostrel::backtest {

namespace {

constexpr std::int64_t kDayMs = 86'400'000;
// The windows the live evaluation fetches: daily history and 15-minute time and sales.
constexpr std::int64_t kDailyLookbackMs = 500 * kDayMs;
constexpr std::int64_t kIntradayLookbackMs = 40 * kDayMs;
constexpr std::int64_t kIntradayBarMs = 15 * 60 * 1000;
constexpr std::int64_t kSessionMs = 390 * 60 * 1000;
// Day-trade protection counts round trips of the last five weekdays, which never reach back
// more than eighteen calendar days; fills older than this are dropped from the replay's guard,
// whose count would otherwise walk every fill since the start at every entry check.
constexpr std::int64_t kDayTradeMemoryMs = 21 * kDayMs;

struct PendingBuy {
    OrderRequest order;
    double atr = 0.0;
};

/// One symbol on its way through the history.
struct Lane {
    const SymbolHistory* history = nullptr;
    /// The bars that set the lane's pace: daily bars until the 15-minute bars begin, then
    /// those (the broker keeps only weeks of them).
    BarSeries clock;
    std::int64_t intraday_from = 0;  ///< clock bars closing from here on are 15-minute bars
    std::size_t next = 0;            ///< the clock bar that closes next
    std::size_t intraday_begin = 0, intraday_end = 0;
    std::size_t daily_begin = 0, daily_end = 0;
    SymbolState state;
    std::optional<PendingBuy> buy;
    std::optional<ExitDecision> exit;
    IndicatorSnapshot daily_snapshot;
    IndicatorSnapshot trigger_snapshot;
    double atr = 0.0;
    std::string trigger_kinds;  ///< every series that drove a decision, in order
    std::string last_kind;
    /// The windows handed to the analysis; the daily one comes back after it, so its
    /// capacity is kept between evaluations.
    BarSeries intraday_window;
    BarSeries daily_window;
    std::size_t daily_held_begin = 0;  ///< where the bars in `daily_window` begin
    /// The daily window changes once a day: its snapshot and gaps are kept until it does.
    DailyAnalysisCache daily_cache;
};

/// The lane's clock: daily bars before the first 15-minute bar's day, then 15-minute bars.
void build_clock(Lane& lane) {
    const SymbolHistory& h = *lane.history;
    if (h.intraday.empty()) {
        lane.clock = h.daily;
        lane.intraday_from = std::numeric_limits<std::int64_t>::max();
        return;
    }
    lane.intraday_from = h.intraday.front().time;
    const std::int64_t first_day = sim::to_eastern(lane.intraday_from / 1000).date;
    for (const Bar& b : h.daily) {
        if (sim::to_eastern(b.time / 1000).date < first_day) lane.clock.push_back(b);
    }
    lane.clock.insert(lane.clock.end(), h.intraday.begin(), h.intraday.end());
}

/// The New York calendar day of an instant.
std::int64_t trading_day(std::int64_t ms) {
    return sim::to_eastern(ms / 1000).date;
}

/// Moves [begin, end) to the bars closed by `now` within `lookback`.
void advance_window(const BarSeries& bars, std::int64_t now, std::int64_t lookback,
                    std::size_t& begin, std::size_t& end) {
    while (end < bars.size() && bars[end].time <= now)
        ++end;
    while (begin < end && bars[begin].time <= now - lookback)
        ++begin;
}

class Replayer {
  public:
    Replayer(const History& history, const ReplayOptions& options)
        : options_(options),
          paper_({}, options.starting_cash),
          pdt_(std::make_unique<PdtGuard>(std::filesystem::path())) {
        ctx_.settings = options.settings;
        ctx_.live = false;
        ctx_.pdt_protection = options.settings.enable_pdt_protection;
        ctx_.paper = &paper_;
        ctx_.pdt = pdt_.get();
        ctx_.clock = [this] { return now_; };
        for (const SymbolHistory& h : history.symbols) {
            Lane lane;
            lane.history = &h;
            build_clock(lane);
            while (lane.next < lane.clock.size() && lane.clock[lane.next].time < history.first_ms) {
                ++lane.next;
            }
            lane.state.symbol = h.symbol;
            total_ += lane.clock.size() - lane.next;
            lanes_.push_back(std::move(lane));
        }
    }

    ReplayResult run() {
        std::set<std::int64_t> steps;
        for (const Lane& lane : lanes_) {
            for (std::size_t i = lane.next; i < lane.clock.size(); ++i) {
                steps.insert(lane.clock[i].time);
            }
        }
        for (auto it = steps.begin(); it != steps.end(); ++it) {
            if (options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed)) {
                break;
            }
            const std::int64_t t = *it;
            // Every order decided on the previous closes meets this bar first, so the cash of
            // a fill in one symbol is there for a decision in another.
            for (Lane& lane : lanes_) {
                if (lane.next < lane.clock.size() && lane.clock[lane.next].time == t) {
                    fill_on_bar(lane, lane.clock[lane.next]);
                }
            }
            for (Lane& lane : lanes_) {
                if (lane.next < lane.clock.size() && lane.clock[lane.next].time == t) {
                    evaluate(lane, lane.clock[lane.next]);
                    ++lane.next;
                }
            }
            const auto after = std::next(it);
            if (after == steps.end() || trading_day(*after) != trading_day(t)) {
                result_.curve.push_back({t, equity()});
                forget_old_day_trades(t);
            }
        }
        if (options_.progress) options_.progress(done_, total_);
        for (const Lane& lane : lanes_) {
            result_.trigger_series[lane.history->symbol] = lane.trigger_kinds;
            if (lane.state.qty > 0) result_.open_positions[lane.history->symbol] = lane.state.qty;
        }
        result_.commissions = commissions_;
        return std::move(result_);
    }

  private:
    /// Rebuilds the day-trade guard without the fills too old to count, once they make up
    /// half of what it holds.
    void forget_old_day_trades(std::int64_t now) {
        const std::vector<FillEvent> events = pdt_->events();
        const auto recent = std::find_if(events.begin(), events.end(), [&](const FillEvent& e) {
            return e.ts_ms > now - kDayTradeMemoryMs;
        });
        const auto old = static_cast<std::size_t>(recent - events.begin());
        if (old < 16 || old * 2 < events.size()) return;
        auto fresh = std::make_unique<PdtGuard>(std::filesystem::path());
        for (auto e = recent; e != events.end(); ++e)
            fresh->record_at(e->symbol, e->side, e->ts_ms, false);
        pdt_ = std::move(fresh);
        ctx_.pdt = pdt_.get();
    }

    double equity() {
        const auto snap = paper_.account_snapshot();
        return (snap ? snap->equity : 0.0) - commissions_;
    }

    void fill_on_bar(Lane& lane, const Bar& bar) {
        SymbolState& s = lane.state;
        now_ = bar.time - (bar.time >= lane.intraday_from ? kIntradayBarMs : kSessionMs);
        bool entered = false;
        if (lane.buy) {
            PendingBuy pending = std::move(*lane.buy);
            lane.buy.reset();
            if (const auto price = buy_limit_fill(bar, pending.order.price)) {
                pending.order.price = with_buy_slippage(*price, options_.costs);
                entered = submit_order(ctx_, s, pending.order, pending.atr);
                record_new_fills(lane);
            }
        }
        if (lane.exit) {
            const ExitDecision exit = std::move(*lane.exit);
            lane.exit.reset();
            if (s.holding && s.qty > 0) sell(lane, exit, bar.open);
        }
        if (!s.holding || s.qty <= 0) return;
        // Within the bar: the stop first, so a bar that reaches both is a stop. The levels are
        // the cent prices the engine rests at the broker.
        if (const auto at = stop_fill(bar, cent_floor(s.stop_price))) {
            probe(lane, *at);
            return;
        }
        // Whether the high came after a fill inside this bar is unknown: no target then.
        if (entered || s.scaled_out) return;
        if (const auto at = target_fill(bar, cent_ceiling(s.target_price))) probe(lane, *at);
    }

    /// Asks the exit rule what it does at `price`, reached inside the bar, and carries it out.
    void probe(Lane& lane, double price) {
        SymbolState& s = lane.state;
        const ExitDecision exit = decide_exit(s, price, lane.atr, lane.daily_snapshot,
                                              lane.trigger_snapshot, options_.settings);
        s.peak_price = exit.peak;
        s.stop_price = exit.stop;
        if (exit.quantity > 0) sell(lane, exit, price);
    }

    void sell(Lane& lane, const ExitDecision& exit, double price) {
        Quote quote;
        quote.symbol = lane.history->symbol;
        quote.bid = quote.ask = with_sell_slippage(price, options_.costs);
        quote.last = price;
        act_on_exit(ctx_, lane.state, exit, quote, price, lane.atr, lane.trigger_snapshot.rsi,
                    true);
        record_new_fills(lane);
    }

    void record_new_fills(const Lane& lane) {
        const std::vector<PaperFill> fills = paper_.fills();
        for (; booked_ < fills.size(); ++booked_) {
            const PaperFill& f = fills[booked_];
            FillRecord r;
            r.symbol = f.symbol;
            r.side = f.side;
            r.qty = f.qty;
            r.price = f.price;
            r.pnl = f.pnl;
            r.commission = options_.costs.commission;
            r.reason = f.reason;
            r.time_ms = now_;
            r.stop_after = lane.state.stop_price;
            commissions_ += r.commission;
            result_.fills.push_back(std::move(r));
        }
    }

    void evaluate(Lane& lane, const Bar& bar) {
        now_ = bar.time;
        const SymbolHistory& h = *lane.history;
        SymbolState& s = lane.state;
        advance_window(h.intraday, now_, kIntradayLookbackMs, lane.intraday_begin,
                       lane.intraday_end);
        advance_window(h.daily, now_, kDailyLookbackMs, lane.daily_begin, lane.daily_end);
        // The windows are filled into the lane's buffers and moved out to the analysis.
        const auto slice = [](const BarSeries& bars, std::size_t b, std::size_t e,
                              BarSeries& buffer) -> std::expected<BarSeries, std::string> {
            if (b >= e) return std::unexpected(std::string("no bars"));
            buffer.assign(bars.begin() + static_cast<std::ptrdiff_t>(b),
                          bars.begin() + static_cast<std::ptrdiff_t>(e));
            return std::move(buffer);
        };
        TriggerSelection selection = select_trigger_series(
            [&](std::string_view interval) -> std::expected<BarSeries, std::string> {
                if (interval != "15min") return std::unexpected(std::string("no bars"));
                return slice(h.intraday, lane.intraday_begin, lane.intraday_end,
                             lane.intraday_window);
            },
            [&]() -> std::expected<BarSeries, std::string> {
                // The daily window moves once a day; until then its buffer already holds it.
                if (lane.daily_begin >= lane.daily_end) {
                    return std::unexpected(std::string("no bars"));
                }
                if (lane.daily_held_begin == lane.daily_begin &&
                    lane.daily_window.size() == lane.daily_end - lane.daily_begin) {
                    return std::move(lane.daily_window);
                }
                lane.daily_held_begin = lane.daily_begin;
                return slice(h.daily, lane.daily_begin, lane.daily_end, lane.daily_window);
            });

        paper_.mark_price(h.symbol, bar.close);
        Quote quote;
        quote.symbol = h.symbol;
        quote.bid = quote.ask = quote.last = bar.close;
        TickerAnalysis a = analyze_ticker(std::move(selection), mark_price(quote), market_,
                                          h.symbol, options_.settings, &lane.daily_cache);
        // Both buffers go back to the lane, so the next windows are filled without allocating.
        lane.daily_window = std::move(selection.daily);
        lane.intraday_window = std::move(selection.trigger);
        ++done_;
        ++result_.evaluations;
        if (options_.progress && done_ % 512 == 0) options_.progress(done_, total_);
        if (!a.scored) {
            s.last_price = a.price;
            return;
        }
        if (const std::size_t cut = a.trigger_note.find(" ("); cut != std::string::npos) {
            std::string kind = a.trigger_note.substr(0, cut);
            if (kind != lane.last_kind) {
                if (lane.trigger_kinds.find(kind) == std::string::npos) {
                    lane.trigger_kinds += (lane.trigger_kinds.empty() ? "" : ", then ") + kind;
                }
                lane.last_kind = std::move(kind);
            }
        }
        const double mark = a.price;
        lane.atr = refresh_evaluated_state(s, a, quote, true);
        lane.daily_snapshot = std::move(a.daily_snapshot);
        lane.trigger_snapshot = std::move(a.trigger_snapshot);

        if (s.holding && s.qty > 0) {
            const ExitDecision exit = decide_exit(s, mark, lane.atr, lane.daily_snapshot,
                                                  lane.trigger_snapshot, options_.settings);
            s.peak_price = exit.peak;
            s.stop_price = exit.stop;
            if (exit.quantity > 0) lane.exit = exit;
            return;
        }
        if (!may_enter(s)) return;
        const auto account = [this] {
            AccountSnapshot snap = paper_.account_snapshot().value_or(AccountSnapshot{});
            snap.equity -= commissions_;
            snap.cash -= commissions_;
            snap.buying_power -= commissions_;
            return std::pair<AccountSnapshot, std::string>{snap, market_.regime};
        };
        if (auto order = plan_entry_order(ctx_, s, quote, mark, lane.atr, kPhaseRegular, account)) {
            lane.buy = PendingBuy{std::move(*order), lane.atr};
        }
    }

    const ReplayOptions& options_;
    SimBroker paper_;
    std::unique_ptr<PdtGuard> pdt_;
    MarketContext market_;
    TradingContext ctx_;
    std::int64_t now_ = 0;
    std::vector<Lane> lanes_;
    std::size_t booked_ = 0;
    std::size_t done_ = 0;
    std::size_t total_ = 0;
    double commissions_ = 0.0;
    ReplayResult result_;
};

}  // namespace

ReplayResult replay(const History& history, const ReplayOptions& options) {
    Replayer replayer(history, options);
    ReplayResult result = replayer.run();
    return result;
}

}  // namespace ostrel::backtest
