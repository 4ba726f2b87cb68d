// The one record of user-tunable parameters, mirrored by settings.json.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

struct Settings {
    std::string tradier_token;
    bool production = true;
    bool live_trading = false;
    bool enable_pdt_protection = true;
    int pdt_max_day_trades = 3;
    bool enforce_market_hours = true;
    double min_score = 60.0;
    double max_dollar_risk_pct = 1.0;
    double max_trade_risk_pct = 2.0;
    double max_position_pct = 15.0;
    double atr_stop_mult = 2.0;
    double atr_profit_mult = 4.0;
    double min_rr = 2.0;
    double scale_out_frac = 0.34;
    double trail_atr_mult = 2.0;
    double wave_giveback_atr = 0.75;
    double min_coherence = 50.0;
    bool trend_mode_ignore_rsi_ob = true;
    bool enable_hurst_filter = true;
    bool enable_strategy_isolation = true;
    std::string entry_model = "permission_trigger";
    bool require_committee_quorum = false;
    int min_committee_agree = 4;
    int max_signal_conflicts = 1;
    double committee_bull_score = 60.0;  ///< not in the file
    double committee_bear_score = 40.0;  ///< not in the file
    bool enable_deductive_override = false;
    double indicator_period = 14.0;  ///< not in the file
    double SCORE_RSI_BULL = 52.0;
    double SCORE_RSI_STRONG = 70.0;
    double SCORE_RSI_OB = 85.0;
    double SCORE_RSI_OS = 35.0;
    double stoch_oversold = 20.0;     ///< not in the file
    double stoch_overbought = 80.0;   ///< not in the file
    double willr_oversold = -80.0;    ///< not in the file
    double willr_overbought = -20.0;  ///< not in the file
    double SCORE_ADX_TREND = 20.0;
    double SCORE_HURST_FILTER = 0.45;
    double SCORE_ENTROPY_CHAOS = 0.9;
    double SCORE_RVOL_HIGH = 1.8;
    double SCORE_RVOL_LOW = 0.8;
    double VPIN_CDF_THRESHOLD = 0.98;
    double systemic_risk_level = 1.0;    ///< not in the file
    double low_correlation_level = 0.0;  ///< not in the file
    // Committee weights of the final score (the SCORING_WEIGHTS object of the file).
    double weight_momentum = 0.5;
    double weight_trend = 1.0;
    double weight_volatility = 1.2;
    double weight_volume_flow = 1.0;
    double weight_pattern = 1.0;
    double weight_macro = 1.0;
    std::vector<std::string> watchlist{"SPY"};
    int scout_watch_limit = 8;
    double scout_min_price = 8.0;
    double scout_max_price = 400.0;
    double scout_min_dollar_vol = 20000000.0;
    double scout_min_atr_pct = 1.2;
    double scout_max_atr_pct = 8.0;
    bool enable_auto_scout = false;
    int auto_scout_interval_min = 30;
};

}  // namespace ostrel
