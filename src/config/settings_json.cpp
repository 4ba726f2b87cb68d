// The member-by-member read rules and the write layout of settings.json.
#include "config/settings_json.hpp"

#include <cmath>
#include <limits>

namespace ostrel {
namespace {

using nlohmann::json;

void read_bool(const json& j, const char* key, bool& out) {
    const auto it = j.find(key);
    if (it != j.end() && it->is_boolean()) out = it->get<bool>();
}

void read_string(const json& j, const char* key, std::string& out) {
    const auto it = j.find(key);
    if (it != j.end() && it->is_string()) out = it->get<std::string>();
}

void read_number(const json& j, const char* key, double& out) {
    const auto it = j.find(key);
    if (it != j.end() && it->is_number()) out = it->get<double>();
}

// A fractional value is truncated toward zero. Values beyond the int range saturate rather
// than overflow the conversion (a file holding 1e12 must not yield an arbitrary count).
void read_int(const json& j, const char* key, int& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return;
    const double value = std::trunc(it->get<double>());
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        out = std::numeric_limits<int>::min();
    } else if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        out = std::numeric_limits<int>::max();
    } else {
        out = static_cast<int>(value);
    }
}

void clamp(int& value, int low, int high) {
    if (value < low) value = low;
    if (value > high) value = high;
}

}  // namespace

json settings_to_json(const Settings& s) {
    json j = json::object();
    j["tradier_token"] = s.tradier_token;
    j["production"] = s.production;
    j["live_trading"] = s.live_trading;
    j["enable_pdt_protection"] = s.enable_pdt_protection;
    j["pdt_max_day_trades"] = s.pdt_max_day_trades;
    j["enforce_market_hours"] = s.enforce_market_hours;
    j["min_score"] = s.min_score;
    j["max_dollar_risk_pct"] = s.max_dollar_risk_pct;
    j["max_trade_risk_pct"] = s.max_trade_risk_pct;
    j["max_position_pct"] = s.max_position_pct;
    j["atr_stop_mult"] = s.atr_stop_mult;
    j["atr_profit_mult"] = s.atr_profit_mult;
    j["min_rr"] = s.min_rr;
    j["scale_out_frac"] = s.scale_out_frac;
    j["trail_atr_mult"] = s.trail_atr_mult;
    j["wave_giveback_atr"] = s.wave_giveback_atr;
    j["min_coherence"] = s.min_coherence;
    j["MIN_COHERENCE_SCORE"] = s.min_coherence;
    j["trend_mode_ignore_rsi_ob"] = s.trend_mode_ignore_rsi_ob;
    j["enable_hurst_filter"] = s.enable_hurst_filter;
    j["enable_strategy_isolation"] = s.enable_strategy_isolation;
    j["entry_model"] = s.entry_model;
    j["require_committee_quorum"] = s.require_committee_quorum;
    j["min_committee_agree"] = s.min_committee_agree;
    j["max_signal_conflicts"] = s.max_signal_conflicts;
    j["enable_deductive_override"] = s.enable_deductive_override;
    j["SCORE_RSI_BULL"] = s.SCORE_RSI_BULL;
    j["SCORE_RSI_STRONG"] = s.SCORE_RSI_STRONG;
    j["SCORE_RSI_OB"] = s.SCORE_RSI_OB;
    j["SCORE_RSI_OS"] = s.SCORE_RSI_OS;
    j["SCORE_ADX_TREND"] = s.SCORE_ADX_TREND;
    j["SCORE_HURST_FILTER"] = s.SCORE_HURST_FILTER;
    j["SCORE_ENTROPY_CHAOS"] = s.SCORE_ENTROPY_CHAOS;
    j["SCORE_RVOL_HIGH"] = s.SCORE_RVOL_HIGH;
    j["SCORE_RVOL_LOW"] = s.SCORE_RVOL_LOW;
    j["VPIN_CDF_THRESHOLD"] = s.VPIN_CDF_THRESHOLD;
    j["SCORING_WEIGHTS"] = {
        {"MOMENTUM", s.weight_momentum},     {"TREND", s.weight_trend},
        {"VOLATILITY", s.weight_volatility}, {"VOLUME_FLOW", s.weight_volume_flow},
        {"PATTERN", s.weight_pattern},       {"MACRO", s.weight_macro},
    };
    j["watchlist"] = s.watchlist;
    j["scout_watch_limit"] = s.scout_watch_limit;
    j["scout_min_price"] = s.scout_min_price;
    j["scout_max_price"] = s.scout_max_price;
    j["scout_min_dollar_vol"] = s.scout_min_dollar_vol;
    j["scout_min_atr_pct"] = s.scout_min_atr_pct;
    j["scout_max_atr_pct"] = s.scout_max_atr_pct;
    j["enable_auto_scout"] = s.enable_auto_scout;
    j["auto_scout_interval_min"] = s.auto_scout_interval_min;
    return j;
}

std::expected<void, std::string> apply_settings_json(const json& j, Settings& s) {
    if (!j.is_object()) return {};

    read_string(j, "tradier_token", s.tradier_token);
    read_bool(j, "production", s.production);
    read_bool(j, "live_trading", s.live_trading);
    read_bool(j, "enable_pdt_protection", s.enable_pdt_protection);
    read_int(j, "pdt_max_day_trades", s.pdt_max_day_trades);
    clamp(s.pdt_max_day_trades, 1, 3);
    read_bool(j, "enforce_market_hours", s.enforce_market_hours);
    read_number(j, "min_score", s.min_score);
    read_number(j, "max_dollar_risk_pct", s.max_dollar_risk_pct);
    read_number(j, "max_trade_risk_pct", s.max_trade_risk_pct);
    read_number(j, "max_position_pct", s.max_position_pct);
    read_number(j, "atr_stop_mult", s.atr_stop_mult);
    read_number(j, "atr_profit_mult", s.atr_profit_mult);
    read_number(j, "min_rr", s.min_rr);
    read_number(j, "scale_out_frac", s.scale_out_frac);
    read_number(j, "trail_atr_mult", s.trail_atr_mult);
    read_number(j, "wave_giveback_atr", s.wave_giveback_atr);
    read_number(j, "min_coherence", s.min_coherence);
    read_bool(j, "trend_mode_ignore_rsi_ob", s.trend_mode_ignore_rsi_ob);
    read_bool(j, "enable_hurst_filter", s.enable_hurst_filter);
    read_bool(j, "enable_strategy_isolation", s.enable_strategy_isolation);
    read_string(j, "entry_model", s.entry_model);
    read_bool(j, "require_committee_quorum", s.require_committee_quorum);
    read_int(j, "min_committee_agree", s.min_committee_agree);
    read_int(j, "max_signal_conflicts", s.max_signal_conflicts);
    read_bool(j, "enable_deductive_override", s.enable_deductive_override);
    read_number(j, "SCORE_RSI_BULL", s.SCORE_RSI_BULL);
    read_number(j, "SCORE_RSI_STRONG", s.SCORE_RSI_STRONG);
    read_number(j, "SCORE_RSI_OB", s.SCORE_RSI_OB);
    read_number(j, "SCORE_RSI_OS", s.SCORE_RSI_OS);
    read_number(j, "SCORE_ADX_TREND", s.SCORE_ADX_TREND);
    read_number(j, "SCORE_HURST_FILTER", s.SCORE_HURST_FILTER);
    read_number(j, "SCORE_ENTROPY_CHAOS", s.SCORE_ENTROPY_CHAOS);
    read_number(j, "SCORE_RVOL_HIGH", s.SCORE_RVOL_HIGH);
    read_number(j, "SCORE_RVOL_LOW", s.SCORE_RVOL_LOW);
    read_number(j, "VPIN_CDF_THRESHOLD", s.VPIN_CDF_THRESHOLD);

    // The upper-case name is read last, so it wins over min_coherence.
    read_number(j, "MIN_COHERENCE_SCORE", s.min_coherence);

    read_int(j, "scout_watch_limit", s.scout_watch_limit);
    read_number(j, "scout_min_price", s.scout_min_price);
    read_number(j, "scout_max_price", s.scout_max_price);
    read_number(j, "scout_min_dollar_vol", s.scout_min_dollar_vol);
    read_number(j, "scout_min_atr_pct", s.scout_min_atr_pct);
    read_number(j, "scout_max_atr_pct", s.scout_max_atr_pct);
    read_bool(j, "enable_auto_scout", s.enable_auto_scout);
    read_int(j, "auto_scout_interval_min", s.auto_scout_interval_min);
    clamp(s.auto_scout_interval_min, 15, 120);

    if (const auto it = j.find("watchlist"); it != j.end() && it->is_array()) {
        s.watchlist.clear();
        for (const json& item : *it) {
            if (item.is_string()) s.watchlist.push_back(item.get<std::string>());
        }
    }

    // The weights are strict: a weight that is present but not a number rejects the file.
    if (const auto it = j.find("SCORING_WEIGHTS"); it != j.end() && it->is_object()) {
        const std::pair<const char*, double*> weights[] = {
            {"MOMENTUM", &s.weight_momentum},     {"TREND", &s.weight_trend},
            {"VOLATILITY", &s.weight_volatility}, {"VOLUME_FLOW", &s.weight_volume_flow},
            {"PATTERN", &s.weight_pattern},       {"MACRO", &s.weight_macro},
        };
        for (const auto& [key, field] : weights) {
            const auto w = it->find(key);
            if (w == it->end()) continue;
            // The library would quietly turn true into 1.0; only real numbers count.
            if (!w->is_number()) {
                return std::unexpected("type must be number, but is " +
                                       std::string(w->type_name()));
            }
            *field = w->get<double>();
        }
    }
    return {};
}

}  // namespace ostrel
