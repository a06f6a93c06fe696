#pragma once
// A small storage seam over the two engines the server runs on: SQLite (the
// sqlite3 C API) and PostgreSQL (libpq). SQL is written once with '?'
// placeholders; values always travel as bound parameters, never in the text.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace srv {

// A bound parameter: null, integer, double or UTF-8 text.
using SqlParam = std::variant<std::monostate, std::int64_t, double, std::string>;
using SqlParams = std::vector<SqlParam>;

// A failure of the database. `kind` lets callers turn key violations into
// messages for users; `what()` holds the engine's own text (for the log).
class DbError : public std::runtime_error {
 public:
  // Overloaded: no database connection freed up within the call's wait.
  enum class Kind { Other, Unique, ForeignKey, Busy, Connection, Overloaded };
  DbError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// One result row, valid only inside the row callback.
class SqlRow {
 public:
  virtual ~SqlRow() = default;
  virtual int columnCount() const = 0;
  virtual bool isNull(int column) const = 0;
  virtual double real(int column) const = 0;
  virtual std::int64_t integer(int column) const = 0;
  virtual std::string_view text(int column) const = 0;
  // A number column in one call: false when it is null (`value` untouched).
  virtual bool realIfAny(int column, double& value) const {
    if (isNull(column)) return false;
    value = real(column);
    return true;
  }
};

class Db {
 public:
  enum class Engine { Sqlite, Postgres };
  virtual ~Db() = default;
  virtual Engine engine() const = 0;

  // Runs a script of statements without parameters (migrations). Throws DbError.
  virtual void script(std::string_view sql) = 0;
  // Runs one statement; calls onRow for every result row. Returns the number of
  // rows changed by an INSERT/UPDATE/DELETE. Throws DbError.
  virtual std::int64_t run(std::string_view sql, const SqlParams& params,
                           const std::function<void(const SqlRow&)>& onRow = {}) = 0;

  // Transactions: a writing one takes the write lock at once (SQLite) so two
  // writers never interleave their checks; a reading one sees one snapshot.
  virtual void begin(bool write) = 0;
  virtual void commit() = 0;
  virtual void rollback() noexcept = 0;
  // False after a connection was lost; the pool then drops it.
  virtual bool healthy() const { return true; }
};

// Opens a SQLite file (created when missing) or a postgresql:// URL. Throws
// DbError with a clear message when it cannot be opened.
std::unique_ptr<Db> OpenDb(const QString& target);

// A PostgreSQL address: a postgresql:// URL or a libpq keyword/value string.
bool IsPostgresUrl(const QString& target);

// The only way an address is shown (answers, logs, the tools, the desktop
// program): a PostgreSQL one as libpq reads it, rebuilt without any password
// field; one libpq cannot read names none of its parts. A file path as is.
QString ShownTarget(const QString& target);

// Throws DbError (kind Connection, naming no part of it) when libpq cannot
// read the address, or when a raw '@' or '/' would move a password into
// another part.
void CheckPostgresAddress(const QString& target);

// `text` with every password of `target` (and PGPASSWORD's) replaced by "***".
std::string HideSecrets(std::string text, const QString& target);

// Rolls back on scope exit unless committed.
class Transaction {
 public:
  Transaction(Db& db, bool write) : db_(db) { db_.begin(write); }
  ~Transaction() {
    if (!done_) db_.rollback();
  }
  void commit() {
    db_.commit();
    done_ = true;
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

 private:
  Db& db_;
  bool done_ = false;
};

// Single-value helpers. Throw DbError.
std::int64_t QueryInt(Db& db, std::string_view sql, const SqlParams& params, std::int64_t absent);
bool Exists(Db& db, std::string_view sql, const SqlParams& params);

}  // namespace srv
