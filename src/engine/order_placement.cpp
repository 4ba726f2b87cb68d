// Intent first, then the request; a lost answer freezes the ticker instead of inviting a resend.
#include "engine/order_placement.hpp"
#include "broker/order_words.hpp"

#include <atomic>

#include "log/activity_log.hpp"
#include "store/order_intents.hpp"

namespace ostrel {

namespace {

/// Letters, digits and dashes only, unique across runs: the start time in ms and a counter.
std::string new_tag(std::int64_t now_ms) {
    static std::atomic<std::uint64_t> counter{0};
    return "ostrel-" + std::to_string(now_ms) + "-" + std::to_string(++counter);
}

}  // namespace

Placement place_with_intent(const TradingContext& ctx, IBroker& broker, OrderRequest order) {
    std::string tag;
    if (ctx.live && ctx.intents) {
        tag = new_tag(ctx.now());
        order.tag = tag;
        OrderIntent intent{tag,
                           order.symbol,
                           order.side,
                           order.quantity,
                           order.type,
                           order.duration,
                           order.order_class,
                           order.price,
                           order.stop,
                           ctx.now(),
                           {}};
        if (const auto recorded = ctx.intents->record(intent); !recorded) {
            if (side_from_text(order.side) == OrderSide::buy) {
                return {PlaceOutcome::refused,
                        "Order not sent — its intent could not be recorded: " + recorded.error()};
            }
            // A protective or closing sell still goes out: shares without it are worse off
            // than a sell we might not recognise after a crash.
            log_error(order.symbol, "Order intent not recorded: " + recorded.error());
            tag.clear();
        }
    }
    const OrderResult placed = broker.place(order);
    if (placed) {
        if (!tag.empty()) (void)ctx.intents->set_order_id(tag, *placed);
        return {PlaceOutcome::accepted, *placed};
    }
    if (outcome_unknown(placed)) return {PlaceOutcome::unknown, placed.error()};
    if (!tag.empty()) (void)ctx.intents->remove(tag);
    return {PlaceOutcome::refused, placed.error()};
}

void freeze_for_unknown_outcome(SymbolState& s, const OrderRequest& order,
                                const std::string& error) {
    s.order_in_flight = true;
    s.pending_status = kOutcomeUnknownStatus;
    if (duration_from_text(order.duration) != OrderDuration::gtc) {
        s.pending_side = order.side;
        s.pending_qty = order.quantity;
        s.qty_at_order = s.qty;
    }
    if (side_from_text(order.side) == OrderSide::buy) {
        s.entry_lock = true;
        s.pending_limit_price = order.price;
    }
    log_error(s.symbol,
              order.side + " " + std::to_string(order.quantity) + " — " + error +
                  " — ticker frozen until the broker's orders show whether it was placed");
}

bool waiting_on_unknown_outcome(const SymbolState& s) {
    return s.order_in_flight && s.pending_order_id.empty() &&
           s.pending_status == kOutcomeUnknownStatus;
}

}  // namespace ostrel
