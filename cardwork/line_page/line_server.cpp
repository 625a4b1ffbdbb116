#include "cardwork/line_page/line_server.h"

#include <civetweb.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "cardwork/records/record_output.h"

namespace cardwright {

namespace {

constexpr size_t kMinTokenLength = 16;
constexpr size_t kMaxTokenLength = 256;
constexpr size_t kDefaultRecords = 50;
constexpr size_t kMaxRecords = 1000;

// What every answer carries: nothing kept by a cache or a proxy, nothing guessed by the browser,
// the page in no frame, and the connection closed after the answer.
constexpr std::string_view kCommonHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Connection: close\r\n";

// The page's own inline styles and script, the event stream and the API of its own origin, and
// nothing from anywhere else.
constexpr std::string_view kPagePolicy =
    "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
    "script-src 'unsafe-inline'; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'\r\n";

bool TokenCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~+/=").find(c) != std::string_view::npos;
}

// Whether `given` is the token, in a time that tells nothing of how much of it was right.
bool SameToken(std::string_view given, std::string_view token) {
    unsigned difference = given.size() == token.size() ? 0U : 1U;
    for (size_t i = 0; i < token.size(); ++i) {
        const char other = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(other ^ token[i]);
    }
    return difference == 0;
}

int Send(mg_connection* connection, int status, std::string_view reason,
         std::string_view content_type, std::string_view body, std::string_view extra = {}) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    head += kCommonHeaders;
    head += "Content-Type: " + std::string(content_type) + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += extra;
    head += "\r\n";
    mg_write(connection, head.data(), head.size());
    mg_write(connection, body.data(), body.size());
    return status;
}

int SendJson(mg_connection* connection, int status, std::string_view reason, const Json& body) {
    return Send(connection, status, reason, "application/json", JsonText(body) + "\n");
}

int SendError(mg_connection* connection, int status, std::string_view reason, std::string_view why,
              std::string_view extra = {}) {
    Json body;
    body["error"] = why;
    return Send(connection, status, reason, "application/json", JsonText(body) + "\n", extra);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

// %XX decoded; a '+' stays a '+', as tokens may hold one. nullopt for a broken escape.
std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const auto [end, error] =
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
        if (error != std::errc() || end != text.data() + i + 3) {
            return std::nullopt;
        }
        decoded += static_cast<char>(value);
        i += 2;
    }
    return decoded;
}

// One variable of the query as it came and as it reads.
struct QueryPart {
    std::string_view raw;
    std::optional<std::string> name;
    std::optional<std::string> value;
};

std::vector<QueryPart> QueryParts(const char* query) {
    std::vector<QueryPart> parts;
    std::string_view rest = query == nullptr ? std::string_view() : std::string_view(query);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('&'), rest.size());
        const std::string_view raw = rest.substr(0, end);
        if (!raw.empty()) {
            const size_t equals = raw.find('=');
            QueryPart part{raw, PercentDecoded(raw.substr(0, equals)),
                           equals == std::string_view::npos
                               ? std::optional<std::string>(std::string())
                               : PercentDecoded(raw.substr(equals + 1))};
            parts.push_back(std::move(part));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return parts;
}

// Names are matched in any case, as browsers and scripts spell them.
bool Named(const QueryPart& part, std::string_view name) {
    return part.name && SameWord(*part.name, name);
}

// A variable of the query, decoded; nullopt when it is not there.
std::optional<std::string> QueryValue(const std::vector<QueryPart>& parts, std::string_view name) {
    for (const QueryPart& part : parts) {
        if (Named(part, name)) {
            return part.value.value_or(std::string());
        }
    }
    return std::nullopt;
}

// An event stream's place among the clients, given back however its handler ends.
struct StreamPlace {
    StreamPlace(LineState& state, std::shared_ptr<EventQueue> queue)
        : state(state), queue(std::move(queue)) {}
    StreamPlace(const StreamPlace&) = delete;
    StreamPlace& operator=(const StreamPlace&) = delete;
    ~StreamPlace() { state.Unsubscribe(queue); }

    LineState& state;
    std::shared_ptr<EventQueue> queue;
};

bool ServedPath(std::string_view path) {
    return path == "/" || path == "/api/slots" || path == "/api/records" || path == "/api/events" ||
           path == "/healthz";
}

// The query without its token, however its name is spelled, so that the address the browser
// keeps does not hold it. Only visible ASCII goes back into the Location header.
std::string WithoutToken(const std::vector<QueryPart>& parts) {
    std::string kept;
    for (const QueryPart& part : parts) {
        const bool visible = std::all_of(part.raw.begin(), part.raw.end(),
                                         [](char c) { return c > ' ' && c < 0x7f; });
        if (visible && !Named(part, "token")) {
            kept += (kept.empty() ? "" : "&") + std::string(part.raw);
        }
    }
    return kept;
}

// Four numbers from 0 to 255, a dot between two.
bool Ipv4Text(std::string_view text) {
    for (int part = 0; part < 4; ++part) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        const size_t length = static_cast<size_t>(end - text.data());
        if (error != std::errc() || length == 0 || length > 3 || value > 255) {
            return false;
        }
        text.remove_prefix(length);
        if (part < 3) {
            if (!text.starts_with('.')) {
                return false;
            }
            text.remove_prefix(1);
        }
    }
    return text.empty();
}

// Hexadecimal groups and colons; the server's own parsing refuses what is still no address.
bool Ipv6Text(std::string_view text) {
    return text.size() >= 2 && text.find(':') != std::string_view::npos &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return c == ':' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                      (c >= 'A' && c <= 'F');
           });
}

// Whether a page reached under this name may be served without a token: an address, this
// or this machine's own name (the address it is bound to is a number). Any other name may be one a
// hostile site points at this machine to read the page from its own origin.
bool KnownHost(const char* header) {
    if (header == nullptr) {
        return false;
    }
    std::string_view host(header);
    if (host.starts_with('[')) {
        const size_t close = host.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        return Ipv6Text(host.substr(1, close - 1));
    }
    host = host.substr(0, std::min(host.find(':'), host.size()));
    return Ipv4Text(host) || SameWord(host, "localhost");
}

// A time as clients write it: what ParseUtcText reads, or a time to the second with a fraction
// of a second and an offset from UTC ("2026-03-14T09:05:31.123Z", "2026-03-14T10:05:31+01:00").
// The fraction is dropped, which gives a poller the record of that second again rather than
// none of it.
std::optional<std::chrono::system_clock::time_point> SinceTime(std::string_view text) {
    constexpr size_t kToSecond = 19;  // "2026-03-14T09:05:31"
    if (auto plain = ParseUtcText(text)) {
        return plain;
    }
    if (text.size() <= kToSecond) {
        return std::nullopt;
    }
    std::string_view zone = text.substr(kToSecond);
    if (zone.starts_with('.')) {
        const size_t digits = std::min(zone.find_first_not_of("0123456789", 1), zone.size());
        if (digits == 1) {
            return std::nullopt;
        }
        zone.remove_prefix(digits);
    }
    auto when = ParseUtcText(std::string(text.substr(0, kToSecond)) + "Z");
    if (!when || zone == "Z") {
        return when;
    }
    int hours = 0;
    int minutes = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' ||
        std::from_chars(zone.data() + 1, zone.data() + 3, hours).ptr != zone.data() + 3 ||
        std::from_chars(zone.data() + 4, zone.data() + 6, minutes).ptr != zone.data() + 6 ||
        hours > 23 || minutes > 59) {
        return std::nullopt;
    }
    const auto offset = std::chrono::hours(hours) + std::chrono::minutes(minutes);
    return zone[0] == '+' ? *when - offset : *when + offset;
}

// The login cookie's name holds the port the request came to: a browser keeps cookies per host,
// not per port, and two stations of one PC would otherwise overwrite each other's. (Taken from
// the request, which may come before the server has noted the port it listens on.)
std::string CookieName(mg_connection* connection) {
    return std::string(LineServer::kCookiePrefix) +
           std::to_string(mg_get_request_info(connection)->server_port);
}

}  // namespace

bool HttpAddress::Loopback() const {
    if (ipv6) {
        return host == "::1";
    }
    return host.starts_with("127.");
}

std::string HttpAddress::Text() const {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<HttpAddress> ParseHttpAddress(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon + 1 == text.size()) {
        return std::nullopt;
    }
    const std::string_view port_text = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] =
        std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (error != std::errc() || end != port_text.data() + port_text.size() || port > 65535) {
        return std::nullopt;
    }
    HttpAddress address;
    address.port = static_cast<uint16_t>(port);
    std::string_view host = text.substr(0, colon);
    if (host.starts_with('[') && host.ends_with(']')) {
        host = host.substr(1, host.size() - 2);
        address.ipv6 = true;
    }
    address.host = host == "localhost" && !address.ipv6 ? "127.0.0.1" : std::string(host);
    if (address.ipv6 ? !Ipv6Text(address.host) : !Ipv4Text(address.host)) {
        return std::nullopt;
    }
    return address;
}

bool ServesIpv6() {
    constexpr unsigned kIpv6Feature = 8;
    return mg_check_feature(kIpv6Feature) != 0;
}

std::string TokenRefusal(std::string_view token) {
    if (token.size() < kMinTokenLength) {
        return "shorter than " + std::to_string(kMinTokenLength) + " characters";
    }
    if (token.size() > kMaxTokenLength) {
        return "longer than " + std::to_string(kMaxTokenLength) + " characters";
    }
    if (!std::all_of(token.begin(), token.end(), TokenCharacter)) {
        return "only letters, digits and - . _ ~ + / = may be in it";
    }
    return {};
}

LineServer::LineServer(LineState& state, const RecordStore& records, LineServerOptions options)
    : state_(state), records_(records), options_(std::move(options)) {
    mg_init_library(0);
    const std::string ports = options_.address.Text();
    // No document root: nothing on the disk is ever served. A crowd of connections waits in the
    // kernel's queue rather than being turned away.
    const std::vector<std::pair<std::string, std::string>> settings = {
        {"listening_ports", ports},
        {"num_threads", std::to_string(options_.threads)},
        {"request_timeout_ms", std::to_string(options_.request_timeout.count())},
        {"max_request_size", std::to_string(options_.max_request_head)},
        {"enable_keep_alive", "no"},
        {"decode_url", "yes"},
        {"listen_backlog", "512"},
    };
    std::vector<const char*> configuration;
    for (const auto& [name, value] : settings) {
        configuration.push_back(name.c_str());
        configuration.push_back(value.c_str());
    }
    configuration.push_back(nullptr);
    mg_callbacks callbacks{};
    callbacks.begin_request = &LineServer::BeginRequest;
    callbacks.log_message = &LineServer::LogMessage;
    mg_init_data init{};
    init.callbacks = &callbacks;
    init.user_data = this;
    init.configuration_options = configuration.data();
    unsigned code = 0;
    std::array<char, 256> why{};
    mg_error_data error{&code, why.data(), why.size()};
    context_ = mg_start2(&init, &error);
    if (context_ == nullptr) {
        mg_exit_library();
        throw LineServerError("cannot serve the line page on " + ports + ": " +
                              (why[0] != '\0' ? std::string(why.data()) : "not started"));
    }
    std::array<mg_server_port, 4> listening{};
    const int count =
        mg_get_server_ports(context_, static_cast<int>(listening.size()), listening.data());
    port_ = count > 0 ? static_cast<uint16_t>(listening[0].port) : options_.address.port;
}

LineServer::~LineServer() {
    state_.EndStreams();
    mg_stop(context_);
    mg_exit_library();
}

std::string LineServer::Url() const {
    HttpAddress shown = options_.address;
    shown.port = port_;
    return "http://" + shown.Text() + "/";
}

int LineServer::LogMessage(const mg_connection* /*connection*/, const char* /*message*/) {
    // The library's own messages may quote a request's address, which may hold the token.
    return 1;
}

int LineServer::BeginRequest(mg_connection* connection) {
    const mg_request_info* info = mg_get_request_info(connection);
    auto* server = static_cast<LineServer*>(info->user_data);
    try {
        return server->Serve(connection);
    } catch (...) {
        // Nothing may go back into the library's C code, the answer's own failure included.
        try {
            SendError(connection, 500, "Internal Server Error", "the page could not be served");
        } catch (...) {
        }
        return 500;
    }
}

bool LineServer::Authorized(mg_connection* connection) const {
    if (options_.token.empty()) {
        return true;
    }
    if (const char* authorization = mg_get_header(connection, "Authorization")) {
        // The scheme's name is matched in any case.
        constexpr std::string_view kBearer = "bearer ";
        const std::string_view given(authorization);
        if (given.size() > kBearer.size() && SameWord(given.substr(0, kBearer.size()), kBearer) &&
            SameToken(given.substr(kBearer.size()), options_.token)) {
            return true;
        }
    }
    if (const char* cookies = mg_get_header(connection, "Cookie")) {
        std::array<char, kMaxTokenLength + 1> value{};
        const int length =
            mg_get_cookie(cookies, CookieName(connection).c_str(), value.data(), value.size());
        if (length > 0 && SameToken(std::string_view(value.data(), static_cast<size_t>(length)),
                                    options_.token)) {
            return true;
        }
    }
    return false;
}

int LineServer::Serve(mg_connection* connection) {
    const mg_request_info* info = mg_get_request_info(connection);
    if (std::string_view(info->request_method) != "GET") {
        return SendError(connection, 405, "Method Not Allowed", "only GET is served here",
                         "Allow: GET\r\n");
    }
    if (info->content_length > 0 || mg_get_header(connection, "Transfer-Encoding") != nullptr) {
        return SendError(connection, 413, "Content Too Large", "a request here has no body");
    }
    const std::string_view path = info->local_uri != nullptr ? info->local_uri : "";
    if (options_.token.empty() && !KnownHost(mg_get_header(connection, "Host"))) {
        return SendError(connection, 421, "Misdirected Request", "not a name of this server");
    }
    const std::vector<QueryPart> query = QueryParts(info->query_string);
    const bool authorized = Authorized(connection);
    // A token in the address is taken out of it by a redirect whenever it is there, so that it
    // is never kept in the history, whether or not the request was let in already.
    if (const auto token = QueryValue(query, "token"); token && !options_.token.empty()) {
        const bool right = SameToken(*token, options_.token);
        if (right || authorized) {
            const std::string rest = WithoutToken(query);
            // The decoded path goes back only when it is one of ours, which holds no line break.
            const std::string location =
                ServedPath(path) ? std::string(path) + (rest.empty() ? "" : "?" + rest) : "/";
            std::string extra = "Location: " + location + "\r\n";
            if (right) {
                extra += "Set-Cookie: " + CookieName(connection) + "=" + options_.token +
                         "; Path=/; HttpOnly; SameSite=Strict\r\n";
            }
            return Send(connection, 303, "See Other", "text/plain", "", extra);
        }
    }
    if (!authorized) {
        return SendError(connection, 401, "Unauthorized", "a token is needed",
                         "WWW-Authenticate: Bearer\r\n");
    }
    if (path == "/") {
        return Send(connection, 200, "OK", "text/html; charset=utf-8", LinePageHtml(), kPagePolicy);
    }
    if (path == "/api/slots") {
        return SendJson(connection, 200, "OK", state_.Snapshot());
    }
    if (path == "/api/records") {
        return ServeRecords(connection, info->query_string);
    }
    if (path == "/api/events") {
        return ServeEvents(connection);
    }
    if (path == "/healthz") {
        return Send(connection, 200, "OK", "text/plain; charset=utf-8", "ok\n");
    }
    return SendError(connection, 404, "Not Found", "nothing is served here");
}

int LineServer::ServeRecords(mg_connection* connection, const char* query_string) {
    const std::vector<QueryPart> query = QueryParts(query_string);
    RecordFilter filter;
    filter.station = state_.Facts().station;
    const auto since = QueryValue(query, "since");
    if (since) {
        filter.since = SinceTime(*since);
        if (!filter.since) {
            return SendError(connection, 400, "Bad Request",
                             "since: not a day or time (2026-03-14, 2026-03-14T09:05Z, "
                             "2026-03-14T09:05:31.123Z, 2026-03-14T10:05:31+01:00)");
        }
    }
    size_t count = kDefaultRecords;
    if (const auto limit = QueryValue(query, "limit")) {
        const auto [end, error] =
            std::from_chars(limit->data(), limit->data() + limit->size(), count);
        if (error != std::errc() || end != limit->data() + limit->size() || count == 0 ||
            count > kMaxRecords) {
            return SendError(connection, 400, "Bad Request",
                             "limit: a number from 1 to " + std::to_string(kMaxRecords));
        }
    }
    // Asked from a time on, the records are the first ones after it, so that a client polling
    // with the time of the last record it has misses none; otherwise the latest ones.
    (since ? filter.first : filter.latest) = count;
    std::vector<StoredRecord> records;
    try {
        records = records_.Find(filter);
    } catch (const RecordStoreError& error) {
        // The reason names files of this machine: it is for the station's own screen only.
        if (options_.notice) {
            options_.notice(std::string("the line page could not read the records: ") +
                            error.what());
        }
        return SendError(connection, 503, "Service Unavailable", "the records cannot be read now",
                         "Retry-After: 5\r\n");
    }
    return SendJson(connection, 200, "OK", RecordsJson(records));
}

int LineServer::ServeEvents(mg_connection* connection) {
    const std::shared_ptr<EventQueue> queue = state_.Subscribe(options_.event_clients);
    if (!queue) {
        return SendError(
            connection, 503, "Service Unavailable",
            state_.StreamsEnded() ? "the station is stopping" : "too many event streams are open",
            "Retry-After: 5\r\n");
    }
    const StreamPlace place{state_, queue};
    std::string head = "HTTP/1.1 200 OK\r\n";
    head += kCommonHeaders;
    head += "Content-Type: text/event-stream; charset=utf-8\r\n\r\n";
    // A reconnecting page tries again after three seconds.
    head += "retry: 3000\n\n";
    bool open = mg_write(connection, head.data(), head.size()) > 0;
    while (open) {
        const auto events = queue->Take(options_.heartbeat);
        if (!events) {
            break;
        }
        std::string text;
        for (const std::string& event : *events) {
            text += event;
        }
        if (text.empty()) {
            text = LineState::EventText("summary", state_.Summary());
        }
        open = mg_write(connection, text.data(), text.size()) > 0;
    }
    return 200;
}

}  // namespace cardwright
