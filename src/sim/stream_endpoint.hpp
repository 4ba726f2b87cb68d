// Hooks the streaming half into the simulator: the session route, the /_sim/stream controls
// and the WebSocket endpoint /v1/markets/events.
#pragma once

#include "sim/http_server.hpp"
#include "sim/routes.hpp"

namespace ostrel::sim {

struct SimState;
class StreamHub;

/// Adds POST /v1/markets/events/session and the /_sim/stream control routes.
void add_stream_routes(Router& router, StreamHub& hub);

/// Takes over WebSocket upgrade requests: /v1/markets/events becomes a live feed; any other
/// path is answered 404.
UpgradeHandler make_stream_upgrade_handler(SimState& state, StreamHub& hub);

}  // namespace ostrel::sim
