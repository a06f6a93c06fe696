// Restoring a deletion from the history: the rows a deletion removed go back
// exactly as the audit stored them, in one transaction audited as the
// current maintainer's change; nothing is overwritten.

#include "server/audit_log.h"
#include "server/audit_methods.h"
#include "server/call_checks.h"
#include "server/schema.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <map>
#include <memory>
#include <set>

namespace srv {

namespace {

const char* const kMethod = "RestauraExclusao";

// The calls of the user action a deletion belongs to: every call that
// carried its group id, by the same user; a call without a group (older rows,
// a deletion made on its own) is its own action.
std::vector<std::int64_t> ActionCalls(Db& db, std::int64_t number, std::int64_t call) {
  std::string group, user;
  db.run("SELECT DSGRUPO, NMUSUARIO FROM AUDITORIA WHERE NRAUDITORIA = ?", {number},
         [&](const SqlRow& r) {
           if (!r.isNull(0)) group = r.text(0);
           user = r.text(1);
         });
  if (group.empty()) return {call};
  std::vector<std::int64_t> calls;
  db.run("SELECT DISTINCT NRLOTE FROM AUDITORIA WHERE DSGRUPO = ? AND NMUSUARIO = ?",
         {group, user}, [&](const SqlRow& r) {
           if (!r.isNull(0)) calls.push_back(r.integer(0));
         });
  return calls;
}

SqlParam ParamOf(const ColumnDef& c, const QJsonValue& v) {
  if (v.isString()) return v.toString().toStdString();
  if (!v.isDouble()) return std::monostate{};
  if (c.kind == ColumnDef::Kind::Whole) return std::int64_t(std::llround(v.toDouble()));
  return v.toDouble();
}

struct Deleted {
  const TableDef* table;
  QJsonObject row;
  std::string json;
};

}  // namespace

JsonPieces AuditMethods::RestauraExclusao() {
  const Params p(method_, params_);
  p.expect(2);
  const double numberValue = p.number(0, QStringLiteral("número do histórico"));
  const QString scope = p.text(1, QStringLiteral("abrangência"));
  if (scope != QLatin1String("L") && scope != QLatin1String("P") && scope != QLatin1String("R"))
    BadParams(QStringLiteral("Abrangência inválida: '%1'. Use L (a linha), P (o percentil) ou R "
                             "(a referência inteira).")
                  .arg(Shown(scope)));
  const auto number = std::int64_t(numberValue);

  auto db = pool_.acquire();
  Transaction tx(*db, true);
  std::int64_t call = 0;
  bool found = false, deletion = false;
  db->run(
      "SELECT NRLOTE, CASE WHEN DSANTERIOR IS NOT NULL AND DSNOVO IS NULL THEN 1 "
      "ELSE 0 END FROM AUDITORIA "
      "WHERE NRAUDITORIA = ?",
      {number}, [&](const SqlRow& r) {
        found = true;
        call = r.isNull(0) ? 0 : r.integer(0);
        deletion = r.integer(1) != 0;
      });
  if (!found)
    Refuse(
        QStringLiteral("O registro %1 do histórico não existe; nada foi restaurado.").arg(number));
  if (!deletion)
    Refuse(QStringLiteral("O registro %1 do histórico não é uma exclusão; só linhas excluídas "
                          "podem ser restauradas. Nada foi restaurado.")
               .arg(number));

  std::string where = " WHERE NRAUDITORIA = ?";
  SqlParams params{number};
  if (scope != QLatin1String("L") && call) {
    std::vector<std::int64_t> calls{call};
    if (scope == QLatin1String("R")) calls = ActionCalls(*db, number, call);
    where = " WHERE DSNOVO IS NULL AND DSANTERIOR IS NOT NULL AND NRLOTE IN (";
    params.clear();
    for (size_t i = 0; i < calls.size(); ++i) {
      where += i ? ", ?" : "?";
      params.emplace_back(calls[i]);
    }
    where += ")";
  }
  std::vector<Deleted> rows;
  db->run("SELECT NMTABELA, DSANTERIOR FROM AUDITORIA" + where + " ORDER BY NRAUDITORIA", params,
          [&](const SqlRow& r) {
            const TableDef* t = TableNamed(r.text(0));
            std::string json(r.text(1));
            QJsonObject row = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
            // An import's summary is no row of a table.
            if (t && !AuditKeyText(*t, row).empty())
              rows.push_back({t, std::move(row), std::move(json)});
          });
  if (rows.empty())
    Refuse(QStringLiteral("O registro %1 do histórico não guarda linhas que possam ser "
                          "restauradas; nada foi restaurado.")
               .arg(number));

  // Every key is checked before anything is written: a restore is whole or nothing.
  QStringList taken;
  std::set<std::string> references, percentiles;
  for (const Deleted& d : rows) {
    const TableDef& t = *d.table;
    std::string sql = "SELECT 1 FROM " + std::string(t.name) + " WHERE ";
    SqlParams key;
    for (size_t i = 0; i < t.keyOrder.size(); ++i) {
      sql += (i ? " AND " : "") + std::string(t.keyOrder[i]) + " = ?";
      key.push_back(ParamOf(t.column(t.keyOrder[i]), d.row.value(QLatin1String(t.keyOrder[i]))));
    }
    if (Exists(*db, sql, key))
      taken << QStringLiteral("%1, referência %2, percentil %3, chave %4")
                   .arg(TableText(t), d.row.value(QLatin1String("CDREFEBIBL")).toString(),
                        d.row.value(QLatin1String("CDPERCENTIL")).toString(),
                        QString::fromStdString(AuditKeyText(t, d.row)));
    references.insert(d.row.value(QLatin1String("CDREFEBIBL")).toString().toStdString());
    percentiles.insert(d.row.value(QLatin1String("CDPERCENTIL")).toString().toStdString());
  }
  if (!taken.isEmpty()) {
    const qsizetype shown = std::min<qsizetype>(taken.size(), 5);
    Refuse(QStringLiteral("Não foi possível restaurar: %1 linha(s) com a mesma chave já "
                          "existe(m) hoje (%2%3). Nada foi restaurado nem sobrescrito; exclua "
                          "essas linhas antes se quiser restaurar.")
               .arg(taken.size())
               .arg(taken.mid(0, shown).join(QStringLiteral("; ")))
               .arg(taken.size() > shown ? QStringLiteral("; …") : QString()));
  }
  for (const std::string& r : references)
    if (!Exists(*db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {r}))
      Refuse(QStringLiteral("A referência '%1' não está mais cadastrada; cadastre-a antes de "
                            "restaurar. Nada foi restaurado.")
                 .arg(QString::fromStdString(r)));
  for (const std::string& pc : percentiles)
    if (!Exists(*db, "SELECT 1 FROM PERCENTIL WHERE CDPERCENTIL = ?", {pc}))
      Refuse(QStringLiteral("O percentil '%1' não está mais cadastrado; cadastre-o antes de "
                            "restaurar. Nada foi restaurado.")
                 .arg(QString::fromStdString(pc)));

  std::set<std::tuple<const char*, std::string, std::string>> touched;
  for (const Deleted& d : rows) {
    const TableDef& t = *d.table;
    std::string sql = "INSERT INTO " + std::string(t.name) + " (";
    std::string values;
    SqlParams p2;
    for (size_t i = 0; i < t.columns.size(); ++i) {
      sql += (i ? ", " : "") + std::string(t.columns[i].name);
      values += i ? ", ?" : "?";
      p2.push_back(ParamOf(t.columns[i], d.row.value(QLatin1String(t.columns[i].name))));
    }
    try {
      db->run(sql + ") VALUES (" + values + ")", p2);
    } catch (const DbError& e) {
      // Another workstation created the key after the check.
      if (e.kind() == DbError::Kind::Unique)
        Refuse(QStringLiteral("Não foi possível restaurar: uma linha com a mesma chave acabou de "
                              "ser criada (%1, chave %2). Nada foi restaurado.")
                   .arg(TableText(t), QString::fromStdString(AuditKeyText(t, d.row))));
      throw;
    }
    WriteAudit(*db, who_.name.toStdString(), kMethod, t, {}, d.json);
    touched.emplace(t.name, d.row.value(QLatin1String("CDREFEBIBL")).toString().toStdString(),
                    d.row.value(QLatin1String("CDPERCENTIL")).toString().toStdString());
  }
  for (const auto& [table, ref, perc] : touched) BumpChangeCounter(*db, table, ref, perc);
  committing_ = true;
  tx.commit();
  static const auto t = std::make_shared<const std::string>("true");
  return {t};
}

}  // namespace srv
