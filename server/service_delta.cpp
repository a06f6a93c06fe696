// Set: a workstation's delta applied to a row table, with conflict checks.
#include "server/service_p.h"

#include <set>

namespace srv {

namespace {

const QString kConflict = QStringLiteral(
    "Registro alterado ou excluído por outro usuário. Verifique os dados e tente novamente.");

// True when every column the delta carries still holds the delta's original value.
bool Matches(const Delta& d, const Row& stored, const Row& original) {
  for (size_t i = 0; i < stored.size(); ++i)
    if (d.present[i] && stored[i] != original[i]) return false;
  return true;
}

}  // namespace

JsonPieces Methods::Set(const TableDef& t) {
  p_.expect(1);
  const Delta d = ParseDelta(
      t, p_.object(
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

}  // namespace srv
