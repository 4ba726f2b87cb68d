// Stream sessions, feed faults and the record of what connected clients subscribed to.
#include "sim/stream_hub.hpp"

#include <cstdio>

#include "sim/simulator.hpp"
#include "sim/universe.hpp"

namespace ostrel::sim {

namespace {

/// Sessions nobody used are forgotten after a day, so the table cannot grow without end.
constexpr std::chrono::hours kForgetAfter{24};

std::string uuid_text(std::uint64_t a, std::uint64_t b) {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xffff),
                  static_cast<unsigned>(0x4000 | (a & 0x0fff)),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3fff)),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

}  // namespace

std::string StreamHub::create_session() {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        it = now - it->second.created > kForgetAfter ? sessions_.erase(it) : std::next(it);
    }
    const auto salt = static_cast<std::uint64_t>(now.time_since_epoch().count());
    std::string id;
    do {
        ++session_counter_;
        id = uuid_text(mix64(salt ^ session_counter_), mix64(session_counter_ * 0x9e37u + salt));
    } while (sessions_.contains(id));
    sessions_[id] = Session{now, false, false};
    ++sessions_created_;
    return id;
}

SessionCheck StreamHub::use_session(const std::string& id) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return SessionCheck::unknown;
    Session& s = it->second;
    if (!s.used && (s.aged || now - s.created > kSessionLifetime)) return SessionCheck::expired;
    s.used = true;
    return SessionCheck::ok;
}

void StreamHub::expire_unused_sessions() {
    std::lock_guard lock(mutex_);
    for (auto& [id, s] : sessions_) {
        if (!s.used) s.aged = true;
    }
}

int StreamHub::sessions_created() const {
    std::lock_guard lock(mutex_);
    return sessions_created_;
}

void StreamHub::set_session_url(std::string url) {
    std::lock_guard lock(mutex_);
    session_url_ = std::move(url);
}

std::string StreamHub::session_url() const {
    std::lock_guard lock(mutex_);
    if (!session_url_.empty()) return session_url_;
    return "http://127.0.0.1:" + std::to_string(port_) + "/v1/markets/events";
}

void StreamHub::set_port(std::uint16_t port) {
    std::lock_guard lock(mutex_);
    port_ = port;
}

void StreamHub::set_session_id_key(std::string key) {
    std::lock_guard lock(mutex_);
    session_id_key_ = std::move(key);
}

std::string StreamHub::session_id_key() const {
    std::lock_guard lock(mutex_);
    return session_id_key_;
}

void StreamHub::set_tick_interval(std::chrono::milliseconds interval) {
    std::lock_guard lock(mutex_);
    tick_interval_ = interval.count() > 0 ? interval : std::chrono::milliseconds(1);
}

std::chrono::milliseconds StreamHub::tick_interval() const {
    std::lock_guard lock(mutex_);
    return tick_interval_;
}

void StreamHub::set_long_prices(bool on) {
    std::lock_guard lock(mutex_);
    long_prices_ = on;
}

bool StreamHub::long_prices() const {
    std::lock_guard lock(mutex_);
    return long_prices_;
}

void StreamHub::inject(StreamFault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

std::optional<StreamFault> StreamHub::take_fault() {
    std::lock_guard lock(mutex_);
    if (faults_.empty()) return std::nullopt;
    StreamFault fault = std::move(faults_.front());
    faults_.pop_front();
    return fault;
}

void StreamHub::clear_faults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

int StreamHub::connections_accepted() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::vector<StreamSubscriptionView> StreamHub::subscriptions() const {
    std::lock_guard lock(mutex_);
    return views_;
}

std::vector<std::string> StreamHub::received_messages() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int StreamHub::register_connection() {
    std::lock_guard lock(mutex_);
    StreamSubscriptionView view;
    view.connection = ++connections_;
    views_.push_back(view);
    return view.connection;
}

void StreamHub::note_message(const std::string& text) {
    std::lock_guard lock(mutex_);
    received_.push_back(text);
}

void StreamHub::update_connection(const StreamSubscriptionView& view) {
    std::lock_guard lock(mutex_);
    if (view.connection >= 1 && static_cast<std::size_t>(view.connection) <= views_.size())
        views_[static_cast<std::size_t>(view.connection) - 1] = view;
}

void StreamHub::close_connection(int connection) {
    std::lock_guard lock(mutex_);
    if (connection >= 1 && static_cast<std::size_t>(connection) <= views_.size())
        views_[static_cast<std::size_t>(connection) - 1].open = false;
}

std::string stream_url(const Simulator& simulator) {
    return "ws://127.0.0.1:" + std::to_string(simulator.port()) + "/v1/markets/events";
}

}  // namespace ostrel::sim
