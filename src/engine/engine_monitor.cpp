// The Monitor list: normalising typed tickers, add, remove and rebuilding the states map.
#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "engine/engine.hpp"
#include "log/activity_log.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

std::string normalise_ticker(const std::string& text) {
    const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && space(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && space(static_cast<unsigned char>(text[end - 1])))
        --end;
    std::string out = text.substr(begin, end - begin);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool is_plausible_ticker(const std::string& t) {
    if (t.empty() || t.size() > kMaxTickerLength || !(t[0] >= 'A' && t[0] <= 'Z')) return false;
    return std::all_of(t.begin(), t.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '/';
    });
}

namespace {

// A refused entry as the message shows it: short, and nothing that could act on a terminal.
std::string shown_entry(const std::string& t) {
    std::string out;
    for (const char c : t.substr(0, 16)) {
        out.push_back(c >= 0x20 && c < 0x7f ? c : '?');
    }
    if (t.size() > 16) out += "...";
    return out;
}

}  // namespace

bool Engine::add_ticker(const std::string& text) {
    const std::string t = normalise_ticker(text);
    std::vector<std::string> list;
    {
        std::lock_guard lock(mutex_);
        if (t.empty()) {
            watchlist_message_ = "Type a ticker, then Add.";
            return false;
        }
        if (!is_plausible_ticker(t)) {
            watchlist_message_ = shown_entry(t) + " is not a ticker — use up to " +
                                 std::to_string(kMaxTickerLength) +
                                 " letters, digits, dots or dashes, starting with a letter.";
            return false;
        }
        list = settings_.watchlist;
        if (std::find(list.begin(), list.end(), t) != list.end()) {
            watchlist_message_ = t + " is already on Monitor.";
            return true;
        }
        list.push_back(t);
        watchlist_message_ = "Added " + t + " to Monitor.";
    }
    rebuild_watchlist(list);

    // A row shows a price at once when the stream already knows the ticker.
    const double mark = mark_price(client_.cached_quote(t));
    if (mark > 0.0) {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(t);
        if (it != states_.end() && !(it->second.last_price > 0.0)) it->second.last_price = mark;
    }
    return true;
}

void Engine::remove_ticker(const std::string& ticker) {
    const std::string t = normalise_ticker(ticker);
    std::vector<std::string> list;
    {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(t);
        if (it != states_.end() && (it->second.qty > 0 || it->second.order_in_flight ||
                                    !it->second.pending_order_id.empty())) {
            watchlist_message_ = t + " stays on Monitor — open lot or order in flight.";
            log_info(t, "Keep on watchlist — open position or order in flight");
            return;
        }
        for (const std::string& entry : settings_.watchlist) {
            if (entry != t) list.push_back(entry);
        }
        watchlist_message_ = "Removed " + t + " from Monitor.";
    }
    rebuild_watchlist(list);
}

void Engine::rebuild_watchlist(const std::vector<std::string>& raw) {
    std::vector<std::string> list;
    std::unordered_set<std::string> seen;
    for (const std::string& entry : raw) {
        std::string t = normalise_ticker(entry);
        if (t.empty()) continue;
        if (!is_plausible_ticker(t)) {
            log_error("CONFIG", "Left " + shown_entry(t) + " off the Monitor list: not a ticker");
            continue;
        }
        if (seen.insert(t).second) list.push_back(std::move(t));
    }

    std::vector<std::string> missing;
    {
        std::lock_guard lock(mutex_);
        for (const std::string& t : list) {
            if (!states_.contains(t)) missing.push_back(t);
        }
    }
    std::unordered_map<std::string, SymbolState> loaded;
    for (const std::string& t : missing) {
        SymbolState state = store_.load(t);
        state.symbol = t;
        loaded[t] = std::move(state);
    }
    {
        std::lock_guard lock(mutex_);
        std::unordered_map<std::string, SymbolState> next;
        for (const std::string& t : list) {
            SymbolState state;
            if (const auto it = states_.find(t); it != states_.end()) {
                state = std::move(it->second);
            } else if (const auto l = loaded.find(t); l != loaded.end()) {
                state = std::move(l->second);
            }
            state.symbol = t;
            next[t] = std::move(state);
        }
        states_ = std::move(next);
        settings_.watchlist = list;
    }
    wake_ = true;
    if (connected_) client_.set_stream_tickers(list);
    save_settings();
}

}  // namespace ostrel
