// A scripted loopback WebSocket server (plain or TLS) for the client tests: each connection
// runs a test-given script on its own thread with Beast's synchronous calls.
#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;

/// The server's end of one accepted WebSocket, as a script sees it.
class Peer {
  public:
    virtual ~Peer() = default;
    /// The next message, or nullopt when the connection ended.
    virtual std::optional<std::string> read() = 0;
    virtual bool write(const std::string& text) = 0;
    /// One message sent as several frames.
    virtual bool write_fragments(const std::vector<std::string>& parts) = 0;
    /// A close frame with the given code, then waits for the client's answer.
    virtual void close(websocket::close_code code = websocket::close_code::normal) = 0;
};

namespace detail {

template <class Ws>
class PeerOn : public Peer {
  public:
    explicit PeerOn(Ws& ws) : ws_(ws) {}
    std::optional<std::string> read() override {
        beast::flat_buffer buffer;
        beast::error_code ec;
        ws_.read(buffer, ec);
        if (ec) return std::nullopt;
        return beast::buffers_to_string(buffer.data());
    }
    bool write(const std::string& text) override {
        beast::error_code ec;
        ws_.text(true);
        ws_.write(asio::buffer(text), ec);
        return !ec;
    }
    bool write_fragments(const std::vector<std::string>& parts) override {
        beast::error_code ec;
        ws_.text(true);
        for (std::size_t i = 0; i < parts.size() && !ec; ++i)
            ws_.write_some(i + 1 == parts.size(), asio::buffer(parts[i]), ec);
        return !ec;
    }
    void close(websocket::close_code code) override {
        beast::error_code ec;
        ws_.close(code, ec);
        // Drain until the client's answering close frame ends the read.
        beast::flat_buffer buffer;
        while (!ec)
            ws_.read(buffer, ec);
    }

  private:
    Ws& ws_;
};

}  // namespace detail

/// A self-signed certificate for "localhost" written to two PEM files in a temp folder.
struct TestCertificate {
    std::filesystem::path dir;
    std::filesystem::path cert;
    std::filesystem::path key;

    TestCertificate() {
        dir = std::filesystem::temp_directory_path() /
              ("ostrel-ws-cert-" + std::to_string(::getpid()) + "-" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(dir);
        cert = dir / "cert.pem";
        key = dir / "key.pem";
        EVP_PKEY* pkey = EVP_EC_gen("P-256");
        X509* x = X509_new();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24);
        X509_set_pubkey(x, pkey);
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(x, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
        X509_EXTENSION* san =
            X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost");
        X509_add_ext(x, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(x, pkey, EVP_sha256());
        FILE* f = std::fopen(cert.c_str(), "w");
        PEM_write_X509(f, x);
        std::fclose(f);
        f = std::fopen(key.c_str(), "w");
        PEM_write_PrivateKey(f, pkey, nullptr, nullptr, 0, nullptr, nullptr);
        std::fclose(f);
        X509_free(x);
        EVP_PKEY_free(pkey);
    }
    ~TestCertificate() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

/// Listens on 127.0.0.1; every accepted WebSocket runs `script` on its own thread.
class WsServer {
  public:
    using Script = std::function<void(Peer&)>;

    explicit WsServer(Script script, const TestCertificate* tls = nullptr)
        : script_(std::move(script)),
          acceptor_(ioc_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        if (tls != nullptr) {
            tls_.emplace(asio::ssl::context::tls_server);
            tls_->use_certificate_chain_file(tls->cert.string());
            tls_->use_private_key_file(tls->key.string(), asio::ssl::context::pem);
        }
        port_ = acceptor_.local_endpoint().port();
        thread_ = std::thread([this] { accept_loop(); });
    }
    ~WsServer() {
        stopping_ = true;
        ::shutdown(acceptor_.native_handle(), SHUT_RDWR);
        thread_.join();
        {
            std::lock_guard lock(mutex_);
            for (const int fd : fds_)
                ::shutdown(fd, SHUT_RDWR);  // ends a script blocked in a read
        }
        for (auto& t : connections_)
            t.join();
    }
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& host = "127.0.0.1") const {
        return std::string(tls_ ? "wss://" : "ws://") + host + ":" + std::to_string(port_) + "/";
    }
    /// The request target of each upgrade, in order.
    std::vector<std::string> targets() const {
        std::lock_guard lock(mutex_);
        return targets_;
    }
    bool stopping() const { return stopping_; }

  private:
    void accept_loop() {
        while (!stopping_) {
            tcp::socket socket(ioc_);
            beast::error_code ec;
            acceptor_.accept(socket, ec);
            if (ec || stopping_) return;
            std::lock_guard lock(mutex_);
            fds_.push_back(socket.native_handle());
            connections_.emplace_back([this, s = std::make_shared<tcp::socket>(std::move(
                                                 socket))]() mutable { serve(std::move(*s)); });
        }
    }

    void note_target(const websocket::request_type& req) {
        std::lock_guard lock(mutex_);
        targets_.emplace_back(req.target());
    }

    template <class Ws>
    void run_script(Ws& ws) {
        beast::error_code ec;
        ws.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(beast::http::field::server, "test"); }));
        beast::flat_buffer buffer;
        websocket::request_type req;
        beast::http::read(ws.next_layer(), buffer, req, ec);
        if (ec) return;
        note_target(req);
        ws.accept(req, ec);
        if (ec) return;
        detail::PeerOn<Ws> peer(ws);
        script_(peer);
    }

    /// Takes the descriptor off the shutdown list before its socket closes (and it is reused).
    struct Forget {
        WsServer& server;
        int fd;
        ~Forget() {
            std::lock_guard lock(server.mutex_);
            std::erase(server.fds_, fd);
        }
    };

    void serve(tcp::socket socket) {
        const int fd = socket.native_handle();
        if (tls_) {
            websocket::stream<asio::ssl::stream<tcp::socket>> ws(std::move(socket), *tls_);
            Forget forget{*this, fd};
            beast::error_code ec;
            ws.next_layer().handshake(asio::ssl::stream_base::server, ec);
            if (ec) return;
            run_script(ws);
        } else {
            websocket::stream<tcp::socket> ws(std::move(socket));
            Forget forget{*this, fd};
            run_script(ws);
        }
    }

    Script script_;
    asio::io_context ioc_;
    tcp::acceptor acceptor_;
    std::optional<asio::ssl::context> tls_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<int> fds_;
    std::vector<std::thread> connections_;
    std::vector<std::string> targets_;
};

}  // namespace ostrel::testing
