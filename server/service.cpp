#include "server/service.h"

#include "server/audit_log.h"
#include "server/audit_methods.h"
#include "server/assess_method.h"
#include "server/call_checks.h"
#include "server/json_out.h"
#include "server/master_data_methods.h"
#include "server/schema.h"
#include "server/tables.h"

#include <QDateTime>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <set>
#include <thread>
#include <variant>

namespace srv {

// ------------------------------------------------------------------ pool

std::unique_ptr<Db> DbPool::take(std::unique_lock<std::mutex>& lock) {
  if (!idle_.empty()) {
    std::unique_ptr<Db> db = std::move(idle_.back());
    idle_.pop_back();
    return db;
  }
  ++open_;
  lock.unlock();
  try {
    std::unique_ptr<Db> db = OpenDb(target_);
    lock.lock();
    return db;
  } catch (...) {
    lock.lock();
    --open_;
    freed_.notify_one();
    throw;
  }
}

DbPool::Lease DbPool::acquire() {
  std::unique_lock lock(mutex_);
  if (!freed_.wait_for(lock, std::chrono::seconds(10),
                       [&] { return !idle_.empty() || open_ < max_; }))
    throw DbError(DbError::Kind::Busy, "no free database connection");
  const std::uint64_t generation = generation_;
  return Lease(*this, take(lock), generation);
}

std::unique_ptr<DbPool::Lease> DbPool::tryAcquire() {
  std::unique_lock lock(mutex_);
  if (idle_.empty() && open_ >= max_) return nullptr;
  const std::uint64_t generation = generation_;
  std::unique_ptr<Db> db = take(lock);
  return std::make_unique<Lease>(*this, std::move(db), generation);
}

void DbPool::dropIdle() {
  std::vector<std::unique_ptr<Db>> dropped;
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    dropped.swap(idle_);
    open_ -= dropped.size();
  }
  freed_.notify_all();
}

void DbPool::release(std::unique_ptr<Db> db, std::uint64_t generation) {
  if (db && db->healthy()) db->rollback();
  {
    std::lock_guard lock(mutex_);
    if (db && db->healthy() && generation == generation_) {
      idle_.push_back(std::move(db));
    } else {
      --open_;
    }
  }
  freed_.notify_one();
}

// --------------------------------------------------------------- helpers

namespace {
void RequireReference(Db& db, const std::string& code) {
  if (!Exists(db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {code}))
    Refuse(QStringLiteral("Referência '%1' não cadastrada.").arg(QString::fromStdString(code)));
}

void RequirePercentile(Db& db, const std::string& code) {
  if (!Exists(db, "SELECT 1 FROM PERCENTIL WHERE CDPERCENTIL = ?", {code}))
    Refuse(QStringLiteral("Percentil '%1' não cadastrado.").arg(QString::fromStdString(code)));
}

SqlParam ToParam(const ColumnDef& c, const Value& v) {
  if (std::holds_alternative<std::monostate>(v)) return std::monostate{};
  if (auto s = std::get_if<std::string>(&v)) return *s;
  const double d = std::get<double>(v);
  if (c.kind == ColumnDef::Kind::Whole) return std::int64_t(std::llround(d));
  return d;
}

Value FromSql(const ColumnDef& c, const SqlRow& r, int i) {
  if (r.isNull(i)) return std::monostate{};
  if (c.kind == ColumnDef::Kind::Code) return std::string(r.text(i));
  return r.real(i);
}

void AppendValue(std::string& out, const Value& v) {
  if (auto s = std::get_if<std::string>(&v))
    AppendString(out, *s);
  else if (auto d = std::get_if<double>(&v))
    AppendNumber(out, *d);
  else
    out += "null";
}

std::string RowJson(const TableDef& t, const Row& row) {
  std::string out = "{";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i) out += ',';
    AppendString(out, t.columns[i].name);
    out += ':';
    AppendValue(out, row[i]);
  }
  out += '}';
  return out;
}

// --- packets

struct OutField {
  const char* name;
  bool isString;
  int size;
};

void AppendFields(std::string& out, const std::vector<OutField>& fields) {
  out += "{\"fields\":[";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    out += "{\"name\":";
    AppendString(out, fields[i].name);
    if (fields[i].isString) {
      out += ",\"type\":\"string\",\"size\":";
      out += std::to_string(fields[i].size);
    } else {
      out += ",\"type\":\"float\"";
    }
    out += '}';
  }
  out += "],\"rows\":[";
}

std::vector<OutField> FieldsOf(const TableDef& t) {
  std::vector<OutField> f;
  for (const ColumnDef& c : t.columns)
    f.push_back({c.name, c.kind == ColumnDef::Kind::Code, c.size});
  return f;
}

// One row as packet JSON, after a comma unless it is the first.
void AppendRow(std::string& out, const std::vector<OutField>& fields, const SqlRow& r, bool first) {
  out += first ? "[" : ",[";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    double v = 0;
    if (fields[i].isString) {
      if (r.isNull(int(i)))
        out += "null";
      else
        AppendString(out, r.text(int(i)));
    } else if (r.realIfAny(int(i), v)) {
      AppendNumber(out, v);
    } else {
      out += "null";
    }
  }
  out += ']';
}

// Streams the rows of a query straight into packet JSON.
void AppendRows(Db& db, std::string& out, const std::vector<OutField>& fields, std::string_view sql,
                const SqlParams& params) {
  bool first = true;
  db.run(sql, params, [&](const SqlRow& r) {
    AppendRow(out, fields, r, first);
    first = false;
  });
}

std::string Packet(Db& db, const std::vector<OutField>& fields, std::string_view sql,
                   const SqlParams& params) {
  std::string out;
  AppendFields(out, fields);
  AppendRows(db, out, fields, sql, params);
  out += "]}";
  return out;
}

std::string ColumnList(const TableDef& t, const char* alias = nullptr) {
  std::string s;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i) s += ", ";
    if (alias) s += std::string(alias) + ".";
    s += t.columns[i].name;
  }
  return s;
}

std::string OrderBy(const TableDef& t) {
  std::string s = " ORDER BY ";
  for (size_t i = 0; i < t.keyOrder.size(); ++i) s += (i ? ", " : "") + std::string(t.keyOrder[i]);
  return s;
}

std::string KeyWhere(const TableDef& t) {
  std::string s = " WHERE ";
  for (size_t i = 0; i < t.keyOrder.size(); ++i)
    s += (i ? " AND " : "") + std::string(t.keyOrder[i]) + " = ?";
  return s;
}

SqlParams KeyParams(const TableDef& t, const Row& row) {
  SqlParams p;
  for (const char* k : t.keyOrder) {
    const int i = t.columnIndex(k);
    p.push_back(ToParam(t.columns[size_t(i)], row[size_t(i)]));
  }
  return p;
}

bool SameKey(const TableDef& t, const Row& a, const Row& b) {
  for (const char* k : t.keyOrder) {
    const size_t i = size_t(t.columnIndex(k));
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Missing parts from which a table answer is built on several connections.
constexpr size_t kParallelParts = 4;

const std::vector<OutField> kPercentileFields{{"CDPERCENTIL", true, 3}, {"NMPERCENTIL", true, 30}};

struct MasterTable {
  const char* name;
  std::vector<OutField> fields;
  const char* order;
};

// The master tables as GetTabela hands them out, every column included.
const std::vector<MasterTable>& MasterTables() {
  static const std::vector<MasterTable> tables{{"REFEBIBL",
                                                {{"CDREFEBIBL", true, 2},
                                                 {"NMREFEBIBL", true, 60},
                                                 {"DSCITACAO", true, 4000},
                                                 {"DSFONTE", true, 4000},
                                                 {"DSLICENCA", true, 4000}},
                                                "CDREFEBIBL"},
                                               {"PERCENTIL", kPercentileFields, "CDPERCENTIL"}};
  return tables;
}

void Audit(Db& db, const Caller& who, const QString& method, const TableDef& t,
           const std::string& oldJson, const std::string& newJson) {
  WriteAudit(db, who.name.toStdString(), method.toStdString(), t, oldJson, newJson);
}

const QString kConflict = QStringLiteral(
    "Registro alterado ou excluído por outro usuário. Verifique os dados e tente novamente.");

std::optional<Row> LoadRow(Db& db, const TableDef& t, const Row& keyRow) {
  std::string sql = "SELECT " + ColumnList(t) + " FROM " + t.name + KeyWhere(t);
  if (db.engine() == Db::Engine::Postgres) sql += " FOR UPDATE";
  std::optional<Row> found;
  db.run(sql, KeyParams(t, keyRow), [&](const SqlRow& r) {
    Row row;
    for (size_t i = 0; i < t.columns.size(); ++i) row.push_back(FromSql(t.columns[i], r, int(i)));
    found = std::move(row);
  });
  return found;
}

std::vector<Row> LoadRows(Db& db, const TableDef& t, const std::string& where,
                          const SqlParams& params) {
  std::vector<Row> rows;
  std::string sql = "SELECT " + ColumnList(t) + " FROM " + t.name + where + OrderBy(t);
  if (db.engine() == Db::Engine::Postgres) sql += " FOR UPDATE";
  db.run(sql, params, [&](const SqlRow& r) {
    Row row;
    for (size_t i = 0; i < t.columns.size(); ++i) row.push_back(FromSql(t.columns[i], r, int(i)));
    rows.push_back(std::move(row));
  });
  return rows;
}

void InsertRow(Db& db, const TableDef& t, const Row& row) {
  std::string sql = "INSERT INTO " + std::string(t.name) + " (" + ColumnList(t) + ") VALUES (";
  SqlParams p;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    sql += i ? ", ?" : "?";
    p.push_back(ToParam(t.columns[i], row[i]));
  }
  sql += ")";
  db.run(sql, p);
}

// True when every column the delta carries still holds the delta's original value.
bool Matches(const Delta& d, const Row& stored, const Row& original) {
  for (size_t i = 0; i < stored.size(); ++i)
    if (d.present[i] && stored[i] != original[i]) return false;
  return true;
}

JsonPieces True() {
  static const auto t = std::make_shared<const std::string>("true");
  return {t};
}

}  // namespace

// --------------------------------------------------------------- methods

class Methods {
 public:
  Methods(Service& s, const Caller& who, const QString& method, const QJsonArray& params,
          bool& committing)
      : s_(s), committing_(committing), who_(who), method_(method), p_(method, params) {}

  JsonPieces GetReferencia() {
    p_.expect(0);
    auto db = s_.pool_.acquire();
    std::string where;
    for (const TableDef* t : AllTables())
      where += std::string(where.empty() ? " WHERE " : " OR ") + "EXISTS (SELECT 1 FROM " +
               t->name + " t WHERE t.CDREFEBIBL = r.CDREFEBIBL)";
    return Share(Packet(
        *db, {{"CDREFEBIBL", true, 2}, {"NMREFEBIBL", true, 60}},
        "SELECT r.CDREFEBIBL, r.NMREFEBIBL FROM REFEBIBL r" + where + " ORDER BY r.CDREFEBIBL",
        {}));
  }

  // The caller's role, so that a workstation opens its screens read-only for a reader.
  JsonPieces GetPapel() {
    p_.expect(0);
    std::string out;
    AppendString(out, who_.maintainer ? "maintainer" : "reader");
    return Share(std::move(out));
  }

  // One whole table as a packet: the workstations keep their local copy
  // (pick lists, reports) filled from it, so none needs the database itself.
  JsonPieces GetTabela() {
    p_.expect(1);
    const std::string name = p_.text(0, QStringLiteral("tabela")).trimmed().toUpper().toStdString();
    auto db = s_.pool_.acquire();
    Transaction tx(*db, false);
    for (const auto& [table, fields, order] : MasterTables()) {
      if (name != table) continue;
      std::string columns;
      for (const OutField& f : fields)
        columns += (columns.empty() ? "" : ", ") + std::string(f.name);
      return Share(
          Packet(*db, fields, "SELECT " + columns + " FROM " + table + " ORDER BY " + order, {}));
    }
    for (const TableDef* t : AllTables()) {
      if (name != t->name) continue;
      return Share(Packet(*db, FieldsOf(*t),
                          "SELECT " + ColumnList(*t) + " FROM " + t->name + OrderBy(*t), {}));
    }
    BadParams(QStringLiteral("Tabela desconhecida: '%1'. Use REFEBIBL, PERCENTIL, PESALTIDADE, "
                             "PESOALTU ou PEALNCHS2000.")
                  .arg(Shown(QString::fromStdString(name))));
  }

  JsonPieces GetPerc(const TableDef& t) {
    p_.expect(0);
    auto db = s_.pool_.acquire();
    Transaction tx(*db, false);
    using Key = std::pair<std::string, std::string>;  // reference, percentile
    std::vector<std::pair<Key, std::int64_t>> counters;
    db->run(
        "SELECT CDREFEBIBL, CDPERCENTIL, NRALTERACAO FROM CONTROLEALTERACAO WHERE NMTABELA = ? "
        "ORDER BY CDREFEBIBL, CDPERCENTIL",
        {std::string(t.name)},
        [&](const SqlRow& r) { counters.emplace_back(Key(r.text(0), r.text(1)), r.integer(2)); });
    // Names are read on every call: the percentile table is kept elsewhere.
    std::map<std::string, std::string> names;
    db->run("SELECT CDPERCENTIL, NMPERCENTIL FROM PERCENTIL", {},
            [&](const SqlRow& r) { names[std::string(r.text(0))] = std::string(r.text(1)); });

    auto& cache = s_.cache_[int(t.id)];
    std::vector<std::shared_ptr<const Service::Chunk>> chunks(counters.size());
    {
      std::lock_guard lock(s_.cacheMutex_);
      for (size_t i = 0; i < counters.size(); ++i) {
        auto it = cache.find(counters[i].first);
        if (it != cache.end() && it->second->counter == counters[i].second) chunks[i] = it->second;
      }
    }
    const auto fields = FieldsOf(t);
    const std::string rowsSql = "SELECT " + ColumnList(t) + " FROM " + t.name +
                                " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?" + OrderBy(t);
    std::vector<size_t> built;
    for (size_t i = 0; i < counters.size(); ++i)
      if (!chunks[i]) built.push_back(i);
    auto build = [&](Db& on, size_t i) {
      auto chunk = std::make_shared<Service::Chunk>();
      chunk->counter = counters[i].second;
      AppendRows(on, chunk->rows, fields, rowsSql,
                 {counters[i].first.first, counters[i].first.second});
      return chunk;
    };
    if (built.size() >= kParallelParts && built.size() * 2 >= counters.size()) {
      // Most parts missing (a restart, a change everywhere): one pass over the
      // table in this snapshot costs less than a query per part. A part whose
      // rows do not come together is left to its own query below.
      std::map<Key, size_t> wanted;
      std::vector<std::shared_ptr<Service::Chunk>> fresh(counters.size());
      for (size_t i : built) {
        fresh[i] = std::make_shared<Service::Chunk>();
        fresh[i]->counter = counters[i].second;
        wanted.emplace(counters[i].first, i);
      }
      std::vector<char> seen(counters.size(), 0), scattered(counters.size(), 0);
      const int refColumn = t.columnIndex("CDREFEBIBL");
      const int percColumn = t.columnIndex("CDPERCENTIL");
      Key current;
      std::string* into = nullptr;
      bool started = false;
      db->run("SELECT " + ColumnList(t) + " FROM " + t.name + OrderBy(t), {}, [&](const SqlRow& r) {
        const std::string_view ref = r.text(refColumn), perc = r.text(percColumn);
        if (!started || ref != current.first || perc != current.second) {
          started = true;
          current = Key(std::string(ref), std::string(perc));
          into = nullptr;
          const auto it = wanted.find(current);
          if (it == wanted.end()) return;
          if (seen[it->second]) scattered[it->second] = 1;
          seen[it->second] = 1;
          into = &fresh[it->second]->rows;
        }
        if (into) AppendRow(*into, fields, r, into->empty());
      });
      for (size_t i : built)
        if (!scattered[i]) chunks[i] = fresh[i];
    } else {
      // Helpers build the missing parts on their own connections, each in
      // its own snapshot. A part whose counter there is
      // not the one read here is left to this connection, so the answer is
      // still the one snapshot read above.
      std::atomic<size_t> next{0};
      const std::string counterSql =
          "SELECT NRALTERACAO FROM CONTROLEALTERACAO WHERE NMTABELA = ? AND CDREFEBIBL = ? AND "
          "CDPERCENTIL = ?";
      std::vector<std::jthread> helpers;
      const size_t cores = std::max(1u, std::thread::hardware_concurrency());
      const size_t helperCount = built.size() < kParallelParts ? 0 : std::min<size_t>(3, cores - 1);
      for (size_t h = 0; h < helperCount; ++h) {
        helpers.emplace_back([&] {
          try {
            // Only a connection that is free now: the pool's bound holds,
            // and what no helper builds is built below.
            const auto lease = s_.pool_.tryAcquire();
            if (!lease) return;
            Db& own = **lease;
            Transaction htx(own, false);
            for (size_t j; (j = next++) < built.size();) {
              const size_t i = built[j];
              const auto& [ref, perc] = counters[i].first;
              if (QueryInt(own, counterSql, {std::string(t.name), ref, perc}, -1) ==
                  counters[i].second)
                chunks[i] = build(own, i);
            }
          } catch (const std::exception&) {
            // Whatever a helper leaves undone is built below.
          }
        });
      }
      struct Drain {  // a failure here stops the helpers at their next part
        std::atomic<size_t>& next;
        size_t end;
        ~Drain() { next = end; }
      } drain{next, built.size()};
      for (size_t j; (j = next++) < built.size();) chunks[built[j]] = build(*db, built[j]);
      helpers.clear();
    }
    for (size_t i : built)
      if (!chunks[i]) chunks[i] = build(*db, i);
    tx.commit();
    {
      std::lock_guard lock(s_.cacheMutex_);
      for (size_t i : built) {
        auto& slot = cache[counters[i].first];
        if (!slot || slot->counter < chunks[i]->counter) slot = chunks[i];
      }
    }

    // Element 0 lists the (reference, percentile) pairs that have rows.
    auto head = std::make_shared<std::string>("[");
    AppendFields(*head,
                 {{"CDREFEBIBL", true, 2}, {"CDPERCENTIL", true, 3}, {"NMPERCENTIL", true, 30}});
    bool first = true;
    for (size_t i = 0; i < counters.size(); ++i) {
      if (chunks[i]->rows.empty()) continue;
      const auto& [ref, perc] = counters[i].first;
      *head += first ? "[" : ",[";
      first = false;
      AppendString(*head, ref);
      *head += ',';
      AppendString(*head, perc);
      *head += ',';
      auto name = names.find(perc);
      if (name == names.end())
        *head += "null";
      else
        AppendString(*head, name->second);
      *head += ']';
    }
    *head += "]},";
    AppendFields(*head, fields);
    JsonPieces out{std::move(head)};
    static const auto comma = std::make_shared<const std::string>(",");
    first = true;
    for (auto& chunk : chunks) {
      if (chunk->rows.empty()) continue;
      if (!first) out.push_back(comma);
      first = false;
      out.push_back(std::shared_ptr<const std::string>(chunk, &chunk->rows));
    }
    out.push_back(std::make_shared<const std::string>("]}]"));
    return out;
  }

  JsonPieces GetValida(const TableDef& t) {
    p_.expect(t.id == TableId::Age ? 4 : 3);
    const std::string ref = Code(p_.text(0, QStringLiteral("referência")), true);
    const std::string perc = Code(p_.text(1, QStringLiteral("percentil")), false);
    SqlParams key{ref, perc};
    if (t.id == TableId::Age) {
      key.push_back(std::int64_t(Years(p_.number(2, QStringLiteral("ano")))));
      key.push_back(std::int64_t(Months(p_.number(3, QStringLiteral("mês")))));
    } else {
      key.push_back(ParseHeight(p_.text(2, QStringLiteral("altura"))));
    }
    auto db = s_.pool_.acquire();
    RequireReference(*db, ref);
    RequirePercentile(*db, perc);
    return Share(
        Packet(*db, FieldsOf(t), "SELECT " + ColumnList(t) + " FROM " + t.name + KeyWhere(t), key));
  }

  JsonPieces Set(const TableDef& t) {
    p_.expect(1);
    const Delta d = ParseDelta(
        t,
        p_.object(
            0, QStringLiteral("um pacote de alterações (delta) da tabela %1").arg(TableText(t))));
    for (const DeltaChange& c : d.changes)
      if (c.op != DeltaChange::Op::Delete) ValidateNewRow(t, c.newRow);
    auto db = s_.pool_.acquire();
    Write(*db, t, [&] {
      std::set<std::string> knownRefs, knownPercs;
      auto checkCodes = [&](const Row& row) {
        const auto& ref = std::get<std::string>(row[size_t(t.columnIndex("CDREFEBIBL"))]);
        const auto& perc = std::get<std::string>(row[size_t(t.columnIndex("CDPERCENTIL"))]);
        touched_.emplace(ref, perc);
        if (knownRefs.insert(ref).second) RequireReference(*db, ref);
        if (knownPercs.insert(perc).second) RequirePercentile(*db, perc);
      };
      for (const DeltaChange& c : d.changes) {
        switch (c.op) {
          case DeltaChange::Op::Insert: {
            checkCodes(c.newRow);
            if (LoadRow(*db, t, c.newRow)) Refuse(QString::fromUtf8(t.duplicateMessage));
            InsertRow(*db, t, c.newRow);
            Audit(*db, who_, method_, t, {}, RowJson(t, c.newRow));
            break;
          }
          case DeltaChange::Op::Update: {
            const std::optional<Row> stored = LoadRow(*db, t, c.oldRow);
            if (!stored || !Matches(d, *stored, c.oldRow)) Fail(RpcError::Conflict, kConflict);
            Touch(t, *stored);
            Row merged = *stored;
            for (size_t i = 0; i < merged.size(); ++i)
              if (d.present[i]) merged[i] = c.newRow[i];
            checkCodes(merged);
            if (!SameKey(t, merged, *stored) && LoadRow(*db, t, merged))
              Refuse(QString::fromUtf8(t.duplicateMessage));
            std::string sql = "UPDATE " + std::string(t.name) + " SET ";
            SqlParams params;
            for (size_t i = 0; i < t.columns.size(); ++i) {
              if (!d.present[i]) continue;
              sql += std::string(params.empty() ? "" : ", ") + t.columns[i].name + " = ?";
              params.push_back(ToParam(t.columns[i], merged[i]));
            }
            sql += KeyWhere(t);
            for (SqlParam& k : KeyParams(t, *stored)) params.push_back(std::move(k));
            db->run(sql, params);
            Audit(*db, who_, method_, t, RowJson(t, *stored), RowJson(t, merged));
            break;
          }
          case DeltaChange::Op::Delete: {
            const std::optional<Row> stored = LoadRow(*db, t, c.oldRow);
            if (!stored || !Matches(d, *stored, c.oldRow)) Fail(RpcError::Conflict, kConflict);
            Touch(t, *stored);
            db->run("DELETE FROM " + std::string(t.name) + KeyWhere(t), KeyParams(t, *stored));
            Audit(*db, who_, method_, t, RowJson(t, *stored), {});
            break;
          }
        }
      }
    });
    return True();
  }

  JsonPieces Deleta(const TableDef& t) {
    p_.expect(3);
    const std::string ref = Code(p_.text(0, QStringLiteral("referência")), true);
    const QString percText = p_.text(1, QStringLiteral("percentil"));
    const QString flag = p_.text(2, QStringLiteral("indicador"));
    const bool wholeReference = flag == QLatin1String("T");
    if (!wholeReference && !flag.isEmpty())
      Refuse(QStringLiteral("Indicador de exclusão inválido: '%1'. Use \"T\" para excluir a "
                            "referência inteira ou vazio para excluir um percentil.")
                 .arg(Shown(flag)));
    std::string where = " WHERE CDREFEBIBL = ?";
    SqlParams params{ref};
    if (!wholeReference) {
      where += " AND CDPERCENTIL = ?";
      params.push_back(Code(percText, false));
    }
    auto db = s_.pool_.acquire();
    RequireReference(*db, ref);
    if (!wholeReference) RequirePercentile(*db, std::get<std::string>(params[1]));
    Write(*db, t, [&] {
      // The rows audited are the rows the statement deleted: a listing first
      // would miss rows another instance commits before the delete runs (it
      // sees them under READ COMMITTED), deleting them unaudited and leaving
      // their parts' counters as they were.
      std::vector<Row> deleted;
      // Row locks in key order first, as a copy of the same rows takes them:
      // the delete alone locks in storage order, and the two would deadlock.
      if (db->engine() == Db::Engine::Postgres)
        db->run("SELECT 1 FROM " + std::string(t.name) + where + OrderBy(t) + " FOR UPDATE", params,
                [](const SqlRow&) {});
      db->run("DELETE FROM " + std::string(t.name) + where + " RETURNING " + ColumnList(t), params,
              [&](const SqlRow& r) {
                Row row;
                for (size_t i = 0; i < t.columns.size(); ++i)
                  row.push_back(FromSql(t.columns[i], r, int(i)));
                deleted.push_back(std::move(row));
              });
      for (const Row& row : deleted) {
        Touch(t, row);
        Audit(*db, who_, method_, t, RowJson(t, row), {});
      }
    });
    return True();
  }

  JsonPieces GetPercentil(const TableDef& t) {
    p_.expect(1);
    const QString code = p_.text(0, QStringLiteral("referência"));
    // An empty code selects nothing: a table page without a reference offers
    // no percentile, and the copy dialog still loads the other lists.
    if (code.isEmpty()) {
      std::string out;
      AppendFields(out, kPercentileFields);
      return Share(out + "]}");
    }
    const std::string ref = Code(code, true);
    auto db = s_.pool_.acquire();
    RequireReference(*db, ref);
    return Share(Packet(*db, kPercentileFields,
                        "SELECT p.CDPERCENTIL, p.NMPERCENTIL FROM PERCENTIL p WHERE NOT EXISTS "
                        "(SELECT 1 FROM " +
                            std::string(t.name) +
                            " t WHERE t.CDREFEBIBL = ? AND t.CDPERCENTIL = p.CDPERCENTIL) ORDER "
                            "BY p.CDPERCENTIL",
                        {ref}));
  }

  JsonPieces Copia(const TableDef& t) {
    p_.expect(3);
    const std::string ref = Code(p_.text(0, QStringLiteral("referência")), true);
    const std::string dest = Code(p_.text(1, QStringLiteral("percentil de destino")), false);
    const std::string src = Code(p_.text(2, QStringLiteral("percentil de origem")), false);
    if (dest == src)
      Refuse(QStringLiteral("O percentil de destino deve ser diferente do percentil de origem."));
    auto db = s_.pool_.acquire();
    RequireReference(*db, ref);
    RequirePercentile(*db, dest);
    RequirePercentile(*db, src);
    touched_.emplace(ref, dest);
    Write(*db, t, [&] {
      const std::string where = " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?";
      if (Exists(*db, "SELECT 1 FROM " + std::string(t.name) + where, {ref, dest}))
        Refuse(DestinationTaken(t, dest));
      std::vector<Row> rows = LoadRows(*db, t, where, {ref, src});
      if (rows.empty())
        Refuse(QStringLiteral("O percentil de origem '%1' não tem registros na tabela %2 desta "
                              "referência; nada foi copiado.")
                   .arg(QString::fromStdString(src), TableText(t)));
      const size_t percColumn = size_t(t.columnIndex("CDPERCENTIL"));
      for (Row& row : rows) {
        row[percColumn] = dest;
        InsertRow(*db, t, row);
        Audit(*db, who_, method_, t, {}, RowJson(t, row));
      }
    });
    return True();
  }

 private:
  void Touch(const TableDef& t, const Row& row) {
    touched_.emplace(std::get<std::string>(row[size_t(t.columnIndex("CDREFEBIBL"))]),
                     std::get<std::string>(row[size_t(t.columnIndex("CDPERCENTIL"))]));
  }

  static JsonPieces Share(std::string s) {
    return {std::make_shared<const std::string>(std::move(s))};
  }

  static QString DestinationTaken(const TableDef& t, const std::string& dest) {
    return QStringLiteral(
               "O percentil de destino '%1' já tem registros na tabela %2 desta "
               "referência; nada foi copiado.")
        .arg(QString::fromStdString(dest), TableText(t));
  }

  // One transaction per changing call: the body's checks and writes, the
  // audit rows and the change counter commit together or not at all.
  template <typename Body>
  void Write(Db& db, const TableDef& t, Body body) {
    try {
      Transaction tx(db, true);
      body();
      for (const auto& [ref, perc] : touched_) BumpChangeCounter(db, t.name, ref, perc);
      // Only a connection lost from here on leaves unknown whether the
      // change was kept; before, the database rolls it back.
      committing_ = true;
      tx.commit();
    } catch (const DbError& e) {
      // A concurrent writer got there between our check and our write.
      if (e.kind() == DbError::Kind::Unique)
        Refuse(t.copia == method_ ? QStringLiteral("O percentil de destino já tem registros na "
                                                   "tabela %1; nada foi copiado.")
                                        .arg(TableText(t))
                                  : QString::fromUtf8(t.duplicateMessage));
      throw;
    }
  }

  Service& s_;
  bool& committing_;
  // (reference, percentile) pairs whose rows the call changes.
  std::set<std::pair<std::string, std::string>> touched_;
  const Caller& who_;
  const QString& method_;
  Params p_;
};

// --------------------------------------------------------------- service

Service::Service(const QString& database, size_t dbConnections) : pool_(database, dbConnections) {}

QString Service::Health() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      auto db = pool_.acquire();
      QueryInt(*db, "SELECT COUNT(*) FROM SCHEMA_VERSION", {}, 0);
      return {};
    } catch (const DbError& e) {
      if (e.kind() != DbError::Kind::Connection || attempt == 1)
        return QStringLiteral("O banco de dados não responde: %1").arg(QString::fromUtf8(e.what()));
      pool_.dropIdle();
    }
  }
  return {};
}

void Service::Open() {
  auto db = pool_.acquire();
  Migrate(*db);
}

namespace {

enum class Kind { GetPerc, Valida, Set, Deleta, Percentil, Copia };

struct MethodInfo {
  const TableDef* table = nullptr;
  Kind kind = Kind::GetPerc;
};

std::optional<MethodInfo> Find(const QString& method) {
  const QByteArray m = method.toLatin1();
  for (const TableDef* t : AllTables()) {
    const std::pair<const char*, Kind> names[] = {
        {t->getPerc, Kind::GetPerc}, {t->valida, Kind::Valida},       {t->set, Kind::Set},
        {t->deleta, Kind::Deleta},   {t->percentil, Kind::Percentil}, {t->copia, Kind::Copia}};
    for (const auto& [name, kind] : names)
      if (m == name) return MethodInfo{t, kind};
  }
  return std::nullopt;
}

}  // namespace

bool Service::IsKnownMethod(const QString& method) {
  return method == QLatin1String("GetReferencia") || method == QLatin1String("GetPapel") ||
         method == QLatin1String("GetTabela") || Find(method).has_value() ||
         MasterDataMethods::Knows(method) || IsAuditMethod(method) ||
         method == QLatin1String("AvaliaMedida");
}

bool Service::IsReadOnlyMethod(const QString& method) {
  return method.startsWith(u"Get") || method == QLatin1String("AvaliaMedida");
}

JsonPieces Service::Call(const Caller& caller, const QString& method, const QJsonArray& params) {
  if (!IsKnownMethod(method))
    Fail(RpcError::MethodNotFound,
         QStringLiteral("O servidor de aplicação não conhece o método '%1'.").arg(Shown(method)));
  if (!caller.maintainer && !IsReadOnlyMethod(method))
    Fail(RpcError::Forbidden,
         // The user reads the action; the server's log line names the method.
         QStringLiteral("Você não tem permissão para alterar as tabelas: o usuário '%1' tem "
                        "acesso somente para consulta. Nada foi alterado.")
             .arg(caller.name));
  for (int attempt = 0;; ++attempt) {
    bool committing = false;
    try {
      return Dispatch(caller, method, params, committing);
    } catch (const DbError& e) {
      if (e.kind() == DbError::Kind::Connection) {
        // The database went away (a restart): every pooled connection is as
        // dead as this one. The call is repeated once on a fresh connection,
        // unless its commit had been sent: that one may have been kept.
        pool_.dropIdle();
        if (attempt == 0 && !committing) continue;
        if (committing)
          Fail(RpcError::Internal,
               QStringLiteral("A conexão com o banco de dados caiu enquanto a alteração era "
                              "confirmada; recarregue os dados para ver se ela foi gravada antes "
                              "de repeti-la. Detalhe: %1")
                   .arg(QString::fromUtf8(e.what())));
      }
      if (e.kind() == DbError::Kind::Busy)
        Fail(RpcError::Busy, QStringLiteral("O banco de dados está ocupado com outra operação. "
                                            "Nada foi alterado; tente novamente em instantes."));
      if (e.kind() == DbError::Kind::ForeignKey)
        Fail(RpcError::Refused, QStringLiteral("Referência ou percentil não cadastrado. Nada foi "
                                               "alterado."));
      Fail(RpcError::Internal,
           QStringLiteral("Falha no banco de dados do servidor de aplicação; nada foi alterado. "
                          "Detalhe: %1")
               .arg(QString::fromUtf8(e.what())));
    }
  }
}

JsonPieces Service::Dispatch(const Caller& caller, const QString& method, const QJsonArray& params,
                             bool& committing) {
  const AuditCall call;
  if (IsAuditMethod(method)) return AuditMethods(pool_, caller, method, params, committing).Run();
  Methods m(*this, caller, method, params, committing);
  if (method == QLatin1String("GetReferencia")) return m.GetReferencia();
  if (method == QLatin1String("GetPapel")) return m.GetPapel();
  if (method == QLatin1String("GetTabela")) return m.GetTabela();
  if (MasterDataMethods::Knows(method))
    return MasterDataMethods::Call(*this, caller, method, params, committing);
  if (method == QLatin1String("AvaliaMedida")) return AvaliaMedida(*pool_.acquire(), params);
  const MethodInfo info = *Find(method);
  switch (info.kind) {
    case Kind::GetPerc:
      return m.GetPerc(*info.table);
    case Kind::Valida:
      return m.GetValida(*info.table);
    case Kind::Set:
      return m.Set(*info.table);
    case Kind::Deleta:
      return m.Deleta(*info.table);
    case Kind::Percentil:
      return m.GetPercentil(*info.table);
    case Kind::Copia:
      return m.Copia(*info.table);
  }
  Fail(RpcError::Internal, QStringLiteral("Método sem implementação."));
}

}  // namespace srv
