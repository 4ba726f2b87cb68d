// The copies the Connection tab and the account strip read every frame besides the summary.
#include "engine/engine.hpp"

namespace ostrel {

ConnectionView Engine::connection_view() {
    ConnectionView view;
    view.connected = connected_;
    view.live_trading = live_trading_;
    view.pdt_protection = pdt_protection_;
    // The guard, the client and the budget have their own locks; none is taken under ours.
    view.day_trades = pdt_.count();
    view.stream_status = client_.stream_status_text();
    view.oldest_quote = oldest_quote();
    const auto usage = client_.budget().usage();  // drops sends older than a minute
    view.budget = {usage[0].used, usage[0].cap,  usage[1].used,
                   usage[1].cap,  usage[2].used, usage[2].cap};
    std::lock_guard lock(mutex_);
    view.pdt_max_day_trades = settings_.pdt_max_day_trades;
    view.market_state = market_state_;
    view.equity = equity_;
    view.buying_power = buying_power_;
    view.cash = cash_;
    return view;
}

SpendRule Engine::spend_rule() const {
    std::lock_guard lock(mutex_);
    return {settings_.max_dollar_risk_pct, settings_.max_trade_risk_pct, settings_.atr_stop_mult,
            settings_.atr_profit_mult, settings_.max_position_pct};
}

}  // namespace ostrel
