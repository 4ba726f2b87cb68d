// What the trading rules need from the engine for one call: settings, brokers, guard, account.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include "broker/broker_records.hpp"
#include "broker/ibroker.hpp"
#include "config/settings.hpp"

namespace ostrel {

class SimBroker;
class PdtGuard;
class OrderIntentStore;

/// Built by the engine for each evaluation (or reconciliation) from its members; the rules
/// that take it work on a SymbolState copy and never touch the engine lock themselves.
struct TradingContext {
    Settings settings;               ///< a copy: stop/target multiples, scale-out fraction, ...
    bool live = false;               ///< live trading on
    bool pdt_protection = true;      ///< day-trade protection on
    IBroker* live_broker = nullptr;  ///< the TradierBroker, when connected
    SimBroker* paper = nullptr;      ///< the paper book
    PdtGuard* pdt = nullptr;         ///< records every booked fill
    OrderIntentStore* intents = nullptr;  ///< live orders' intents, written before each send
    /// The live account's balances (the client's balances call).
    std::function<std::expected<AccountSnapshot, std::string>()> live_balances;
    /// Stores fresh account numbers (the engine takes its lock inside).
    std::function<void(const AccountSnapshot&)> store_account;
    /// The broker's order list, for finding the legs of a new OCO pair.
    std::function<std::expected<std::vector<BrokerOrder>, std::string>()> list_orders;
    /// Wall-clock milliseconds; tests pin it.
    std::function<std::int64_t()> clock;

    /// The broker orders go to: the live one when trading live (null until connected), else the
    /// paper book.
    IBroker* broker() const;
    std::int64_t now() const;
};

}  // namespace ostrel
