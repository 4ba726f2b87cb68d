// The simulator's HTTP/1.1 server on loopback. Beast stays inside http_server.cpp (and the
// WebSocket files that include http_upgrade.hpp), so the rest of the module compiles quickly.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "sim/routes.hpp"

namespace ostrel::sim {

/// A request that asked to be upgraded to a WebSocket, with its socket (see http_upgrade.hpp).
struct UpgradeRequest;
/// Takes over an upgrade request; runs on the server thread and must not block.
using UpgradeHandler = std::function<void(std::unique_ptr<UpgradeRequest>)>;
/// Answers one request; runs on the server thread.
using RequestHandler = std::function<SimResponse(const SimRequest&)>;

class HttpServer {
  public:
    explicit HttpServer(RequestHandler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    /// Binds 127.0.0.1:`port` (0 = any free port), starts the server thread, returns the port.
    std::expected<std::uint16_t, std::string> start(std::uint16_t port);
    /// Closes every connection and joins the server thread.
    void stop();
    std::uint16_t port() const;
    /// Requests with a WebSocket upgrade go to `handler`; without one they are routed as usual.
    /// Set before start().
    void set_upgrade_handler(UpgradeHandler handler);

    /// The Beast side, defined in http_server.cpp.
    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel::sim
