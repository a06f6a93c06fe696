// The rows of the three tables between SQL and JSON, shared by the table methods.
#include "server/service_p.h"

#include "server/audit_log.h"
#include "server/json_out.h"

#include <cmath>
#include <variant>

namespace srv {

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

namespace {

void AppendValue(std::string& out, const Value& v) {
  if (auto s = std::get_if<std::string>(&v))
    AppendString(out, *s);
  else if (auto d = std::get_if<double>(&v))
    AppendNumber(out, *d);
  else
    out += "null";
}

}  // namespace

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

std::string ColumnList(const TableDef& t, const char* alias) {
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

void Audit(Db& db, const Caller& who, const QString& method, const TableDef& t,
           const std::string& oldJson, const std::string& newJson) {
  WriteAudit(db, who.name.toStdString(), method.toStdString(), t, oldJson, newJson);
}

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

JsonPieces True() {
  static const auto t = std::make_shared<const std::string>("true");
  return {t};
}

}  // namespace srv
