// The stream session route and the /_sim/stream controls of the simulator.
#include <nlohmann/json.hpp>

#include "sim/sim_state.hpp"
#include "sim/stream_endpoint.hpp"
#include "sim/stream_hub.hpp"

namespace ostrel::sim {

namespace {

using nlohmann::json;
using Params = std::vector<std::string>;

std::optional<StreamFaultKind> parse_fault_kind(const std::string& text) {
    if (text == "close") return StreamFaultKind::close_frame;
    if (text == "drop") return StreamFaultKind::drop;
    if (text == "stall") return StreamFaultKind::stall;
    if (text == "error") return StreamFaultKind::error_frame;
    if (text == "malformed") return StreamFaultKind::malformed;
    return std::nullopt;
}

json view_json(const StreamSubscriptionView& v) {
    return {{"connection", v.connection},
            {"sessionid", v.sessionid},
            {"symbols", v.symbols},
            {"filter", v.filter},
            {"linebreak", v.linebreak},
            {"subscribes", v.subscribes},
            {"open", v.open}};
}

SimResponse bad_request(const std::string& text) {
    return SimResponse::json(400, {{"error", text}});
}

}  // namespace

void add_stream_routes(Router& router, StreamHub& hub) {
    // Like the broker: the answer names its HTTP streaming URL, which is not a wss:// one.
    router.add("POST", "/v1/markets/events/session",
               [&hub](SimState&, const SimRequest&, const Params&) {
                   const json stream = {{"url", hub.session_url()},
                                        {hub.session_id_key(), hub.create_session()}};
                   return SimResponse::json(200, {{"stream", stream}});
               });

    router.add("GET", "/_sim/stream", [&hub](SimState&, const SimRequest&, const Params&) {
        json views = json::array();
        for (const StreamSubscriptionView& v : hub.subscriptions())
            views.push_back(view_json(v));
        return SimResponse::json(200, {{"sessions_created", hub.sessions_created()},
                                       {"connections", hub.connections_accepted()},
                                       {"subscriptions", views}});
    });

    // Body: {"kind":"close"|"drop"|"stall"|"error"|"malformed","stall_ms":N,"text":"..."}.
    router.add(
        "POST", "/_sim/stream/fault", [&hub](SimState&, const SimRequest& request, const Params&) {
            StreamFault fault;
            try {
                const json body = request.body.empty() ? json::object() : json::parse(request.body);
                if (!body.is_object()) return bad_request("body must be a JSON object");
                const auto kind = parse_fault_kind(body.value("kind", std::string()));
                if (!kind)
                    return bad_request("kind must be close, drop, stall, error or malformed");
                fault.kind = *kind;
                fault.stall_ms = body.value("stall_ms", 0);
                fault.text = body.value("text", std::string());
            } catch (const json::exception& e) {
                return bad_request(e.what());
            }
            hub.inject(fault);
            return SimResponse::json(200, {{"ok", true}});
        });

    router.add("POST", "/_sim/stream/expire_sessions",
               [&hub](SimState&, const SimRequest&, const Params&) {
                   hub.expire_unused_sessions();
                   return SimResponse::json(200, {{"ok", true}});
               });
}

}  // namespace ostrel::sim
