// The quote stream's pure pieces: session answer, subscribe message, received lines.
#include "broker/stream_message.hpp"

#include <nlohmann/json.hpp>

#include <exception>

#include "broker/broker_json.hpp"
#include "broker/tradier_parse.hpp"

namespace ostrel {

using nlohmann::json;

namespace {

/// A failure that is dropped without a log line.
bool silent(const std::string& failure) {
    return failure == "no symbol" || failure == "empty" || failure == "no type";
}

/// Sets `field` from the first key that gives a number above 0; otherwise leaves it.
bool take_positive(const json& msg, std::initializer_list<const char*> keys, double& field) {
    const double value = json_number(msg, keys);
    if (value > 0.0) {
        field = value;
        return true;
    }
    return false;
}

void apply_by_type(const json& msg, const std::string& type, Quote& q, std::int64_t now_ms) {
    if (type == "quote") {
        take_positive(msg, {"bid"}, q.bid);
        take_positive(msg, {"ask"}, q.ask);
        const bool has_last = take_positive(msg, {"last"}, q.last);
        if (!has_last && q.last <= 0.0 && q.bid > 0.0 && q.ask > 0.0)
            q.last = (q.bid + q.ask) * 0.5;
    } else if (type == "trade" || type == "tradex" || type == "timesale") {
        take_positive(msg, {"last", "price"}, q.last);
        take_positive(msg, {"bid"}, q.bid);
        take_positive(msg, {"ask"}, q.ask);
        take_positive(msg, {"cvol", "volume"}, q.volume);
    } else if (type == "summary") {
        if (q.last <= 0.0) take_positive(msg, {"prevClose", "prevclose", "close"}, q.last);
    }
    q.updated_ms = now_ms;
}

/// One message object; returns "" when it was applied, otherwise the failure text.
std::string handle_object(const json& msg, const QuoteWriter& write, std::int64_t now_ms) {
    if (!msg.is_object()) return "not an object";
    if (const auto err = msg.find("error"); err != msg.end())
        return err->is_string() ? err->get<std::string>() : msg.dump();
    const std::string symbol = json_text(msg, "symbol");
    if (symbol.empty()) return "no symbol";
    const std::string type = json_text(msg, "type");
    if (type.empty()) return "no type";
    // One captured reference keeps the callback inside std::function's own storage.
    const struct {
        const json& msg;
        const std::string& type;
        std::int64_t now_ms;
    } apply{msg, type, now_ms};
    write(symbol, [&apply](Quote& q) { apply_by_type(apply.msg, apply.type, q, apply.now_ms); });
    return {};
}

void note(std::vector<std::string>& failures, std::string failure) {
    if (!failure.empty() && !silent(failure)) failures.push_back(std::move(failure));
}

void handle_line(std::string_view line, const QuoteWriter& write, std::int64_t now_ms,
                 std::vector<std::string>& failures) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' ||
                             line.back() == '\t'))
        line.remove_suffix(1);
    if (line.empty()) return note(failures, "empty");
    try {
        const json doc = parse_broker_json(line);
        if (doc.is_array()) {
            for (const json& element : doc) {
                // One bad element must not cost the others their update.
                try {
                    note(failures, handle_object(element, write, now_ms));
                } catch (const std::exception& e) {
                    note(failures, e.what());
                }
            }
        } else {
            note(failures, handle_object(doc, write, now_ms));
        }
    } catch (const std::exception& e) {
        note(failures, e.what());
    }
}

}  // namespace

std::expected<StreamSession, std::string> parse_stream_session(std::string_view body,
                                                               const std::string& fallback_url) {
    StreamSession session;
    try {
        const json root = parse_broker_json(body);
        const json& s = root.is_object() && root.contains("stream") ? root["stream"] : root;
        const bool has_lower = s.is_object() && s.contains("sessionid");
        session.sessionid = json_text(s, has_lower ? "sessionid" : "sessionId");
        session.url = json_text(s, "url");
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    if (session.sessionid.empty())
        return std::unexpected(std::string("No sessionid in stream session"));
    if (!session.url.starts_with("wss://")) session.url = fallback_url;
    return session;
}

std::string build_subscribe_message(const std::string& sessionid,
                                    const std::vector<std::string>& symbols) {
    // The library keeps object keys sorted, which gives the alphabetical order the broker sees.
    json msg = json::object();
    msg["filter"] = json::array({"quote", "trade", "summary", "tradex"});
    msg["linebreak"] = true;
    msg["sessionid"] = sessionid;
    msg["symbols"] = symbols.empty() ? json::array({"SPY"}) : json(symbols);
    // A ticker that is not valid UTF-8 is replaced rather than thrown out with the message.
    return msg.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<std::string> handle_stream_text(std::string_view text, const QuoteWriter& write,
                                            std::int64_t now_ms) {
    std::vector<std::string> failures;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        // Empty lines (and the gap inside a CR LF pair) are skipped.
        if (stop > start) handle_line(text.substr(start, stop - start), write, now_ms, failures);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return failures;
}

}  // namespace ostrel
