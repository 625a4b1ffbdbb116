#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "carvex/platform/unique_fd.h"

namespace linetest {

// A TCP connection to the page's server on 127.0.0.1, as a browser or a stray client makes it.
class HttpConnection {
  public:
    explicit HttpConnection(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (!fd_ || ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address),
                              sizeof(address)) != 0) {
            throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
        }
    }

    bool Send(std::string_view text) {
        while (!text.empty()) {
            const ssize_t sent = ::send(fd_.Get(), text.data(), text.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // What arrives within `limit`; nullopt once the server has closed the connection and
    // everything was read.
    std::optional<std::string> Receive(std::chrono::milliseconds limit) {
        pollfd ready{fd_.Get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(limit.count())) <= 0) {
            return std::string();
        }
        std::array<char, 8192> buffer{};
        const ssize_t got = ::recv(fd_.Get(), buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            return std::nullopt;
        }
        return std::string(buffer.data(), static_cast<size_t>(got));
    }

    // Everything until the server closes the connection, or until `limit` has passed.
    std::string ReceiveAll(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string all;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto part = Receive(std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()));
            if (!part) {
                closed_ = true;
                break;
            }
            all += *part;
        }
        return all;
    }
    bool Closed() const { return closed_; }

  private:
    carvex::UniqueFd fd_;
    bool closed_ = false;
};

struct HttpAnswer {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string Header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

inline HttpAnswer ParseAnswer(const std::string& text) {
    HttpAnswer answer;
    const size_t head_end = text.find("\r\n\r\n");
    if (text.size() < 12 || head_end == std::string::npos) {
        return answer;
    }
    answer.status = std::stoi(text.substr(9, 3));
    size_t line = text.find("\r\n") + 2;
    while (line < head_end) {
        const size_t end = text.find("\r\n", line);
        const std::string header = text.substr(line, end - line);
        const size_t colon = header.find(':');
        std::string name = header.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        answer.headers[name] = header.substr(header.find_first_not_of(' ', colon + 1));
        line = end + 2;
    }
    answer.body = text.substr(head_end + 4);
    return answer;
}

// One request, its whole answer (the server closes every connection after its answer).
inline HttpAnswer Request(uint16_t port, const std::string& method, const std::string& target,
                          const std::vector<std::string>& headers = {},
                          const std::string& body = {}) {
    HttpConnection connection(port);
    std::string request = method + " " + target + " HTTP/1.1\r\n";
    if (std::none_of(headers.begin(), headers.end(),
                     [](const std::string& header) { return header.starts_with("Host:"); })) {
        request += "Host: 127.0.0.1\r\n";
    }
    for (const std::string& header : headers) {
        request += header + "\r\n";
    }
    if (!body.empty()) {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    connection.Send(request);
    return ParseAnswer(connection.ReceiveAll(std::chrono::seconds(30)));
}

inline HttpAnswer Get(uint16_t port, const std::string& target,
                      const std::vector<std::string>& headers = {}) {
    return Request(port, "GET", target, headers);
}

// One Server-Sent Event.
struct Event {
    std::string name;
    std::string data;
};

// The event stream as the page reads it.
class EventStream {
  public:
    explicit EventStream(uint16_t port, const std::vector<std::string>& headers = {})
        : connection_(port) {
        std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (const std::string& header : headers) {
            request += header + "\r\n";
        }
        connection_.Send(request + "\r\n");
    }

    // The answer's status line and headers, once they came.
    std::optional<HttpAnswer> Head(std::chrono::milliseconds limit) {
        if (!ReadUntil([this] { return buffer_.find("\r\n\r\n") != std::string::npos; }, limit)) {
            return std::nullopt;
        }
        const size_t end = buffer_.find("\r\n\r\n") + 4;
        HttpAnswer head = ParseAnswer(buffer_.substr(0, end));
        buffer_.erase(0, end);
        return head;
    }

    // The next event named `name`, skipping others; nullopt when none came within `limit` or
    // the stream ended.
    std::optional<Event> Next(const std::string& name, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 ||
                !ReadUntil([this] { return buffer_.find("\n\n") != std::string::npos; }, left)) {
                return std::nullopt;
            }
            const size_t end = buffer_.find("\n\n");
            const std::string block = buffer_.substr(0, end);
            buffer_.erase(0, end + 2);
            Event event;
            size_t line = 0;
            while (line < block.size()) {
                const size_t stop = std::min(block.find('\n', line), block.size());
                const std::string text = block.substr(line, stop - line);
                if (text.starts_with("event: ")) {
                    event.name = text.substr(7);
                } else if (text.starts_with("data: ")) {
                    event.data = text.substr(6);
                }
                line = stop + 1;
            }
            if (event.name == name) {
                return event;
            }
        }
    }

    // Whether the server ends the stream within `limit`.
    bool Ends(std::chrono::milliseconds limit) {
        connection_.ReceiveAll(limit);
        return connection_.Closed();
    }

  private:
    template <class Done>
    bool ReadUntil(Done done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            const auto part = connection_.Receive(left);
            if (!part) {
                return false;
            }
            buffer_ += *part;
        }
        return true;
    }

    HttpConnection connection_;
    std::string buffer_;
};

}  // namespace linetest
