// How many shares a new sell may take: the broker's position less what working sells have
// already promised, and when a refused protective order may be tried again.
#pragma once

#include <vector>

#include "broker/broker_records.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// The sell about to be sized; its own slot is not counted against it (it is being replaced).
enum class SellFor { stop, pair, exit };

/// Passes a refused protective order waits, unchanged, before it is sent again.
inline constexpr int kRefusedRetryAfterPasses = 2;

/// Shares under active sells at the broker for this ticker that none of the state's slots
/// follows. The two legs of one OCO pair promise the same shares and count once.
int foreign_sell_shares(const SymbolState& state, const std::vector<BrokerOrder>& orders);

/// Shares of the lot free for a new sell of kind `sell`: the lot (the broker's position as the
/// last reconciliation read it) less working sells of others and of our other slots.
int free_shares(const SymbolState& state, SellFor sell);

/// True when the order of `qty` at `price` was refused before and should wait this pass. A
/// changed quantity or price, or a wait of kRefusedRetryAfterPasses, lets it go out.
bool hold_refused_retry(RefusedOrder& refused, int qty, double price);

}  // namespace ostrel
