#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;

namespace cardwright {

// What the central database or the way to it refused, in words fit for a log: libpq's message
// on one line, without the password of the environment.
class CentralError : public std::runtime_error {
  public:
    explicit CentralError(const std::string& message, std::string sqlstate = {})
        : std::runtime_error(message), sqlstate_(std::move(sqlstate)) {}
    // The server's SQLSTATE ("42P01"), when it was the server that refused a statement.
    const std::string& SqlState() const { return sqlstate_; }

  private:
    std::string sqlstate_;
};

// A statement's rows, read as texts (a NULL as nullopt).
class PgResult {
  public:
    explicit PgResult(pg_result* result) : result_(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&&) = delete;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int Rows() const;
    std::optional<std::string> Value(int row, int column) const;
    // The value, or an empty text for a NULL.
    std::string Text(int row, int column) const { return Value(row, column).value_or(""); }

  private:
    pg_result* result_;
};

// A statement's parameters, as texts; nullopt is NULL.
using PgParams = std::vector<std::optional<std::string>>;

// One connection to PostgreSQL. Every wait on the server (connecting, a statement) looks at
// `stop` a few times a second and gives up when it is set, or when the server has not answered
// within the time-out, so that a server that went silent holds nobody for long. A connection
// that failed once is not used again.
class PgConnection {
  public:
    static constexpr std::chrono::seconds kConnectTimeout{10};
    static constexpr std::chrono::seconds kStatementTimeout{30};

    // Connects to `conninfo` (a URI or key=value string). Throws CentralError.
    explicit PgConnection(const std::string& conninfo, const std::atomic<bool>* stop = nullptr);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs one statement (several, separated by semicolons, when it has no parameters); throws
    // CentralError when it fails.
    PgResult Exec(std::string_view sql, const PgParams& params = {});

  private:
    void AwaitSocket(bool write, std::chrono::steady_clock::time_point deadline) const;
    [[noreturn]] void Fail(const std::string& what);

    pg_conn* conn_ = nullptr;
    const std::atomic<bool>* stop_;
};

// A transaction on a connection, rolled back when it goes without Commit().
class PgTransaction {
  public:
    explicit PgTransaction(PgConnection& connection);
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;

    void Commit();

  private:
    PgConnection& connection_;
    bool open_ = true;
};

// A message of libpq's on one line, trimmed, without the password PGPASSWORD holds.
std::string ScrubbedMessage(std::string_view message);

}  // namespace cardwright
