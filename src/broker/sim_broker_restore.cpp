// Rebuilding the paper book at start: its fills replayed from paper_blotter.jsonl and the
// stops that rested when the program last ran.

#include "broker/sim_broker.hpp"

namespace ostrel {

namespace {

using nlohmann::json;

std::string string_member(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double number_member(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : 0.0;
}

// The number after the one-letter prefix of a paper id ("P12" → 12), or 0 when it is none.
int id_number(const std::string& id, char prefix) {
    if (id.size() < 2 || id.size() > 10 || id[0] != prefix) return 0;
    int n = 0;
    for (std::size_t i = 1; i < id.size(); ++i) {
        if (id[i] < '0' || id[i] > '9') return 0;
        n = n * 10 + (id[i] - '0');
    }
    return n;
}

}  // namespace

std::vector<PaperFill> parse_paper_blotter(std::string_view text, JournalProblems& problems) {
    std::vector<PaperFill> out;
    problems = for_each_journal_object(text, [&](const json& j, int) {
        PaperFill f;
        f.id = string_member(j, "id");
        f.symbol = string_member(j, "symbol");
        f.side = string_member(j, "side");
        f.reason = string_member(j, "reason");
        f.price = number_member(j, "price");
        f.pnl = number_member(j, "pnl");
        const double qty = number_member(j, "qty");
        if (const auto ts = j.find("ts_ms"); ts != j.end()) f.ts_ms = journal_ms(*ts);
        if (f.id.empty() || f.symbol.empty() || f.side.empty() || !(qty >= 1.0) || qty > 1e9 ||
            !(f.price > 0.0) || f.price > 1e12) {
            return false;
        }
        f.qty = static_cast<int>(qty);
        out.push_back(std::move(f));
        return true;
    });
    return out;
}

bool SimBroker::claim_id_locked(const std::string& id, char prefix) {
    const int n = id_number(id, prefix);
    if (n < 1) return false;
    if (n >= next_id_) next_id_ = n + 1;
    return true;
}

PaperRestore SimBroker::restore_from_blotter() {
    PaperRestore out;
    if (data_dir_.empty()) return out;  // a book without a folder has no journal
    const auto file = data_dir_ / "paper_blotter.jsonl";
    const auto text = read_journal_text(file);
    if (!text) {
        out.problem = text.error() + " — the paper book starts empty";
        return out;
    }
    if (!*text) return out;
    JournalProblems problems;
    const std::vector<PaperFill> fills = parse_paper_blotter(**text, problems);

    std::lock_guard lock(mutex_);
    fills_.clear();
    positions_.clear();
    average_costs_.clear();
    account_ = AccountSnapshot{};
    account_.cash = starting_cash_;
    realized_pnl_ = 0.0;
    int refused = 0;
    for (const PaperFill& f : fills) {
        double pnl = 0.0;
        // A line the book could not have made (a sell of shares it did not hold, after lost
        // lines) is left out rather than bent into a short position.
        if (book_fill_locked(f.symbol, side_from_text(f.side) == OrderSide::buy, f.qty, f.price,
                             pnl)) {
            ++refused;
            continue;
        }
        realized_pnl_ += side_from_text(f.side) == OrderSide::buy ? 0.0 : f.pnl;
        claim_id_locked(f.id, 'P');
        fills_.push_back(f);
        ++out.fills;
    }
    revalue_locked();

    if (problems.bad_lines > 0)
        out.problem = journal_problem_line(file.filename().string(), problems);
    if (refused > 0) {
        if (!out.problem.empty()) out.problem += "; ";
        out.problem += std::to_string(refused) + " fill" + (refused == 1 ? "" : "s") +
                       " of paper_blotter.jsonl could not be replayed (more sold than held, or "
                       "more bought than the cash allowed) and were left out of the paper book";
    }
    return out;
}

bool SimBroker::restore_stop(const PaperStop& stop) {
    std::lock_guard lock(mutex_);
    if (id_number(stop.id, 'S') < 1 || stops_.contains(stop.id)) return false;
    if (stop.quantity < 1 || !(stop.stop_price > 0.0)) return false;
    const auto held = positions_.find(stop.symbol);
    if (held == positions_.end() || held->second < stop.quantity) return false;
    claim_id_locked(stop.id, 'S');
    PaperStop plain = stop;
    plain.oco_target_id.clear();
    stops_[plain.id] = plain;
    return true;
}

bool SimBroker::restore_oco(const PaperTarget& target, double stop_price) {
    std::lock_guard lock(mutex_);
    if (id_number(target.id, 'O') < 1 || id_number(target.stop_id, 'S') < 1) return false;
    if (targets_.contains(target.id) || stops_.contains(target.stop_id)) return false;
    if (target.quantity < 1 || !(target.limit_price > 0.0) || !(stop_price > 0.0)) return false;
    const auto held = positions_.find(target.symbol);
    if (held == positions_.end() || held->second < target.quantity) return false;
    claim_id_locked(target.id, 'O');
    claim_id_locked(target.stop_id, 'S');
    targets_[target.id] = target;
    stops_[target.stop_id] =
        PaperStop{target.stop_id, target.symbol, target.quantity, stop_price, target.id};
    return true;
}

double SimBroker::realized_pnl() const {
    std::lock_guard lock(mutex_);
    return realized_pnl_;
}

}  // namespace ostrel
