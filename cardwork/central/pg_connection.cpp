#include "cardwork/central/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "carvex/platform/clock.h"

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kStopLook{200};

std::chrono::steady_clock::time_point Deadline(std::chrono::seconds limit) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               carvex::GetClock().Timeout(limit));
}

}  // namespace

std::string ScrubbedMessage(std::string_view message) {
    std::string text;
    bool space = false;
    bool line = false;
    for (const char c : message) {
        if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
            space = !text.empty();
            line = line || c == '\n';
            continue;
        }
        if (space) {
            // libpq's lines are sentences of their own.
            text += line && text.back() != ':' && text.back() != '.' ? "; " : " ";
        }
        space = false;
        line = false;
        text += c;
    }
    if (const char* password = std::getenv("PGPASSWORD"); password != nullptr && *password) {
        const std::string secret = password;
        for (size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + 3)) {
            text.replace(at, secret.size(), "***");
        }
    }
    return text;
}

PgResult::~PgResult() {
    if (result_ != nullptr) {
        PQclear(result_);
    }
}

int PgResult::Rows() const {
    return result_ == nullptr ? 0 : PQntuples(result_);
}

std::optional<std::string> PgResult::Value(int row, int column) const {
    if (result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_) ||
        PQgetisnull(result_, row, column) != 0) {
        return std::nullopt;
    }
    return std::string(PQgetvalue(result_, row, column),
                       static_cast<size_t>(PQgetlength(result_, row, column)));
}

PgConnection::PgConnection(const std::string& conninfo, const std::atomic<bool>* stop)
    : stop_(stop) {
    // The address's own settings come after these and override them. Keep-alives and a user
    // time-out let a server that vanished from the network fail the connection instead of
    // holding it. The texts sent are UTF-8 whatever the environment's locale says.
    const std::array<const char*, 8> keywords = {"application_name",
                                                 "keepalives_idle",
                                                 "keepalives_interval",
                                                 "keepalives_count",
                                                 "tcp_user_timeout",
                                                 "client_encoding",
                                                 "dbname",
                                                 nullptr};
    const std::array<const char*, 8> values = {"carvexctl",      "10",   "5", "3", "20000", "UTF8",
                                               conninfo.c_str(), nullptr};
    conn_ = PQconnectStartParams(keywords.data(), values.data(), 1);
    if (conn_ == nullptr) {
        throw CentralError("cannot connect: out of memory");
    }
    if (PQstatus(conn_) == CONNECTION_BAD) {
        Fail("cannot connect");
    }
    const auto deadline = Deadline(kConnectTimeout);
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING;;) {
        if (status == PGRES_POLLING_OK) {
            break;
        }
        if (status == PGRES_POLLING_FAILED) {
            Fail("cannot connect");
        }
        AwaitSocket(status == PGRES_POLLING_WRITING, deadline);
        status = PQconnectPoll(conn_);
    }
    // Sends that do not block, so that a statement's sending too waits on the socket, where the
    // stop and the time-out are looked at.
    if (PQsetnonblocking(conn_, 1) != 0) {
        Fail("cannot connect");
    }
    // The server's notices ("already exists, skipping") are no news for anybody: libpq would
    // print them on standard error.
    PQsetNoticeProcessor(
        conn_, [](void* /*unused*/, const char* /*notice*/) {}, nullptr);
}

PgConnection::~PgConnection() {
    if (conn_ != nullptr) {
        PQfinish(conn_);
    }
}

void PgConnection::Fail(const std::string& what) {
    std::string message = ScrubbedMessage(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw CentralError(message.empty() ? what : message);
}

void PgConnection::AwaitSocket(bool write, std::chrono::steady_clock::time_point deadline) const {
    for (;;) {
        if (stop_ != nullptr && stop_->load()) {
            throw CentralError("stopped while waiting for the server");
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            throw CentralError("the server did not answer in time");
        }
        pollfd fd{PQsocket(conn_), static_cast<short>(write ? POLLOUT : POLLIN), 0};
        if (fd.fd < 0) {
            throw CentralError("the connection is gone");
        }
        const auto wait = std::min<std::chrono::steady_clock::duration>(deadline - now, kStopLook);
        const int ready = ::poll(
            &fd, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready > 0) {
            return;
        }
        if (ready < 0 && errno != EINTR) {
            throw CentralError("cannot wait for the server");
        }
    }
}

PgResult PgConnection::Exec(std::string_view sql, const PgParams& params) {
    if (conn_ == nullptr) {
        throw CentralError("the connection failed earlier");
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    const std::string statement(sql);
    // Without parameters, a text may hold several statements (a schema step).
    const int sent = params.empty() ? PQsendQuery(conn_, statement.c_str())
                                    : PQsendQueryParams(conn_, statement.c_str(),
                                                        static_cast<int>(values.size()), nullptr,
                                                        values.data(), nullptr, nullptr, 0);
    if (sent == 0) {
        Fail("cannot send a statement");
    }
    const auto deadline = Deadline(kStatementTimeout);
    try {
        for (int left = PQflush(conn_); left != 0; left = PQflush(conn_)) {
            if (left < 0) {
                Fail("the connection is gone");
            }
            AwaitSocket(true, deadline);
        }
        std::optional<PgResult> kept;
        std::string error;
        std::string sqlstate;
        for (;;) {
            while (PQisBusy(conn_) != 0) {
                AwaitSocket(false, deadline);
                if (PQconsumeInput(conn_) == 0) {
                    Fail("the connection is gone");
                }
            }
            PGresult* result = PQgetResult(conn_);
            if (result == nullptr) {
                break;
            }
            PgResult owned(result);
            const ExecStatusType status = PQresultStatus(result);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && error.empty()) {
                const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
                sqlstate = state == nullptr ? "" : state;
                error = ScrubbedMessage(PQresultErrorMessage(result));
                if (error.empty()) {
                    error = PQresStatus(status);
                }
            }
            kept.emplace(std::move(owned));
        }
        if (PQstatus(conn_) == CONNECTION_BAD) {
            Fail(error.empty() ? "the connection is gone" : error);
        }
        if (!error.empty()) {
            throw CentralError(error, sqlstate);
        }
        return kept ? std::move(*kept) : PgResult(nullptr);
    } catch (const CentralError&) {
        // A statement given up half way leaves the connection in a state nobody can tell.
        if (conn_ != nullptr && (PQstatus(conn_) == CONNECTION_BAD || PQisBusy(conn_) != 0)) {
            PQfinish(conn_);
            conn_ = nullptr;
        }
        throw;
    }
}

PgTransaction::PgTransaction(PgConnection& connection) : connection_(connection) {
    connection_.Exec("BEGIN");
}

PgTransaction::~PgTransaction() {
    if (open_) {
        try {
            connection_.Exec("ROLLBACK");
        } catch (const CentralError&) {
            // A connection that is gone has rolled the transaction back on the server.
        }
    }
}

void PgTransaction::Commit() {
    open_ = false;
    connection_.Exec("COMMIT");
}

}  // namespace cardwright
