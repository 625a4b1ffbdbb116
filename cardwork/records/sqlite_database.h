#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace cardwright {

// What SQLite refused, in its words, and its (extended) result code.
class SqliteError : public std::runtime_error {
  public:
    explicit SqliteError(const std::string& what, int code = 0)
        : std::runtime_error(what), code_(code) {}

    int Code() const { return code_; }
    // Another connection held a lock this one needed, where SQLite does not wait for it (two
    // connections each waiting for the other): trying again later goes through.
    bool Busy() const;

  private:
    int code_;
};

// One prepared SQL statement: parameters bound by their position (from 1), rows read column by
// column (from 0). A NULL reads as an empty text, a zero, or a nullopt where asked for one.
class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&&) = delete;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& Bind(int index, int64_t value);
    SqliteStatement& Bind(int index, double value);
    SqliteStatement& Bind(int index, std::span<const uint8_t> bytes);
    SqliteStatement& BindNull(int index);

    // The next row: false once there is none, and the statement is ready to be bound and run
    // again. Throws SqliteError when the statement fails.
    bool Step();
    // Steps through to the end.
    void Run();

    bool IsNull(int column) const;
    std::string Text(int column) const;
    int64_t Int(int column) const;
    double Real(int column) const;
    std::vector<uint8_t> Blob(int column) const;

  private:
    void Check(int code) const;

    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// An open SQLite database file.
class SqliteDatabase {
  public:
    // Opens the file; made when missing if `create`. Throws SqliteError.
    SqliteDatabase(const std::filesystem::path& path, bool create);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // How long a statement waits for another connection's lock before it fails as busy.
    void SetBusyTimeout(std::chrono::milliseconds limit);
    // Runs SQL that returns no rows (one statement or several).
    void Exec(std::string_view sql);
    SqliteStatement Prepare(std::string_view sql);
    // An integer PRAGMA's value, or a text one's as text.
    int64_t IntPragma(std::string_view name);
    std::string TextPragma(std::string_view pragma);

    int64_t LastInsertId() const;
    int64_t Changes() const;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
    sqlite3* db_ = nullptr;
};

// A transaction, rolled back when it goes without Commit(). A write transaction takes the write
// lock at once (BEGIN IMMEDIATE), so that two writers wait for each other by the busy time-out
// instead of one failing when it would turn its reading into writing; a read transaction sees
// the database as it was at its first read throughout.
class SqliteTransaction {
  public:
    enum class Kind { kWrite, kRead };
    explicit SqliteTransaction(SqliteDatabase& db, Kind kind = Kind::kWrite);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

  private:
    SqliteDatabase& db_;
    bool open_ = true;
};

}  // namespace cardwright
