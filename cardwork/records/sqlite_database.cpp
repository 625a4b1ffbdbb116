#include "cardwork/records/sqlite_database.h"

#include <sqlite3.h>

#include <utility>

namespace cardwright {

namespace {

std::string Describe(sqlite3* db, int code) {
    return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

}  // namespace

bool SqliteError::Busy() const {
    const int primary = code_ & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    const int code =
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
    if (code != SQLITE_OK) {
        throw SqliteError(Describe(db, code), code);
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), statement_(std::exchange(other.statement_, nullptr)) {}

void SqliteStatement::Check(int code) const {
    if (code != SQLITE_OK) {
        throw SqliteError(Describe(db_, code), code);
    }
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
    Check(sqlite3_bind_double(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::span<const uint8_t> bytes) {
    // A zero-length blob is still a blob, not a NULL: SQLite takes a null pointer for NULL.
    static constexpr uint8_t kNothing = 0;
    Check(sqlite3_bind_blob64(statement_, index, bytes.empty() ? &kNothing : bytes.data(),
                              bytes.size(), SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
    Check(sqlite3_bind_null(statement_, index));
    return *this;
}

bool SqliteStatement::Step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        // Ready to be bound and run again.
        sqlite3_reset(statement_);
        return false;
    }
    // The message goes with the statement's reset, which a later use would do.
    const std::string why = Describe(db_, code);
    sqlite3_reset(statement_);
    throw SqliteError(why, code);
}

void SqliteStatement::Run() {
    while (Step()) {
    }
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text != nullptr
               ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
               : std::string();
}

int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::Real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::vector<uint8_t> SqliteStatement::Blob(int column) const {
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes != nullptr ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>();
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& path, bool create) : path_(path) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        const std::string why = Describe(db_, code);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError(why, code);
    }
    sqlite3_extended_result_codes(db_, 1);
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close(db_);
}

void SqliteDatabase::SetBusyTimeout(std::chrono::milliseconds limit) {
    sqlite3_busy_timeout(db_, static_cast<int>(limit.count()));
}

void SqliteDatabase::Exec(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    const int code = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        const std::string why = message != nullptr ? message : Describe(db_, code);
        sqlite3_free(message);
        throw SqliteError(why, code);
    }
}

SqliteStatement SqliteDatabase::Prepare(std::string_view sql) {
    return SqliteStatement(db_, sql);
}

int64_t SqliteDatabase::IntPragma(std::string_view name) {
    SqliteStatement pragma = Prepare("PRAGMA " + std::string(name));
    return pragma.Step() ? pragma.Int(0) : 0;
}

std::string SqliteDatabase::TextPragma(std::string_view pragma) {
    SqliteStatement statement = Prepare("PRAGMA " + std::string(pragma));
    return statement.Step() ? statement.Text(0) : std::string();
}

int64_t SqliteDatabase::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int64_t SqliteDatabase::Changes() const {
    return sqlite3_changes64(db_);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db, Kind kind) : db_(db) {
    db_.Exec(kind == Kind::kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) {
        try {
            db_.Exec("ROLLBACK");
        } catch (const SqliteError&) {
            // A failed statement may have rolled the transaction back already.
        }
    }
}

void SqliteTransaction::Commit() {
    db_.Exec("COMMIT");
    open_ = false;
}

}  // namespace cardwright
