#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cardwork/line_page/line_state.h"
#include "cardwork/records/record_store.h"

struct mg_context;
struct mg_connection;

namespace cardwright {

// Where the line page is served: a numeric address (IPv4, or IPv6 in brackets; "localhost" is
// 127.0.0.1) and a port (0: any free one).
struct HttpAddress {
    std::string host;  // "127.0.0.1", "::1", "0.0.0.0"
    uint16_t port = 0;
    bool ipv6 = false;

    // Whether only this machine can reach it: 127.0.0.0/8 or ::1.
    bool Loopback() const;
    // "127.0.0.1:8080", "[::1]:8080".
    std::string Text() const;
};

// "ADDR:PORT" as --http takes it; nullopt for anything else.
std::optional<HttpAddress> ParseHttpAddress(std::string_view text);

// Whether an IPv6 address can be served; the HTTP library may be built without it.
bool ServesIpv6();

// Why a token cannot be used (too short, a character a cookie cannot carry); empty when it can.
std::string TokenRefusal(std::string_view token);

class LineServerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct LineServerOptions {
    HttpAddress address;
    // Asked of every request when not empty: "Authorization: Bearer TOKEN", or "?token=TOKEN"
    // once, which is answered with a cookie and a redirect to the same address without it.
    std::string token;
    // The workers: each request, idle connection or event stream takes one while it lasts.
    // Enough that a crowd of idle connections, each let go at the request time-out, keeps the
    // page waiting for one time-out or two at most.
    size_t threads = 128;
    // Event streams open at once; the workers beyond them stay for the page and the API.
    size_t event_clients = 8;
    // The whole request head must arrive within it; a write to a client may take as long, which
    // is still ample for the few hundred bytes of an event.
    std::chrono::milliseconds request_timeout{2500};
    size_t max_request_head = 16384;
    // An event stream with nothing to say sends the counts this often, which keeps cards per
    // hour current and finds a client that went away.
    std::chrono::milliseconds heartbeat{15000};
    // Told what only the station's own screen may show (a failure naming its files); called
    // from the workers.
    std::function<void(const std::string&)> notice;
};

// The line page's HTTP server: GET only, nothing but the page, its API and its event stream, no
// file ever read. The handlers read copies (LineState, the records through a store of their
// own) and hold no lock of the station while writing to a socket.
class LineServer {
  public:
    // The login cookie's name, followed by the port.
    static constexpr std::string_view kCookiePrefix = "carvex_line_";

    // Listens at once. Throws LineServerError when it cannot (address in use, ...).
    LineServer(LineState& state, const RecordStore& records, LineServerOptions options);
    // Ends the event streams, then waits for the workers.
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // The port it listens on, also when 0 was asked for.
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:8080/".
    std::string Url() const;

  private:
    static int BeginRequest(mg_connection* connection);
    static int LogMessage(const mg_connection* connection, const char* message);
    int Serve(mg_connection* connection);
    bool Authorized(mg_connection* connection) const;
    int ServeRecords(mg_connection* connection, const char* query);
    int ServeEvents(mg_connection* connection);

    LineState& state_;
    const RecordStore& records_;
    LineServerOptions options_;
    mg_context* context_ = nullptr;
    uint16_t port_ = 0;
};

// The page itself: one HTML document with its styles and script inline.
std::string_view LinePageHtml();

}  // namespace cardwright
