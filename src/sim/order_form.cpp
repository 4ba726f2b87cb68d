// Reading order forms: the fields of an equity order or of both OCO legs, their problems in the
// broker's words, booking a valid order as pending, and change forms for working orders.
#include "sim/order_book.hpp"

#include <algorithm>
#include <set>

#include "sim/sim_clock.hpp"

namespace ostrel::sim {

namespace {

const std::set<std::string> kSides = {"buy", "buy_to_cover", "sell", "sell_short"};
const std::set<std::string> kTypes = {"market", "limit", "stop", "stop_limit"};
const std::set<std::string> kDurations = {"day", "gtc", "pre", "post"};

/// The fields of one equity order (or OCO leg) read from a form, with their problems.
struct Draft {
    std::string symbol, side, type, duration, tag;
    int quantity = 0;
    double price = 0.0;
    double stop = 0.0;
};

Draft read_draft(const FormFields& form, const std::string& suffix, const std::string& duration,
                 const std::function<bool(const std::string&)>& known, FormErrors& errors) {
    Draft d;
    d.duration = duration;
    const auto symbol = form.get("symbol" + suffix);
    if (!symbol || symbol->empty()) {
        errors.push_back("Missing parameter: symbol" + suffix);
    } else if (!known(*symbol)) {
        errors.push_back("Invalid parameter, " + *symbol + ": symbol not found.");
    } else {
        d.symbol = *symbol;
    }
    d.side = form.get_or("side" + suffix, "");
    if (!kSides.contains(d.side)) errors.push_back("Invalid side" + suffix + ": '" + d.side + "'");
    const auto qty = parse_quantity(form.get_or("quantity" + suffix, ""));
    if (!qty) {
        errors.push_back("Invalid quantity" + suffix + ": '" +
                         form.get_or("quantity" + suffix, "") + "'");
    } else {
        d.quantity = *qty;
    }
    d.type = form.get_or("type" + suffix, "");
    if (!kTypes.contains(d.type)) errors.push_back("Invalid type" + suffix + ": '" + d.type + "'");
    const bool wants_price = d.type == "limit" || d.type == "stop_limit";
    const bool wants_stop = d.type == "stop" || d.type == "stop_limit";
    if (wants_price) {
        const auto price = parse_number(form.get_or("price" + suffix, ""));
        if (!price || *price <= 0) {
            errors.push_back("A price is required for " + d.type + " orders");
        } else {
            d.price = *price;
        }
    }
    if (wants_stop) {
        const auto stop = parse_number(form.get_or("stop" + suffix, ""));
        if (!stop || *stop <= 0) {
            errors.push_back("A stop price is required for " + d.type + " orders");
        } else {
            d.stop = *stop;
        }
    }
    return d;
}

/// Checks the whole form; fills the drafts (one for equity, two for an OCO).
FormErrors check_form(const FormFields& form, const std::function<bool(const std::string&)>& known,
                      std::vector<Draft>& drafts, std::string& order_class) {
    FormErrors errors;
    order_class = form.get_or("class", "");
    const std::string duration = form.get_or("duration", "");
    if (!kDurations.contains(duration)) errors.push_back("Invalid duration: '" + duration + "'");
    if (order_class == "equity") {
        drafts.push_back(read_draft(form, "", duration, known, errors));
    } else if (order_class == "oco") {
        drafts.push_back(read_draft(form, "[0]", duration, known, errors));
        drafts.push_back(read_draft(form, "[1]", duration, known, errors));
        if (errors.empty()) {
            if (drafts[0].type == drafts[1].type) {
                errors.push_back("OCO legs must have different order types");
            }
            if (drafts[0].symbol != drafts[1].symbol) {
                errors.push_back("OCO legs must have the same symbol");
            }
        }
    } else {
        errors.push_back("Invalid parameter, class: '" + order_class + "'");
    }
    if (errors.empty()) {
        for (Draft& d : drafts)
            d.tag = form.get_or("tag", "");
    }
    return errors;
}

DayNumber session_day_for(std::int64_t now_ms) {
    const EasternTime e = to_eastern(now_ms / 1000);
    if (is_trading_day(e.date) && e.seconds < kCloseSeconds) return e.date;
    return next_trading_day_on_or_after(e.date + 1);
}

}  // namespace

std::expected<void, FormErrors> OrderBook::validate(
    const FormFields& form, const std::function<bool(const std::string&)>& known_symbol) const {
    std::vector<Draft> drafts;
    std::string order_class;
    FormErrors errors = check_form(form, known_symbol, drafts, order_class);
    if (!errors.empty()) return std::unexpected(errors);
    return {};
}

std::expected<std::int64_t, FormErrors> OrderBook::place(
    const FormFields& form, std::int64_t now_ms,
    const std::function<bool(const std::string&)>& known_symbol) {
    std::vector<Draft> drafts;
    std::string order_class;
    FormErrors errors = check_form(form, known_symbol, drafts, order_class);
    if (!errors.empty()) return std::unexpected(errors);

    std::string reject;
    const bool of_refused_type =
        reject_types_.empty() || std::any_of(drafts.begin(), drafts.end(), [&](const Draft& d) {
            return std::find(reject_types_.begin(), reject_types_.end(), d.type) !=
                   reject_types_.end();
        });
    if (reject_count_ > 0 && of_refused_type) {
        --reject_count_;
        reject = reject_reason_;
    }
    auto make = [&](const Draft& d) {
        BookOrder o;
        o.id = next_id();
        o.symbol = d.symbol;
        o.side = d.side;
        o.type = d.type;
        o.duration = d.duration;
        o.quantity = d.quantity;
        o.price = d.price;
        o.stop = d.stop;
        o.tag = d.tag;
        o.create_ms = o.transaction_ms = now_ms;
        o.session_day = session_day_for(now_ms);
        o.reject_with = reject;
        return o;
    };
    if (order_class == "equity") {
        BookOrder o = make(drafts[0]);
        const std::int64_t id = o.id;
        orders_.emplace(id, std::move(o));
        return id;
    }
    BookOrder parent = make(drafts[0]);
    parent.order_class = "oco";
    for (const Draft& d : drafts) {
        BookOrder leg = make(d);
        leg.parent_id = parent.id;
        leg.reject_with.clear();
        parent.legs.push_back(leg.id);
        orders_.emplace(leg.id, std::move(leg));
    }
    const std::int64_t id = parent.id;
    orders_.emplace(id, std::move(parent));
    return id;
}

std::expected<void, std::string> OrderBook::change(std::int64_t id, const FormFields& form,
                                                   std::int64_t now_ms) {
    BookOrder* o = find_mut(id);
    if (o == nullptr) return std::unexpected("Order " + std::to_string(id) + " not found");
    if (is_final_status(o->status)) {
        return std::unexpected("Order " + std::to_string(id) +
                               " cannot be changed: order already in finalized state");
    }
    if (o->order_class == "oco") {
        return std::unexpected("Change the legs of OCO order " + std::to_string(id));
    }
    BookOrder next = *o;
    if (const auto type = form.get("type")) {
        if (!kTypes.contains(*type)) return std::unexpected("Invalid type: '" + *type + "'");
        if (*type != next.type) next.triggered = false;
        next.type = *type;
    }
    if (const auto duration = form.get("duration")) {
        if (!kDurations.contains(*duration)) {
            return std::unexpected("Invalid duration: '" + *duration + "'");
        }
        next.duration = *duration;
    }
    if (const auto price = form.get("price")) {
        const auto v = parse_number(*price);
        if (!v || *v <= 0) return std::unexpected("Invalid price: '" + *price + "'");
        next.price = *v;
    }
    if (const auto stop = form.get("stop")) {
        const auto v = parse_number(*stop);
        if (!v || *v <= 0) return std::unexpected("Invalid stop: '" + *stop + "'");
        next.stop = *v;
    }
    if ((next.type == "limit" || next.type == "stop_limit") && next.price <= 0) {
        return std::unexpected("A price is required for " + next.type + " orders");
    }
    if ((next.type == "stop" || next.type == "stop_limit") && next.stop <= 0) {
        return std::unexpected("A stop price is required for " + next.type + " orders");
    }
    next.transaction_ms = now_ms;
    *o = next;
    return {};
}

}  // namespace ostrel::sim
