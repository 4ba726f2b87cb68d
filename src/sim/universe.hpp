// The simulator's symbol universe: well-known tickers plus generated ones, each with its price
// traits.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace ostrel::sim {

/// A symbol and the traits its synthetic prices are drawn from.
struct SymbolInfo {
    std::string symbol;
    std::string description;
    std::string exchange;            ///< one letter, as the broker writes it ("Q", "N", "P")
    std::string type;                ///< "stock" or "etf"
    double reference_price = 100.0;  ///< the level the walk's trend passes on the reference day
    double drift = 0.0;              ///< trend in log price per trading day
    double volatility = 0.02;        ///< daily standard deviation of log returns
    double average_volume = 1e6;     ///< typical shares per day
    bool easy_to_borrow = true;
    std::uint64_t key = 0;  ///< per-symbol seed of every random draw
};

/// The ordered list of symbols, built deterministically from a seed.
class Universe {
  public:
    Universe(std::uint64_t seed, int count);
    const std::vector<SymbolInfo>& symbols() const { return symbols_; }
    /// Null for an unknown symbol.
    const SymbolInfo* find(const std::string& symbol) const;

  private:
    std::vector<SymbolInfo> symbols_;
    std::unordered_map<std::string, std::size_t> index_;
};

/// splitmix64, the simulator's hash and generator step.
std::uint64_t mix64(std::uint64_t x);
/// A stable 64-bit hash of a text (FNV-1a, then mixed).
std::uint64_t hash_text(const std::string& text);
/// A uniform double in [0, 1) from a hash.
double unit_from(std::uint64_t h);
/// A standard normal draw from a hash.
double normal_from(std::uint64_t h);

}  // namespace ostrel::sim
