// The scout universe: toxic set, built-in names, normalising and the cache file.
#include "scout/universe.hpp"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "platform/file_replace.hpp"

namespace ostrel {
namespace {

const std::unordered_set<std::string_view>& toxic_set() {
    static const std::unordered_set<std::string_view> set = {
        "TQQQ", "SQQQ", "UPRO", "SPXU", "SOXL", "SOXS", "TNA",  "TZA",  "FAS", "FAZ",
        "TECL", "TECS", "LABU", "LABD", "BOIL", "KOLD", "UVXY", "SVXY", "VXX", "VIXY",
        "TMF",  "TBT",  "HYG",  "LQD",  "JNK",  "BND",  "BIL",  "SGOV", "SHV", "TLT",
        "MSTR", "COIN", "MARA", "RIOT", "IBIT", "BITO", "GBTC", "ETHE", "BITX"};
    return set;
}

bool all_letters(const std::string& s) {
    for (const char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

}  // namespace

bool is_toxic(std::string_view symbol) {
    return toxic_set().contains(symbol);
}

const std::vector<std::string>& builtin_universe() {
    static const std::vector<std::string> names = {
        "SPY",  "QQQ",  "IWM",  "DIA",  "XLK",  "XLF",  "XLE",   "XLV",  "XLI",  "XLY",
        "SMH",  "XBI",  "AAPL", "MSFT", "NVDA", "AMZN", "GOOGL", "META", "AVGO", "TSLA",
        "AMD",  "NFLX", "COST", "UNH",  "JPM",  "V",    "MA",    "HD",   "BAC",  "WMT",
        "PG",   "XOM",  "LLY",  "ORCL", "CRM",  "ADBE", "KO",    "PEP",  "CSCO", "DIS",
        "AXP",  "CAT",  "GE",   "IBM",  "INTC", "QCOM", "TXN",   "AMAT", "MU",   "NOW",
        "INTU", "ISRG", "BA",   "HON",  "UNP",  "RTX",  "DE",    "LMT",  "GS",   "MS",
        "BLK",  "SPGI", "PLTR", "PANW", "CRWD", "NET",  "ABNB",  "UBER", "SHOP", "PYPL",
        "CVX",  "COP",  "SLB",  "JNJ",  "ABBV", "MRK",  "AMGN",  "GILD", "REGN", "VRTX",
        "NKE",  "SBUX", "MCD",  "LOW",  "TGT",  "F",    "GM",    "NEE",  "SO",   "D",
        "LIN",  "SHW",  "ADI",  "KLAC", "LRCX", "SNPS", "CDNS",  "MELI", "BKNG", "CMG"};
    return names;
}

std::vector<std::string> normalise_universe(const std::vector<std::string>& raw) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (std::string s : raw) {
        if (s.empty() || s.size() > 5 || !all_letters(s)) continue;
        for (char& c : s) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        if (is_toxic(s) || !seen.insert(s).second) continue;
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<std::string> read_universe_cache(const std::string& path, std::int64_t now_ms) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::string text(std::istreambuf_iterator<char>(in), {});
    return parse_universe_cache(text, now_ms);
}

std::vector<std::string> parse_universe_cache(std::string_view text, std::int64_t now_ms) {
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return {};
    const auto ts = doc.find("ts_ms");
    if (ts == doc.end() || !ts->is_number()) return {};
    const double stamp = ts->get<double>();
    // A stamp that is not a sane millisecond count cannot be dated, so it is not trusted.
    if (!(stamp > 0.0) || stamp > 9.0e15) return {};
    // A stamp from the future (a clock set back, a copied file) would be trusted for ever.
    const auto written = static_cast<std::int64_t>(stamp);
    if (written > now_ms || now_ms - written > kUniverseCacheMaxAgeMs) return {};
    const auto symbols = doc.find("symbols");
    if (symbols == doc.end() || !symbols->is_array()) return {};
    std::vector<std::string> out;
    for (const auto& s : *symbols) {
        if (s.is_string()) out.push_back(s.get<std::string>());
    }
    return out;
}

std::expected<void, std::string> write_universe_cache(const std::string& path,
                                                      const std::vector<std::string>& symbols,
                                                      std::int64_t now_ms) {
    nlohmann::json doc = nlohmann::json::object();
    doc["symbols"] = symbols;
    doc["ts_ms"] = now_ms;
    std::string text;
    try {
        text = doc.dump();
    } catch (const nlohmann::json::exception& e) {
        return std::unexpected(std::string("Could not write ") + path + ": " + e.what());
    }
    // A reader never sees half a file, and a crash leaves the old cache or the new one.
    switch (platform::replace_file(path, text)) {
        case platform::ReplaceOutcome::done:
            break;
        case platform::ReplaceOutcome::not_started:
            return std::unexpected("Could not write " + path);
        case platform::ReplaceOutcome::not_finished:
            return std::unexpected("Could not finish writing " + path);
    }
    return {};
}

}  // namespace ostrel
