// Builds the universe: a table of well-known tickers first, then generated names up to the count.
#include "sim/universe.hpp"

#include <cmath>
#include <unordered_set>

namespace ostrel::sim {

std::uint64_t mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t hash_text(const std::string& text) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return mix64(h);
}

double unit_from(std::uint64_t h) {
    return static_cast<double>(mix64(h) >> 11) * (1.0 / 9007199254740992.0);
}

double normal_from(std::uint64_t h) {
    // Box-Muller on two independent uniforms; u1 is kept away from 0 for the log.
    const double u1 = (static_cast<double>(mix64(h) >> 11) + 0.5) * (1.0 / 9007199254740992.0);
    const double u2 = unit_from(h ^ 0x5851f42d4c957f2dULL);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

namespace {

struct Known {
    const char* symbol;
    const char* description;
    char exchange;
    bool etf;
    double price;
    double volume_millions;
};

// Well-known names with plausible price levels and volumes. Leveraged, volatility, bond and
// crypto-linked funds are here too so that screens that exclude them meet them.
constexpr Known kKnown[] = {
    {"SPY", "SPDR S&P 500 ETF Trust", 'P', true, 590.0, 60},
    {"AAPL", "Apple Inc", 'Q', false, 229.0, 50},
    {"MSFT", "Microsoft Corp", 'Q', false, 430.0, 20},
    {"QQQ", "Invesco QQQ Trust", 'Q', true, 510.0, 35},
    {"IWM", "iShares Russell 2000 ETF", 'P', true, 220.0, 30},
    {"DIA", "SPDR Dow Jones Industrial Average ETF", 'P', true, 430.0, 3},
    {"NVDA", "NVIDIA Corp", 'Q', false, 140.0, 200},
    {"AMZN", "Amazon.com Inc", 'Q', false, 210.0, 40},
    {"GOOGL", "Alphabet Inc", 'Q', false, 180.0, 25},
    {"META", "Meta Platforms Inc", 'Q', false, 600.0, 14},
    {"TSLA", "Tesla Inc", 'Q', false, 330.0, 90},
    {"AMD", "Advanced Micro Devices Inc", 'Q', false, 140.0, 40},
    {"AVGO", "Broadcom Inc", 'Q', false, 230.0, 25},
    {"NFLX", "Netflix Inc", 'Q', false, 900.0, 4},
    {"COST", "Costco Wholesale Corp", 'Q', false, 920.0, 2},
    {"UNH", "UnitedHealth Group Inc", 'N', false, 520.0, 4},
    {"JPM", "JPMorgan Chase & Co", 'N', false, 240.0, 9},
    {"V", "Visa Inc", 'N', false, 310.0, 7},
    {"MA", "Mastercard Inc", 'N', false, 520.0, 3},
    {"HD", "Home Depot Inc", 'N', false, 400.0, 4},
    {"BAC", "Bank of America Corp", 'N', false, 44.0, 40},
    {"WMT", "Walmart Inc", 'N', false, 90.0, 17},
    {"PG", "Procter & Gamble Co", 'N', false, 165.0, 7},
    {"XOM", "Exxon Mobil Corp", 'N', false, 110.0, 15},
    {"LLY", "Eli Lilly and Co", 'N', false, 800.0, 3},
    {"ORCL", "Oracle Corp", 'N', false, 170.0, 9},
    {"CRM", "Salesforce Inc", 'N', false, 300.0, 6},
    {"ADBE", "Adobe Inc", 'Q', false, 450.0, 3},
    {"KO", "Coca-Cola Co", 'N', false, 63.0, 14},
    {"PEP", "PepsiCo Inc", 'Q', false, 155.0, 6},
    {"CSCO", "Cisco Systems Inc", 'Q', false, 58.0, 18},
    {"DIS", "Walt Disney Co", 'N', false, 110.0, 9},
    {"AXP", "American Express Co", 'N', false, 290.0, 3},
    {"CAT", "Caterpillar Inc", 'N', false, 370.0, 3},
    {"GE", "GE Aerospace", 'N', false, 190.0, 6},
    {"IBM", "International Business Machines Corp", 'N', false, 220.0, 4},
    {"INTC", "Intel Corp", 'Q', false, 22.0, 60},
    {"QCOM", "Qualcomm Inc", 'Q', false, 160.0, 8},
    {"TXN", "Texas Instruments Inc", 'Q', false, 195.0, 6},
    {"AMAT", "Applied Materials Inc", 'Q', false, 170.0, 7},
    {"MU", "Micron Technology Inc", 'Q', false, 100.0, 20},
    {"NOW", "ServiceNow Inc", 'N', false, 950.0, 1.3},
    {"INTU", "Intuit Inc", 'Q', false, 630.0, 1.6},
    {"ISRG", "Intuitive Surgical Inc", 'Q', false, 520.0, 1.5},
    {"BA", "Boeing Co", 'N', false, 170.0, 8},
    {"HON", "Honeywell International Inc", 'Q', false, 215.0, 3},
    {"UNP", "Union Pacific Corp", 'N', false, 235.0, 3},
    {"RTX", "RTX Corp", 'N', false, 125.0, 5},
    {"DE", "Deere & Co", 'N', false, 420.0, 1.5},
    {"LMT", "Lockheed Martin Corp", 'N', false, 480.0, 1.2},
    {"GS", "Goldman Sachs Group Inc", 'N', false, 560.0, 2},
    {"MS", "Morgan Stanley", 'N', false, 125.0, 6},
    {"BLK", "BlackRock Inc", 'N', false, 950.0, 0.7},
    {"SPGI", "S&P Global Inc", 'N', false, 500.0, 1.3},
    {"PLTR", "Palantir Technologies Inc", 'Q', false, 75.0, 70},
    {"PANW", "Palo Alto Networks Inc", 'Q', false, 185.0, 5},
    {"CRWD", "CrowdStrike Holdings Inc", 'Q', false, 350.0, 3},
    {"NET", "Cloudflare Inc", 'N', false, 110.0, 3},
    {"ABNB", "Airbnb Inc", 'Q', false, 135.0, 5},
    {"UBER", "Uber Technologies Inc", 'N', false, 70.0, 20},
    {"SHOP", "Shopify Inc", 'Q', false, 100.0, 9},
    {"PYPL", "PayPal Holdings Inc", 'Q', false, 75.0, 12},
    {"CVX", "Chevron Corp", 'N', false, 155.0, 8},
    {"COP", "ConocoPhillips", 'N', false, 105.0, 7},
    {"SLB", "Schlumberger NV", 'N', false, 42.0, 12},
    {"JNJ", "Johnson & Johnson", 'N', false, 155.0, 7},
    {"ABBV", "AbbVie Inc", 'N', false, 180.0, 6},
    {"MRK", "Merck & Co Inc", 'N', false, 100.0, 10},
    {"AMGN", "Amgen Inc", 'Q', false, 290.0, 3},
    {"GILD", "Gilead Sciences Inc", 'Q', false, 90.0, 7},
    {"REGN", "Regeneron Pharmaceuticals Inc", 'Q', false, 750.0, 0.9},
    {"VRTX", "Vertex Pharmaceuticals Inc", 'Q', false, 450.0, 1.3},
    {"NKE", "Nike Inc", 'N', false, 75.0, 11},
    {"SBUX", "Starbucks Corp", 'Q', false, 95.0, 9},
    {"MCD", "McDonald's Corp", 'N', false, 290.0, 3},
    {"LOW", "Lowe's Companies Inc", 'N', false, 250.0, 3},
    {"TGT", "Target Corp", 'N', false, 135.0, 4},
    {"F", "Ford Motor Co", 'N', false, 11.0, 60},
    {"GM", "General Motors Co", 'N', false, 50.0, 12},
    {"NEE", "NextEra Energy Inc", 'N', false, 72.0, 10},
    {"SO", "Southern Co", 'N', false, 85.0, 4},
    {"D", "Dominion Energy Inc", 'N', false, 55.0, 4},
    {"LIN", "Linde PLC", 'Q', false, 450.0, 2},
    {"SHW", "Sherwin-Williams Co", 'N', false, 360.0, 1.6},
    {"ADI", "Analog Devices Inc", 'Q', false, 215.0, 3},
    {"KLAC", "KLA Corp", 'Q', false, 700.0, 1},
    {"LRCX", "Lam Research Corp", 'Q', false, 75.0, 10},
    {"SNPS", "Synopsys Inc", 'Q', false, 500.0, 1},
    {"CDNS", "Cadence Design Systems Inc", 'Q', false, 290.0, 1.7},
    {"MELI", "MercadoLibre Inc", 'Q', false, 2000.0, 0.4},
    {"BKNG", "Booking Holdings Inc", 'Q', false, 4800.0, 0.25},
    {"CMG", "Chipotle Mexican Grill Inc", 'N', false, 58.0, 20},
    {"XLK", "Technology Select Sector SPDR Fund", 'P', true, 230.0, 6},
    {"XLF", "Financial Select Sector SPDR Fund", 'P', true, 48.0, 40},
    {"XLE", "Energy Select Sector SPDR Fund", 'P', true, 90.0, 15},
    {"XLV", "Health Care Select Sector SPDR Fund", 'P', true, 145.0, 8},
    {"XLI", "Industrial Select Sector SPDR Fund", 'P', true, 135.0, 9},
    {"XLY", "Consumer Discretionary Select Sector SPDR Fund", 'P', true, 210.0, 4},
    {"SMH", "VanEck Semiconductor ETF", 'Q', true, 240.0, 7},
    {"XBI", "SPDR S&P Biotechnology ETF", 'P', true, 95.0, 9},
    {"BRK.B", "Berkshire Hathaway Inc Class B", 'N', false, 470.0, 4},
    {"TQQQ", "ProShares UltraPro QQQ", 'Q', true, 75.0, 60},
    {"SQQQ", "ProShares UltraPro Short QQQ", 'Q', true, 30.0, 80},
    {"SOXL", "Direxion Daily Semiconductor Bull 3X Shares", 'P', true, 30.0, 70},
    {"UVXY", "ProShares Ultra VIX Short-Term Futures ETF", 'P', true, 25.0, 20},
    {"VXX", "iPath Series B S&P 500 VIX Short-Term Futures ETN", 'P', true, 50.0, 6},
    {"TLT", "iShares 20+ Year Treasury Bond ETF", 'Q', true, 90.0, 35},
    {"HYG", "iShares iBoxx High Yield Corporate Bond ETF", 'P', true, 79.0, 30},
    {"MSTR", "MicroStrategy Inc", 'Q', false, 350.0, 15},
    {"COIN", "Coinbase Global Inc", 'Q', false, 250.0, 10},
    {"IBIT", "iShares Bitcoin Trust ETF", 'Q', true, 55.0, 40},
};

constexpr const char* kSyllables[] = {"ar",  "bel", "cor", "dyn", "el",  "fin", "gen", "hal",
                                      "ion", "jet", "kor", "lum", "max", "nov", "or",  "pra",
                                      "qua", "ros", "sol", "tek", "ul",  "ver", "wex", "zen"};
constexpr const char* kSuffixes[] = {
    "Inc",         "Corp",    "Holdings Inc", "Group Inc", "Technologies Inc", "Therapeutics Inc",
    "Energy Corp", "Bancorp", "Co",           "Ltd"};

double log_uniform(std::uint64_t h, double lo, double hi) {
    return std::exp(std::log(lo) + unit_from(h) * (std::log(hi) - std::log(lo)));
}

std::string generated_description(std::uint64_t h) {
    std::string name;
    const int parts = 2 + static_cast<int>(mix64(h) % 2);
    for (int i = 0; i < parts; ++i) {
        name += kSyllables[mix64(h + 17 * (i + 1)) % std::size(kSyllables)];
    }
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name + " " + kSuffixes[mix64(h + 99) % std::size(kSuffixes)];
}

}  // namespace

Universe::Universe(std::uint64_t seed, int count) {
    const std::size_t want = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::unordered_set<std::string> taken;
    for (const Known& k : kKnown) {
        if (symbols_.size() >= want) break;
        SymbolInfo s;
        s.symbol = k.symbol;
        s.description = k.description;
        s.exchange = std::string(1, k.exchange);
        s.type = k.etf ? "etf" : "stock";
        s.key = mix64(seed ^ hash_text(s.symbol));
        s.reference_price = k.price;
        s.average_volume = k.volume_millions * 1e6;
        s.volatility = (k.etf ? 0.009 : 0.014) + unit_from(s.key + 1) * 0.012;
        s.drift = -0.0002 + unit_from(s.key + 2) * 0.0009;
        s.easy_to_borrow = s.symbol != "IBIT";
        taken.insert(s.symbol);
        symbols_.push_back(std::move(s));
    }
    std::uint64_t state = mix64(seed + 0x1234567);
    while (symbols_.size() < want) {
        state = mix64(state);
        const int length = 2 + static_cast<int>(state % 3) + (state % 7 == 0 ? 1 : 0);
        std::string name;
        for (int i = 0; i < length; ++i) {
            name += static_cast<char>('A' + mix64(state + i + 1) % 26);
        }
        if (!taken.insert(name).second) continue;
        SymbolInfo s;
        s.symbol = name;
        s.key = mix64(seed ^ hash_text(name));
        s.description = generated_description(s.key);
        s.exchange = (s.key % 3 == 0) ? "N" : "Q";
        s.type = (s.key % 17 == 0) ? "etf" : "stock";
        s.reference_price = log_uniform(s.key + 3, 3.0, 600.0);
        s.average_volume = log_uniform(s.key + 4, 50e3, 30e6);
        s.volatility = 0.012 + unit_from(s.key + 1) * 0.03;
        s.drift = -0.0004 + unit_from(s.key + 2) * 0.0013;
        s.easy_to_borrow = unit_from(s.key + 5) < 0.85;
        symbols_.push_back(std::move(s));
    }
    for (std::size_t i = 0; i < symbols_.size(); ++i)
        index_.emplace(symbols_[i].symbol, i);
}

const SymbolInfo* Universe::find(const std::string& symbol) const {
    const auto it = index_.find(symbol);
    return it == index_.end() ? nullptr : &symbols_[it->second];
}

}  // namespace ostrel::sim
