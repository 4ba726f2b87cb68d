// Beast-based HTTP/1.1 server: one thread, asynchronous sessions, answers written by hand so
// that faults can cut a body short or drop the connection.
#include "sim/http_server.hpp"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <cctype>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/http_upgrade.hpp"

namespace ostrel::sim {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

SimRequest to_sim_request(const http::request<http::string_body>& req) {
    SimRequest r;
    r.method = std::string(req.method_string());
    r.target = std::string(req.target());
    const std::size_t q = r.target.find('?');
    r.path = r.target.substr(0, q);
    r.query = q == std::string::npos ? "" : r.target.substr(q + 1);
    r.query_fields = FormFields::parse(r.query);
    r.body = req.body();
    for (const auto& field : req) {
        r.headers[lower(std::string(field.name_string()))] = std::string(field.value());
    }
    return r;
}

std::string response_head(const SimResponse& r, std::size_t length, bool keep_alive) {
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " ";
    head +=
        std::string(http::obsolete_reason(http::int_to_status(static_cast<unsigned>(r.status))));
    head += "\r\nServer: ostrel-sim\r\nContent-Type: " + r.content_type + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    for (const auto& [name, value] : r.headers)
        head += name + ": " + value + "\r\n";
    head += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

}  // namespace

struct HttpServer::Impl {
    RequestHandler handler;
    UpgradeHandler upgrade;
    std::unique_ptr<asio::io_context> ioc;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::thread thread;
    std::uint16_t port = 0;
    std::mutex mutex;  // guards start/stop

    void accept();
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(tcp::socket socket, HttpServer::Impl& server)
        : socket_(std::move(socket)), server_(server), timer_(socket_.get_executor()) {}

    void read() {
        parser_.emplace();
        parser_->body_limit(8 * 1024 * 1024);
        http::async_read_header(socket_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    self->on_header(ec);
                                });
    }

  private:
    void on_header(beast::error_code ec) {
        if (ec) return close();
        const auto& req = parser_->get();
        if (lower(std::string(req[http::field::expect])) == "100-continue") {
            auto cont = std::make_shared<std::string>("HTTP/1.1 100 Continue\r\n\r\n");
            asio::async_write(socket_, asio::buffer(*cont),
                              [self = shared_from_this(), cont](beast::error_code e, std::size_t) {
                                  if (e) return self->close();
                                  self->read_body();
                              });
            return;
        }
        read_body();
    }

    void read_body() {
        http::async_read(socket_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->on_request(ec);
                         });
    }

    void on_request(beast::error_code ec) {
        if (ec) return close();
        http::request<http::string_body> req = parser_->release();
        if (beast::websocket::is_upgrade(req) && server_.upgrade) {
            auto up = std::unique_ptr<UpgradeRequest>(
                new UpgradeRequest{std::move(socket_), std::move(req), std::move(buffer_)});
            server_.upgrade(std::move(up));
            return;
        }
        keep_alive_ = req.keep_alive();
        SimResponse response = server_.handler(to_sim_request(req));
        if (response.drop) return close();
        const bool cut = response.truncate;
        if (cut) keep_alive_ = false;
        const std::size_t sent = cut ? response.body.size() / 2 : response.body.size();
        out_ = response_head(response, response.body.size(), keep_alive_);
        out_.append(response.body, 0, sent);
        if (response.delay_ms > 0) {
            timer_.expires_after(std::chrono::milliseconds(response.delay_ms));
            timer_.async_wait([self = shared_from_this()](beast::error_code e) {
                if (e) return self->close();
                self->write();
            });
            return;
        }
        write();
    }

    void write() {
        asio::async_write(socket_, asio::buffer(out_),
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec || !self->keep_alive_) return self->close();
                              self->read();
                          });
    }

    void close() {
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    tcp::socket socket_;
    HttpServer::Impl& server_;
    asio::steady_timer timer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string out_;
    bool keep_alive_ = false;
};

}  // namespace

void HttpServer::Impl::accept() {
    acceptor->async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec) return;  // the acceptor was closed
        std::make_shared<Session>(std::move(socket), *this)->read();
        accept();
    });
}

HttpServer::HttpServer(RequestHandler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::set_upgrade_handler(UpgradeHandler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->upgrade = std::move(handler);
}

std::expected<std::uint16_t, std::string> HttpServer::start(std::uint16_t port) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->thread.joinable()) return impl_->port;
    try {
        impl_->ioc = std::make_unique<asio::io_context>(1);
        impl_->acceptor = std::make_unique<tcp::acceptor>(*impl_->ioc);
        const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
        impl_->acceptor->open(endpoint.protocol());
        impl_->acceptor->set_option(asio::socket_base::reuse_address(true));
        impl_->acceptor->bind(endpoint);
        impl_->acceptor->listen(asio::socket_base::max_listen_connections);
        impl_->port = impl_->acceptor->local_endpoint().port();
    } catch (const std::exception& e) {
        impl_->acceptor.reset();
        impl_->ioc.reset();
        return std::unexpected(std::string("cannot listen on 127.0.0.1:") + std::to_string(port) +
                               ": " + e.what());
    }
    impl_->accept();
    impl_->thread = std::thread([ioc = impl_->ioc.get()] { ioc->run(); });
    return impl_->port;
}

void HttpServer::stop() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->thread.joinable()) return;
    asio::post(*impl_->ioc, [acceptor = impl_->acceptor.get()] {
        beast::error_code ignored;
        acceptor->close(ignored);
    });
    impl_->ioc->stop();
    impl_->thread.join();
    impl_->acceptor.reset();
    impl_->ioc.reset();  // destroys the sessions still waiting on their sockets
}

std::uint16_t HttpServer::port() const {
    return impl_->port;
}

}  // namespace ostrel::sim
