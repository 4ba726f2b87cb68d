// The path every broker request takes: match the book, check the token, count it against its
// group's limit, apply an injected fault, route it, and write the answer as JSON or XML.
#include <algorithm>
#include <cctype>
#include <chrono>

#include "sim/json_text.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"

namespace ostrel::sim {

namespace {

constexpr std::size_t kMaxRecords = 100000;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < path.size()) {
        if (path[pos] == '/') {
            ++pos;
            continue;
        }
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        out.push_back(path.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

bool authorised(const SimState& state, const SimRequest& request) {
    const std::string auth = request.header("authorization");
    const std::string prefix = "Bearer ";
    if (!auth.starts_with(prefix) || auth.size() == prefix.size()) return false;
    return state.config.token.empty() || auth.substr(prefix.size()) == state.config.token;
}

bool wants_json(const SimRequest& request) {
    return lower(request.header("accept")).find("application/json") != std::string::npos;
}

SimResponse fault_response(SimState& state, const Router& router, const SimRequest& request,
                           const Fault& fault) {
    switch (fault.kind) {
        case FaultKind::status: {
            SimResponse r = SimResponse::text(
                fault.status != 0 ? fault.status : 500,
                !fault.body.empty()
                    ? fault.body
                    : R"({"fault":{"faultstring":"Datastore Error","detail":{"errorcode":"messaging.adaptors.http.flow.ServiceUnavailable"}}})",
                "application/json");
            return r;
        }
        case FaultKind::rate_limited:
            return SimResponse::text(fault.status != 0 ? fault.status : 429,
                                     !fault.body.empty() ? fault.body : state.config.limit_body,
                                     "application/json");
        case FaultKind::unauthorized:
            return SimResponse::text(fault.status != 0 ? fault.status : 401,
                                     !fault.body.empty() ? fault.body : "Invalid Access Token");
        case FaultKind::errors_200:
            return SimResponse::json(
                fault.status != 0 ? fault.status : 200,
                errors_body(
                    {!fault.body.empty() ? fault.body : "Backoffice rejected the request."}));
        case FaultKind::drop: {
            SimResponse r;
            r.drop = true;
            return r;
        }
        case FaultKind::slow: {
            SimResponse r = router.dispatch(state, request);
            r.delay_ms = std::max(0, fault.delay_ms);
            return r;
        }
        case FaultKind::truncated: {
            SimResponse r = router.dispatch(state, request);
            r.truncate = true;
            return r;
        }
        case FaultKind::malformed: {
            SimResponse r = router.dispatch(state, request);
            if (r.doc) {
                r.body = render(*r.doc);
                r.doc.reset();
            }
            r.status = fault.status != 0 ? fault.status : 200;
            r.body = !fault.body.empty() ? fault.body : r.body.substr(0, r.body.size() / 2) + "<";
            r.content_type = "application/json";
            return r;
        }
    }
    return router.dispatch(state, request);
}

}  // namespace

std::string SimRequest::header(const std::string& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? std::string() : it->second;
}

SimResponse SimResponse::json(int status, nlohmann::json doc) {
    SimResponse r;
    r.status = status;
    r.doc = std::move(doc);
    return r;
}

SimResponse SimResponse::text(int status, std::string body, std::string content_type) {
    SimResponse r;
    r.status = status;
    r.body = std::move(body);
    r.content_type = std::move(content_type);
    return r;
}

void Router::add(const std::string& method, const std::string& pattern, RouteHandler handler) {
    routes_.push_back(Route{method, split_path(pattern), std::move(handler)});
}

SimResponse Router::dispatch(SimState& state, const SimRequest& request) const {
    const std::vector<std::string> segments = split_path(request.path);
    bool path_known = false;
    for (const Route& route : routes_) {
        if (route.segments.size() != segments.size()) continue;
        std::vector<std::string> params;
        bool match = true;
        for (std::size_t i = 0; i < segments.size() && match; ++i) {
            if (route.segments[i] == "{}") {
                params.push_back(percent_decode(segments[i], false));
            } else {
                match = route.segments[i] == segments[i];
            }
        }
        if (!match) continue;
        path_known = true;
        if (route.method == request.method) return route.handler(state, request, params);
    }
    if (path_known) return SimResponse::text(405, "Method Not Allowed");
    return SimResponse::text(404, "Not Found");
}

void write_document(SimResponse& response, bool as_json) {
    if (!response.doc) return;
    if (as_json) {
        response.body = render(*response.doc);
        response.content_type = "application/json";
    } else {
        response.body = render_xml(*response.doc);
        response.content_type = "application/xml";
    }
    response.doc.reset();
}

SimResponse handle_broker_request(SimState& state, const Router& router,
                                  const SimRequest& request) {
    std::lock_guard lock(state.mutex);
    if (state.config.auto_match) state.match_now();

    RequestRecord record;
    record.method = request.method;
    record.target = request.target;
    record.path = request.path;
    record.body = request.body;
    record.authorization = request.header("authorization");
    record.accept = request.header("accept");
    record.content_type = request.header("content-type");

    const std::string relative =
        request.path.starts_with("/v1") ? request.path.substr(3) : request.path;
    SimResponse response;
    bool counted = false;
    RateLimiter::Outcome limit;
    const bool is_form_method = request.method == "POST" || request.method == "PUT";
    if (!authorised(state, request)) {
        response = SimResponse::text(401, "Invalid Access Token");
    } else {
        // Limits run on real time even while the market clock is frozen.
        const auto wall = state.config.limit_clock_ms
                              ? state.config.limit_clock_ms()
                              : std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
        limit = state.limiter.count(classify_request(request.method, relative), wall);
        counted = true;
        if (!limit.allowed) {
            response = SimResponse::text(state.config.limit_status, state.config.limit_body,
                                         "application/json");
        } else if (auto fault = state.take_fault(relative)) {
            response = fault_response(state, router, request, *fault);
        } else if (is_form_method && !request.body.empty() &&
                   lower(request.header("content-type"))
                           .find("application/x-www-form-urlencoded") == std::string::npos) {
            response = SimResponse::json(
                400, errors_body({"Request body must be application/x-www-form-urlencoded"}));
        } else {
            response = router.dispatch(state, request);
        }
    }
    if (counted) {
        response.headers.emplace_back("X-Ratelimit-Allowed",
                                      std::to_string(limit.allowed_per_minute));
        response.headers.emplace_back("X-Ratelimit-Used", std::to_string(limit.used));
        response.headers.emplace_back("X-Ratelimit-Available", std::to_string(limit.available));
        response.headers.emplace_back("X-Ratelimit-Expiry", std::to_string(limit.expiry_ms));
    }
    write_document(response, wants_json(request));
    record.status = response.drop ? 0 : response.status;
    // A long-running simulator keeps the most recent requests only.
    if (state.records.size() >= kMaxRecords) {
        state.records.erase(state.records.begin(),
                            state.records.begin() + static_cast<std::ptrdiff_t>(kMaxRecords / 2));
    }
    record.seq = ++state.records_received;
    record.at_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    state.records.push_back(std::move(record));
    return response;
}

}  // namespace ostrel::sim
