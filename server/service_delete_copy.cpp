// Deleta and Copia: a reference's or percentile's rows deleted, or copied to another percentile.
#include "server/audit_log.h"
#include "server/service_p.h"

namespace srv {

JsonPieces Methods::Deleta(const TableDef& t) {
  p_.expectBetween(3, 4);
  const std::string ref = Code(p_.text(0, QStringLiteral("referência")), true);
  const QString percText = p_.text(1, QStringLiteral("percentil"));
  const QString flag = p_.text(2, QStringLiteral("indicador"));
  const bool wholeReference = flag == QLatin1String("T");
  if (!wholeReference && !flag.isEmpty())
    Refuse(QStringLiteral("Indicador de exclusão inválido: '%1'. Use \"T\" para excluir a "
                          "referência inteira ou vazio para excluir um percentil.")
               .arg(Shown(flag)));
  // The screen deletes a reference with one call per table, all naming one
  // group: restoring that deletion puts back exactly what the group deleted.
  if (p_.size() == 4) AuditCall::SetGroup(GroupId(p_.text(3, QStringLiteral("grupo"))));
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

JsonPieces Methods::Copia(const TableDef& t) {
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

QString Methods::DestinationTaken(const TableDef& t, const std::string& dest) {
  return QStringLiteral(
             "O percentil de destino '%1' já tem registros na tabela %2 desta "
             "referência; nada foi copiado.")
      .arg(QString::fromStdString(dest), TableText(t));
}

}  // namespace srv
