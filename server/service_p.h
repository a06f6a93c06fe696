#pragma once
// Private to the service_*.cpp files: the context of one table method call
// and the row, SQL and packet helpers its method families share.

#include "server/call_checks.h"
#include "server/schema.h"
#include "server/service.h"
#include "server/storage.h"
#include "server/tables.h"

#include <QJsonArray>
#include <QString>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace srv {

// --- codes a call names (service_rows.cpp)

void RequireReference(Db& db, const std::string& code);
void RequirePercentile(Db& db, const std::string& code);

// --- a row's values between SQL and JSON

SqlParam ToParam(const ColumnDef& c, const Value& v);
Value FromSql(const ColumnDef& c, const SqlRow& r, int i);
// A row as one JSON object, as the audit trail keeps it.
std::string RowJson(const TableDef& t, const Row& row);

// --- packets

struct OutField {
  const char* name;
  bool isString;
  int size;
};

void AppendFields(std::string& out, const std::vector<OutField>& fields);
std::vector<OutField> FieldsOf(const TableDef& t);
// One row as packet JSON, after a comma unless it is the first.
void AppendRow(std::string& out, const std::vector<OutField>& fields, const SqlRow& r, bool first);
// Streams the rows of a query straight into packet JSON.
void AppendRows(Db& db, std::string& out, const std::vector<OutField>& fields, std::string_view sql,
                const SqlParams& params);
std::string Packet(Db& db, const std::vector<OutField>& fields, std::string_view sql,
                   const SqlParams& params);

// --- statement text of a row table

std::string ColumnList(const TableDef& t, const char* alias = nullptr);
std::string OrderBy(const TableDef& t);
std::string KeyWhere(const TableDef& t);
SqlParams KeyParams(const TableDef& t, const Row& row);
bool SameKey(const TableDef& t, const Row& a, const Row& b);

// --- rows read (locked on PostgreSQL) and written inside the call's transaction

std::optional<Row> LoadRow(Db& db, const TableDef& t, const Row& keyRow);
std::vector<Row> LoadRows(Db& db, const TableDef& t, const std::string& where,
                          const SqlParams& params);
void InsertRow(Db& db, const TableDef& t, const Row& row);
void Audit(Db& db, const Caller& who, const QString& method, const TableDef& t,
           const std::string& oldJson, const std::string& newJson);

JsonPieces True();

// One call of a table method, or of GetReferencia, GetPapel, GetUsuario and GetTabela.
// Each family of methods is defined in its own file.
class Methods {
 public:
  Methods(Service& s, const Caller& who, const QString& method, const QJsonArray& params,
          bool& committing)
      : s_(s), committing_(committing), who_(who), method_(method), p_(method, params) {}

  // service_reads.cpp
  JsonPieces GetReferencia();
  JsonPieces GetPapel();
  JsonPieces GetUsuario();
  JsonPieces GetTabela();
  JsonPieces GetValida(const TableDef& t);
  JsonPieces GetPercentil(const TableDef& t);
  // service_table_cache.cpp
  JsonPieces GetPerc(const TableDef& t);
  // service_delta.cpp
  JsonPieces Set(const TableDef& t);
  // service_delete_copy.cpp
  JsonPieces Deleta(const TableDef& t);
  JsonPieces Copia(const TableDef& t);
  // service_import.cpp
  JsonPieces ImportaTabela();

 private:
  void Touch(const TableDef& t, const Row& row) {
    touched_.emplace(std::get<std::string>(row[size_t(t.columnIndex("CDREFEBIBL"))]),
                     std::get<std::string>(row[size_t(t.columnIndex("CDPERCENTIL"))]));
  }

  static JsonPieces Share(std::string s) {
    return {std::make_shared<const std::string>(std::move(s))};
  }

  static QString DestinationTaken(const TableDef& t, const std::string& dest);

  template <typename Body>
  void Write(Db& db, const TableDef& t, Body body);

  Service& s_;
  bool& committing_;
  // (reference, percentile) pairs whose rows the call changes.
  std::set<std::pair<std::string, std::string>> touched_;
  const Caller& who_;
  const QString& method_;
  Params p_;
};

// One transaction per changing call: the body's checks and writes, the
// audit rows and the change counter commit together or not at all.
template <typename Body>
void Methods::Write(Db& db, const TableDef& t, Body body) {
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

}  // namespace srv
