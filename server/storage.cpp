#include "server/storage.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <unordered_map>

namespace srv {

namespace {

std::string DoubleText(double v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------- SQLite

class SqliteRow final : public SqlRow {
 public:
  explicit SqliteRow(sqlite3_stmt* st) : st_(st) {}
  int columnCount() const override { return sqlite3_column_count(st_); }
  bool isNull(int c) const override { return sqlite3_column_type(st_, c) == SQLITE_NULL; }
  double real(int c) const override { return sqlite3_column_double(st_, c); }
  std::int64_t integer(int c) const override { return sqlite3_column_int64(st_, c); }
  std::string_view text(int c) const override {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(st_, c));
    return p ? std::string_view(p, sqlite3_column_bytes(st_, c)) : std::string_view();
  }
  // One column lookup instead of two: the big answers read millions of
  // values. The value is read on the connection's own thread, as it must be.
  bool realIfAny(int c, double& value) const override {
    sqlite3_value* v = sqlite3_column_value(st_, c);
    if (sqlite3_value_type(v) == SQLITE_NULL) return false;
    value = sqlite3_value_double(v);
    return true;
  }

 private:
  sqlite3_stmt* st_;
};

class SqliteDb final : public Db {
 public:
  explicit SqliteDb(const QString& path) {
    const QByteArray p = path.toUtf8();
    int rc =
        sqlite3_open_v2(p.constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw DbError(DbError::Kind::Connection, "Não foi possível abrir o banco de dados SQLite '" +
                                                   p.toStdString() + "': " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 10000);
    // WAL lets the host's local queries read while the server writes; FULL
    // makes every acknowledged commit survive a crash of the machine too.
    script("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=FULL;");
  }
  ~SqliteDb() override {
    for (auto& [sql, st] : stmts_) sqlite3_finalize(st);
    sqlite3_close_v2(db_);
  }
  Engine engine() const override { return Engine::Sqlite; }

  void script(std::string_view sql) override {
    char* err = nullptr;
    std::string text(sql);
    int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      throw Error(rc, msg);
    }
  }

  std::int64_t run(std::string_view sql, const SqlParams& params,
                   const std::function<void(const SqlRow&)>& onRow) override {
    sqlite3_stmt* st = prepare(sql);
    struct Reset {
      sqlite3_stmt* st;
      ~Reset() {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
      }
    } reset{st};
    for (size_t i = 0; i < params.size(); ++i) {
      const int idx = int(i) + 1;
      const SqlParam& p = params[i];
      int rc = SQLITE_OK;
      if (std::holds_alternative<std::monostate>(p)) {
        rc = sqlite3_bind_null(st, idx);
      } else if (auto iv = std::get_if<std::int64_t>(&p)) {
        rc = sqlite3_bind_int64(st, idx, *iv);
      } else if (auto dv = std::get_if<double>(&p)) {
        rc = sqlite3_bind_double(st, idx, *dv);
      } else {
        const std::string& s = std::get<std::string>(p);
        rc = sqlite3_bind_text(st, idx, s.data(), int(s.size()), SQLITE_TRANSIENT);
      }
      if (rc != SQLITE_OK) throw Error(rc, sqlite3_errmsg(db_));
    }
    SqliteRow row(st);
    for (;;) {
      int rc = sqlite3_step(st);
      if (rc == SQLITE_ROW) {
        if (onRow) onRow(row);
        continue;
      }
      if (rc == SQLITE_DONE) break;
      throw Error(rc, sqlite3_errmsg(db_));
    }
    return sqlite3_changes64(db_);
  }

  void begin(bool write) override { script(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
  void commit() override { script("COMMIT"); }
  void rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

 private:
  static DbError Error(int rc, const std::string& msg) {
    DbError::Kind kind = DbError::Kind::Other;
    if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE)
      kind = DbError::Kind::Unique;
    else if (rc == SQLITE_CONSTRAINT_FOREIGNKEY)
      kind = DbError::Kind::ForeignKey;
    else if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
      kind = DbError::Kind::Busy;
    return DbError(kind, "SQLite: " + msg);
  }

  sqlite3_stmt* prepare(std::string_view sql) {
    auto it = stmts_.find(std::string(sql));
    if (it != stmts_.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st,
                                nullptr);
    if (rc != SQLITE_OK) throw Error(rc, sqlite3_errmsg(db_));
    stmts_.emplace(std::string(sql), st);
    return st;
  }

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> stmts_;
};

// ------------------------------------------------------------ PostgreSQL

class PgRow final : public SqlRow {
 public:
  PgRow(PGresult* r, int row) : r_(r), row_(row) {}
  int columnCount() const override { return PQnfields(r_); }
  bool isNull(int c) const override { return PQgetisnull(r_, row_, c); }
  double real(int c) const override { return std::strtod(PQgetvalue(r_, row_, c), nullptr); }
  std::int64_t integer(int c) const override {
    return std::strtoll(PQgetvalue(r_, row_, c), nullptr, 10);
  }
  std::string_view text(int c) const override {
    return std::string_view(PQgetvalue(r_, row_, c), PQgetlength(r_, row_, c));
  }

 private:
  PGresult* r_;
  int row_;
};

class PgDb final : public Db {
 public:
  explicit PgDb(const QString& url) {
    CheckPostgresAddress(url);
    const QByteArray u = url.toUtf8();
    conn_ = PQconnectdb(u.constData());
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string msg = HideSecrets(PQerrorMessage(conn_), url);
      PQfinish(conn_);
      conn_ = nullptr;
      while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
      throw DbError(DbError::Kind::Connection, "Não foi possível conectar ao PostgreSQL em '" +
                                                   ShownTarget(url).toStdString() + "': " + msg);
    }
    PQsetClientEncoding(conn_, "UTF8");
    script("SET client_min_messages = warning");
  }
  ~PgDb() override { PQfinish(conn_); }
  Engine engine() const override { return Engine::Postgres; }
  bool healthy() const override { return PQstatus(conn_) == CONNECTION_OK; }

  void script(std::string_view sql) override {
    std::string text(sql);
    PGresult* r = PQexec(conn_, text.c_str());
    const auto status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      DbError e = Error(r);
      PQclear(r);
      throw e;
    }
    PQclear(r);
  }

  std::int64_t run(std::string_view sql, const SqlParams& params,
                   const std::function<void(const SqlRow&)>& onRow) override {
    const std::string& name = prepare(sql, int(params.size()));
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    for (size_t i = 0; i < params.size(); ++i) {
      const SqlParam& p = params[i];
      if (std::holds_alternative<std::monostate>(p)) continue;
      if (auto iv = std::get_if<std::int64_t>(&p))
        texts[i] = std::to_string(*iv);
      else if (auto dv = std::get_if<double>(&p))
        texts[i] = DoubleText(*dv);
      else
        texts[i] = std::get<std::string>(p);
      // libpq takes C strings: a NUL would silently cut the stored value.
      if (texts[i].find('\0') != std::string::npos)
        throw DbError(DbError::Kind::Other,
                      "PostgreSQL: um texto com o caractere NUL não pode "
                      "ser gravado.");
      values[i] = texts[i].c_str();
    }
    if (!PQsendQueryPrepared(conn_, name.c_str(), int(params.size()), values.data(), nullptr,
                             nullptr, 0))
      throw DbError(DbError::Kind::Connection, std::string("PostgreSQL: ") + PQerrorMessage(conn_));
    // Rows arrive one at a time so that a big table streams without being
    // held whole in memory.
    if (onRow) PQsetSingleRowMode(conn_);
    std::int64_t changed = 0;
    std::optional<DbError> failure;
    std::exception_ptr callbackFailure;
    while (PGresult* r = PQgetResult(conn_)) {
      switch (PQresultStatus(r)) {
        case PGRES_SINGLE_TUPLE:
          if (!failure && !callbackFailure && onRow) {
            try {
              onRow(PgRow(r, 0));
            } catch (...) {
              callbackFailure = std::current_exception();
            }
          }
          break;
        case PGRES_TUPLES_OK:
          if (onRow && !failure && !callbackFailure) {
            for (int i = 0, n = PQntuples(r); i < n; ++i) onRow(PgRow(r, i));
          }
          break;
        case PGRES_COMMAND_OK:
          changed = std::strtoll(PQcmdTuples(r), nullptr, 10);
          break;
        default:
          if (!failure) failure = Error(r);
      }
      PQclear(r);
    }
    if (callbackFailure) std::rethrow_exception(callbackFailure);
    if (failure) throw *failure;
    return changed;
  }

  void begin(bool write) override {
    script(write ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  }
  void commit() override { script("COMMIT"); }
  void rollback() noexcept override {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) PQclear(PQexec(conn_, "ROLLBACK"));
  }

 private:
  DbError Error(PGresult* r) const {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    std::string msg = r ? PQresultErrorMessage(r) : PQerrorMessage(conn_);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    DbError::Kind kind = DbError::Kind::Other;
    const std::string s = state ? state : "";
    if (s == "23505")
      kind = DbError::Kind::Unique;
    else if (s == "23503")
      kind = DbError::Kind::ForeignKey;
    else if (s == "40001" || s == "40P01" || s == "55P03")
      kind = DbError::Kind::Busy;
    else if (PQstatus(conn_) != CONNECTION_OK || s.rfind("08", 0) == 0 || s.rfind("57P", 0) == 0)
      kind = DbError::Kind::Connection;
    return DbError(kind, "PostgreSQL: " + msg);
  }

  const std::string& prepare(std::string_view sql, int nParams) {
    std::string key(sql);
    auto it = names_.find(key);
    if (it != names_.end()) return it->second;
    std::string text;
    text.reserve(sql.size() + 16);
    int n = 0;
    for (char c : sql) {
      if (c == '?')
        text += "$" + std::to_string(++n);
      else
        text += c;
    }
    (void)nParams;
    std::string name = "s" + std::to_string(names_.size() + 1);
    PGresult* r = PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      DbError e = Error(r);
      PQclear(r);
      throw e;
    }
    PQclear(r);
    return names_.emplace(std::move(key), std::move(name)).first->second;
  }

  PGconn* conn_ = nullptr;
  std::unordered_map<std::string, std::string> names_;
};

}  // namespace

std::unique_ptr<Db> OpenDb(const QString& target) {
  if (target.trimmed().isEmpty())
    throw DbError(DbError::Kind::Connection, "Nenhum banco de dados foi informado.");
  if (IsPostgresUrl(target)) return std::make_unique<PgDb>(target);
  return std::make_unique<SqliteDb>(target);
}

std::int64_t QueryInt(Db& db, std::string_view sql, const SqlParams& params, std::int64_t absent) {
  std::int64_t v = absent;
  db.run(sql, params, [&](const SqlRow& r) {
    if (!r.isNull(0)) v = r.integer(0);
  });
  return v;
}

bool Exists(Db& db, std::string_view sql, const SqlParams& params) {
  bool found = false;
  db.run(sql, params, [&](const SqlRow&) { found = true; });
  return found;
}

}  // namespace srv
