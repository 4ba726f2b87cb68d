// Readers of the account answers: balances, positions, orders, placements and the profile.
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <utility>

#include "broker/broker_json.hpp"
#include "broker/tradier_parse.hpp"

namespace ostrel {

using nlohmann::json;

namespace {

/// Nearest whole number, halves away from zero, kept inside 32 bits.
std::int32_t whole_shares(double value) {
    const double r = std::round(value);
    if (!(r > std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (!(r < std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::string text_if_string(const json& object, const char* key) {
    const auto it = object.find(key);
    return (it != object.end() && it->is_string()) ? it->get<std::string>() : std::string();
}

BrokerOrder read_order(const json& o) {
    BrokerOrder order;
    order.id = json_id(o);
    order.symbol = text_if_string(o, "symbol");
    order.side = side_from_text(text_if_string(o, "side"));
    order.raw_status = text_if_string(o, "status");
    order.status = status_from_text(order.raw_status);
    order.type = type_from_text(json_text(o, "type"));
    order.duration = duration_from_text(json_text(o, "duration"));
    order.quantity = whole_shares(json_number(o, {"quantity"}));
    order.avg_fill_price = json_number(o, {"avg_fill_price"});
    order.exec_quantity = json_number(o, {"exec_quantity"});
    order.remaining_quantity = json_number(o, {"remaining_quantity"});
    order.last_fill_price = json_number(o, {"last_fill_price"});
    order.stop_price = json_number(o, {"stop_price", "stop"});
    order.price = json_number(o, {"price", "avg_price"});
    order.order_class = class_from_text(text_if_string(o, "class"));
    order.tag = text_if_string(o, "tag");
    return order;
}

const json* object_member(const json& root, const char* key) {
    if (!root.is_object()) return nullptr;
    const auto it = root.find(key);
    return (it != root.end() && it->is_object()) ? &*it : nullptr;
}

}  // namespace

std::expected<AccountSnapshot, std::string> parse_balances(std::string_view body) {
    AccountSnapshot snap;
    try {
        const json root = parse_or_empty_object(body);
        const json* src = &root;
        if (root.is_object() && root.contains("balances")) src = &root["balances"];
        snap.equity = json_number(*src, {"total_equity", "equity"});
        snap.cash = json_number(*src, {"total_cash", "cash"});
        snap.buying_power =
            json_number(*src, {"stock_buying_power", "margin_buying_power", "option_buying_power"});
        const bool top_level_has_bp = src->is_object() && (src->contains("stock_buying_power") ||
                                                           src->contains("margin_buying_power") ||
                                                           src->contains("option_buying_power"));
        if (!top_level_has_bp) {
            // The broker keeps buying power in the sub-object of the account type.
            if (const json* margin = object_member(*src, "margin")) {
                snap.buying_power = json_number(
                    *margin, {"stock_buying_power", "margin_buying_power", "option_buying_power"});
            } else if (const json* pdt = object_member(*src, "pdt")) {
                snap.buying_power = json_number(
                    *pdt, {"stock_buying_power", "margin_buying_power", "option_buying_power"});
            } else if (const json* cash = object_member(*src, "cash")) {
                snap.buying_power = json_number(*cash, {"stock_buying_power", "margin_buying_power",
                                                        "option_buying_power", "cash_available"});
            }
        }
        if (snap.buying_power <= 0.0) snap.buying_power = snap.cash;
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    return snap;
}

std::expected<std::vector<BrokerPosition>, std::string> parse_positions(std::string_view body) {
    std::vector<BrokerPosition> out;
    try {
        const json root = parse_broker_json(body);
        if (!root.is_object()) return out;
        const auto positions = root.find("positions");
        // No holdings: the broker sends the string "null" (JSON null has been seen too).
        if (positions == root.end() || positions->is_null() || positions->is_string()) return out;
        const json* list = &*positions;
        if (positions->is_object() && positions->contains("position"))
            list = &(*positions)["position"];
        std::vector<const json*> items;
        if (list->is_object()) {
            items.push_back(list);
        } else if (list->is_array()) {
            for (const auto& item : *list)
                items.push_back(&item);
        }
        for (const json* item : items) {
            if (!item->is_object()) continue;
            BrokerPosition p;
            p.symbol = json_text(*item, "symbol");
            p.quantity = whole_shares(json_number(*item, {"quantity"}));
            p.cost_basis = json_number(*item, {"cost_basis"});
            p.average_price =
                p.quantity == 0 ? 0.0 : p.cost_basis / std::fabs(static_cast<double>(p.quantity));
            if (!p.symbol.empty()) out.push_back(std::move(p));
        }
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    return out;
}

std::expected<std::vector<BrokerOrder>, std::string> parse_orders(std::string_view body) {
    std::vector<BrokerOrder> out;
    json root;
    try {
        root = parse_broker_json(body);
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    try {
        // Depth first with an explicit stack; each node carries the id of the order it sits in,
        // so a leg knows its parent.
        std::vector<std::pair<const json*, std::string>> stack{{&root, std::string()}};
        while (!stack.empty()) {
            const auto [node, parent] = stack.back();
            stack.pop_back();
            if (node->is_array()) {
                for (auto it = node->crbegin(); it != node->crend(); ++it)
                    stack.emplace_back(&*it, parent);
            } else if (node->is_object()) {
                std::string own_id = parent;
                if (node->contains("id") || node->contains("status") || node->contains("type")) {
                    BrokerOrder order = read_order(*node);
                    // A fragment with no id, no status and no order type we know says
                    // nothing about an order: it is not one.
                    if (!order.id.empty() || !order.raw_status.empty() ||
                        order.type != OrderType::other) {
                        order.parent_id = parent;
                        own_id = order.id;
                        out.push_back(std::move(order));
                    }
                }
                static constexpr const char* kChildren[] = {"order", "orders", "leg", "legs"};
                for (int i = 3; i >= 0; --i) {
                    const auto child = node->find(kChildren[i]);
                    // Only legs belong to the order they sit in; "order" wraps a list.
                    if (child != node->end()) stack.emplace_back(&*child, i >= 2 ? own_id : parent);
                }
            }
        }
    } catch (const std::exception&) {
        // A member of the wrong type ends the list with the orders read before it.
    }
    return out;
}

std::expected<BrokerOrder, std::string> parse_order_status(std::string_view body,
                                                           const std::string& order_id) {
    BrokerOrder order;
    try {
        const json root = parse_broker_json(body);
        if (const json* inner = object_member(root, "order")) {
            order = read_order(*inner);
        } else if (root.is_object() && root.contains("status")) {
            order = read_order(root);
        }
    } catch (const std::exception&) {
        order = BrokerOrder{};
    }
    if (!order.id.empty()) return order;
    if (!order.raw_status.empty()) {
        order.id = order_id;
        return order;
    }
    return std::unexpected("Could not parse order " + order_id);
}

std::string parse_place_response(std::string_view body) {
    try {
        const json root = parse_broker_json(body);
        if (const json* inner = object_member(root, "order")) return json_id(*inner);
        return json_id(root);
    } catch (const std::exception&) {
        return {};
    }
}

std::string parse_account_number(std::string_view body, const char* root_key) {
    try {
        const json root = parse_broker_json(body);
        const json* top = object_member(root, root_key);
        if (top == nullptr || !top->contains("account")) return {};
        const json& entry = (*top)["account"];
        const json* account = nullptr;
        if (entry.is_array()) {
            if (entry.empty()) return {};
            account = &entry.front();
        } else if (entry.is_object()) {
            account = &entry;
        } else {
            return {};
        }
        if (account->is_object() && account->contains("account_number"))
            return json_text(*account, "account_number");
        if (account->is_object() && account->contains("account_id"))
            return json_text(*account, "account_id");
        return {};
    } catch (const std::exception&) {
        return {};
    }
}

std::string parse_errors_member(std::string_view body) {
    try {
        const json root = parse_broker_json(body);
        if (!root.is_object()) return {};
        const auto errors = root.find("errors");
        if (errors == root.end() || errors->is_null()) return {};
        const json* error = &*errors;
        if (errors->is_object() && errors->contains("error")) error = &(*errors)["error"];
        std::string text;
        const auto add = [&](const json& item) {
            if (!text.empty()) text += "; ";
            text += item.is_string() ? item.get<std::string>() : item.dump();
        };
        if (error->is_array()) {
            for (const auto& item : *error)
                add(item);
        } else {
            add(*error);
        }
        return text.empty() ? std::string("unspecified error") : text;
    } catch (const json::exception&) {
        return {};
    } catch (const std::exception& e) {
        // Refused unread: an answer nobody can read is not an acceptance.
        return e.what();
    }
}

}  // namespace ostrel
