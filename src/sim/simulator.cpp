// The simulator's public API: each call takes the state's mutex for its whole duration.
#include "sim/simulator.hpp"

#include "sim/http_server.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"
#include "sim/stream_endpoint.hpp"
#include "sim/stream_hub.hpp"

namespace ostrel::sim {

struct Simulator::Server {
    Router router;
    StreamHub stream;  // outlives the server, whose feed connections use it
    std::unique_ptr<HttpServer> http;
};

namespace {

OrderView to_view(const BookOrder& o) {
    OrderView v;
    v.id = o.id;
    v.parent_id = o.parent_id;
    v.order_class = o.order_class;
    v.symbol = o.symbol;
    v.side = o.side;
    v.type = o.type;
    v.duration = o.duration;
    v.status = o.status;
    v.quantity = o.quantity;
    v.price = o.price;
    v.stop = o.stop;
    v.exec_quantity = o.exec_quantity;
    v.avg_fill_price = o.avg_fill_price;
    v.last_fill_price = o.last_fill_price;
    v.last_fill_quantity = o.last_fill_quantity;
    v.reason_description = o.reason;
    v.tag = o.tag;
    v.legs = o.legs;
    return v;
}

}  // namespace

Simulator::Simulator(SimConfig config)
    : state_(std::make_unique<SimState>(std::move(config))), server_(std::make_unique<Server>()) {
    state_->owner = this;
    add_market_routes(server_->router);
    add_account_routes(server_->router);
    add_order_routes(server_->router);
    add_control_routes(server_->router);
    add_stream_routes(server_->router, server_->stream);
    server_->http = std::make_unique<HttpServer>([this](const SimRequest& request) {
        if (request.path.starts_with("/_sim/")) {
            SimResponse r = server_->router.dispatch(*state_, request);
            write_document(r, true);
            return r;
        }
        return handle_broker_request(*state_, server_->router, request);
    });
    server_->http->set_upgrade_handler(make_stream_upgrade_handler(*state_, server_->stream));
}

StreamHub& Simulator::stream() {
    return server_->stream;
}

Simulator::~Simulator() {
    stop();
}

std::expected<std::uint16_t, std::string> Simulator::start(std::uint16_t port) {
    auto bound = server_->http->start(port);
    if (bound) server_->stream.set_port(*bound);  // the session answer names it
    return bound;
}

void Simulator::stop() {
    server_->http->stop();
}

std::uint16_t Simulator::port() const {
    return server_->http->port();
}

std::string Simulator::base_url() const {
    return "http://127.0.0.1:" + std::to_string(port()) + "/v1";
}

const SimConfig& Simulator::config() const {
    return state_->config;
}

SimState& Simulator::state() {
    return *state_;
}

std::vector<std::string> Simulator::symbols() const {
    std::vector<std::string> out;
    for (const SymbolInfo& s : state_->market.universe().symbols())
        out.push_back(s.symbol);
    return out;
}

std::vector<std::string> Simulator::etb_symbols() const {
    std::vector<std::string> out;
    for (const SymbolInfo& s : state_->market.universe().symbols()) {
        if (s.easy_to_borrow) out.push_back(s.symbol);
    }
    return out;
}

std::optional<QuoteView> Simulator::quote(const std::string& symbol) const {
    std::lock_guard lock(state_->mutex);
    const SymbolInfo* info = state_->market.find(symbol);
    if (info == nullptr) return std::nullopt;
    return state_->market.quote(*info, state_->clock.now(), state_->config.premarket_price_field);
}

double Simulator::price(const std::string& symbol) const {
    std::lock_guard lock(state_->mutex);
    const SymbolInfo* info = state_->market.find(symbol);
    return info == nullptr ? 0.0 : state_->market.price_at(*info, state_->clock.now());
}

bool Simulator::set_price(const std::string& symbol, double price) {
    std::lock_guard lock(state_->mutex);
    return state_->set_price_locked(symbol, price);
}

bool Simulator::move_price(const std::string& symbol, double fraction) {
    std::lock_guard lock(state_->mutex);
    const SymbolInfo* info = state_->market.find(symbol);
    if (info == nullptr) return false;
    const double now = state_->market.exact_price_at(*info, state_->clock.now());
    return state_->set_price_locked(symbol, now * (1.0 + fraction));
}

std::expected<void, std::string> Simulator::set_clock(const std::string& date,
                                                      const std::string& time) {
    const auto day = parse_date(date);
    if (!day) return std::unexpected("bad date '" + date + "' (want YYYY-MM-DD)");
    const auto secs = parse_time_of_day(time);
    if (!secs) return std::unexpected("bad time '" + time + "' (want HH:MM or HH:MM:SS)");
    std::lock_guard lock(state_->mutex);
    state_->clock.freeze_at(from_eastern(*day, *secs));
    state_->match_now();
    return {};
}

void Simulator::set_clock_state(ClockState state) {
    std::lock_guard lock(state_->mutex);
    const DayNumber today = to_eastern(state_->clock.now()).date;
    // A state other than closed needs a trading day; closed keeps the date as it is.
    const DayNumber day = state == ClockState::closed ? today : next_trading_day_on_or_after(today);
    int secs = 21 * 3600;
    if (state == ClockState::premarket) secs = 8 * 3600 + 30 * 60;
    if (state == ClockState::open) secs = 10 * 3600 + 30 * 60;
    if (state == ClockState::postmarket) secs = 17 * 3600;
    state_->clock.freeze_at(from_eastern(day, secs));
    state_->match_now();
}

void Simulator::advance_clock(std::chrono::seconds by) {
    std::lock_guard lock(state_->mutex);
    state_->clock.advance(by.count());
    state_->match_now();
}

void Simulator::run_real_time() {
    std::lock_guard lock(state_->mutex);
    state_->clock.run_real_time();
    state_->match_now();
}

ClockView Simulator::clock() const {
    std::lock_guard lock(state_->mutex);
    return state_->clock.view();
}

void Simulator::inject(const Fault& fault) {
    std::lock_guard lock(state_->mutex);
    if (fault.count > 0) state_->faults.push_back(fault);
}

void Simulator::clear_faults() {
    std::lock_guard lock(state_->mutex);
    state_->faults.clear();
}

void Simulator::set_rate_limit(LimitGroup group, int per_minute) {
    std::lock_guard lock(state_->mutex);
    state_->limiter.set_limit(group, per_minute);
}

void Simulator::reset_rate_windows() {
    std::lock_guard lock(state_->mutex);
    state_->limiter.reset();
}

std::vector<RequestRecord> Simulator::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->records;
}

std::vector<RequestRecord> Simulator::order_requests() const {
    std::lock_guard lock(state_->mutex);
    std::vector<RequestRecord> out;
    for (const RequestRecord& r : state_->records) {
        if (r.method != "GET" && r.path.find("/orders") != std::string::npos) out.push_back(r);
    }
    return out;
}

void Simulator::clear_requests() {
    std::lock_guard lock(state_->mutex);
    state_->records.clear();
}

std::vector<OrderView> Simulator::orders() const {
    std::lock_guard lock(state_->mutex);
    std::vector<OrderView> out;
    for (const auto& [id, o] : state_->book.orders())
        out.push_back(to_view(o));
    return out;
}

std::optional<OrderView> Simulator::order(std::int64_t id) const {
    std::lock_guard lock(state_->mutex);
    const BookOrder* o = state_->book.find(id);
    if (o == nullptr) return std::nullopt;
    return to_view(*o);
}

std::vector<PositionView> Simulator::positions() const {
    std::lock_guard lock(state_->mutex);
    std::vector<PositionView> out;
    for (const BookPosition& p : state_->book.positions()) {
        out.push_back(PositionView{p.symbol, p.quantity, p.cost_basis});
    }
    return out;
}

AccountView Simulator::account() const {
    std::lock_guard lock(state_->mutex);
    const Balances b = state_->book.balances(state_->touch_fn());
    return AccountView{b.type, b.cash, b.market_value, b.equity, b.stock_buying_power};
}

void Simulator::set_cash(double cash) {
    std::lock_guard lock(state_->mutex);
    state_->book.set_cash(cash);
}

void Simulator::set_account_type(AccountType type) {
    std::lock_guard lock(state_->mutex);
    state_->book.set_type(type);
}

void Simulator::set_position(const std::string& symbol, int quantity, double cost_basis) {
    std::lock_guard lock(state_->mutex);
    state_->book.set_position(symbol, quantity, cost_basis, state_->clock.now_millis());
}

void Simulator::reject_next_orders(int count, const std::string& reason,
                                   const std::vector<std::string>& types) {
    std::lock_guard lock(state_->mutex);
    state_->book.reject_next(count, reason, types);
}

void Simulator::advance_book(int steps) {
    std::lock_guard lock(state_->mutex);
    for (int i = 0; i < steps; ++i)
        state_->match_now();
}

std::optional<AccountType> parse_account_type(const std::string& text) {
    if (text == "cash") return AccountType::cash;
    if (text == "margin") return AccountType::margin;
    if (text == "pdt") return AccountType::pdt;
    return std::nullopt;
}

std::string to_string(AccountType type) {
    switch (type) {
        case AccountType::cash:
            return "cash";
        case AccountType::margin:
            return "margin";
        case AccountType::pdt:
            return "pdt";
    }
    return "margin";
}

std::optional<ClockState> parse_clock_state(const std::string& text) {
    if (text == "premarket") return ClockState::premarket;
    if (text == "open") return ClockState::open;
    if (text == "postmarket") return ClockState::postmarket;
    if (text == "closed") return ClockState::closed;
    return std::nullopt;
}

}  // namespace ostrel::sim
