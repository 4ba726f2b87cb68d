// Requests, answers and the route table of the simulator's HTTP interface (no Beast here).
#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/form.hpp"

namespace ostrel::sim {

struct SimState;

/// One received request; header names are lower case.
struct SimRequest {
    std::string method;
    std::string target;  ///< path and query as sent
    std::string path;    ///< without the query
    std::string query;
    std::string body;
    std::map<std::string, std::string> headers;
    FormFields query_fields;

    std::string header(const std::string& lower_name) const;
};

/// One answer. A route sets `doc` and the pipeline writes it as JSON or XML; otherwise `body`
/// is sent as it is.
struct SimResponse {
    int status = 200;
    std::optional<nlohmann::json> doc;
    std::string body;
    std::string content_type = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    int delay_ms = 0;       ///< wait before answering
    bool truncate = false;  ///< send half the body under the full Content-Length, then close
    bool drop = false;      ///< close without answering

    static SimResponse json(int status, nlohmann::json doc);
    static SimResponse text(int status, std::string body, std::string content_type = "text/plain");
};

/// A route's handler; `params` are the path segments matched by "{}" in its pattern.
using RouteHandler = std::function<SimResponse(SimState& state, const SimRequest& request,
                                               const std::vector<std::string>& params)>;

/// Method + pattern table; patterns are paths with "{}" for one segment, e.g.
/// "/v1/accounts/{}/orders/{}".
class Router {
  public:
    void add(const std::string& method, const std::string& pattern, RouteHandler handler);
    /// Runs the matching route; 404 for an unknown path, 405 for a known path and other method.
    SimResponse dispatch(SimState& state, const SimRequest& request) const;

  private:
    struct Route {
        std::string method;
        std::vector<std::string> segments;
        RouteHandler handler;
    };
    std::vector<Route> routes_;
};

/// True when `id` is one of the simulated account numbers.
bool own_account(const SimState& state, const std::string& id);
/// The answer to a request for someone else's account.
SimResponse no_account(const std::string& id);

// Route sets, one file each. Handlers run with the state's mutex held.
void add_market_routes(Router& router);
void add_account_routes(Router& router);
void add_order_routes(Router& router);
/// The /_sim/ control interface; these handlers take the mutex themselves.
void add_control_routes(Router& router);

/// Turns a response's document into its body, as JSON or as the broker's XML.
void write_document(SimResponse& response, bool as_json);

/// The whole pipeline for a /v1 request: auth, limits, faults, routing, Accept. Takes the mutex.
SimResponse handle_broker_request(SimState& state, const Router& router, const SimRequest& request);

}  // namespace ostrel::sim
