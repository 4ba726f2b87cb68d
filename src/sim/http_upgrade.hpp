// The handover of a WebSocket upgrade request from the HTTP server to a stream endpoint.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "sim/http_server.hpp"

namespace ostrel::sim {

struct UpgradeRequest {
    boost::asio::ip::tcp::socket socket;
    boost::beast::http::request<boost::beast::http::string_body> request;
    boost::beast::flat_buffer buffer;  ///< bytes already read past the request
};

}  // namespace ostrel::sim
