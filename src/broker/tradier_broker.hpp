// The live broker: forwards every IBroker call to the TradierClient's order endpoints.
#pragma once

#include "broker/ibroker.hpp"
#include "broker/tradier_client.hpp"

namespace ostrel {

/// Stateless apart from its non-owning reference to the engine's client.
class TradierBroker final : public IBroker {
  public:
    explicit TradierBroker(TradierClient& client) : client_(client) {}

    std::string name() const override { return "tradier"; }
    std::expected<AccountSnapshot, std::string> account_snapshot() override;
    /// Logs "LIVE" "side qty SYM type @ price | reason", then places the order.
    OrderResult place(const OrderRequest& request) override;
    ActionResult cancel(const std::string& order_id) override;
    ActionResult modify_stop(const std::string& order_id, double new_stop) override;
    ActionResult modify_limit(const std::string& order_id, double new_limit,
                              const std::string& duration) override;

  private:
    TradierClient& client_;
};

}  // namespace ostrel
