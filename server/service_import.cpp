// ImportaTabela: a table read from a spreadsheet by the workstation, written
// whole or not at all; and the write it shares with tabrelpeso-admin.
#include "server/audit_log.h"
#include "server/json_out.h"
#include "server/schema.h"
#include "server/service_p.h"
#include "server/table_import.h"

#include <QDateTime>
#include <QJsonDocument>

#include <map>
#include <set>

namespace srv {

namespace {

std::string Text(const Row& row, const TableDef& t, const char* column) {
  const Value& v = row[size_t(t.columnIndex(column))];
  return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}

void WriteLms(Db& db, const std::string& user, const std::string& method, const TableImport& in) {
  std::set<std::pair<std::string, char>> curves;
  for (const LmsPoint& p : in.lms) curves.emplace(p.indicator, p.unit);
  for (const auto& [indicator, unit] : curves)
    db.run("DELETE FROM LMSREFERENCIA WHERE CDREFEBIBL = ? AND CDINDICADOR = ? AND CDUNIDADE = ?",
           {in.reference, indicator, std::string(1, unit)});
  std::set<std::tuple<std::string, char, char, double>> seen;
  for (const LmsPoint& p : in.lms) {
    if (!seen.emplace(p.indicator, p.sex, p.unit, p.key).second)
      Refuse(QStringLiteral("L, M e S repetidos: %1, sexo %2, chave %3. Nada foi gravado.")
                 .arg(QString::fromStdString(p.indicator), QString(QChar(p.sex)), Num(p.key)));
    if (!(p.m > 0) || !(p.s > 0))
      Refuse(QStringLiteral("L, M e S inválidos em %1, chave %2: M e S devem ser maiores que zero. "
                            "Nada foi gravado.")
                 .arg(QString::fromStdString(p.indicator), Num(p.key)));
    db.run(
        "INSERT INTO LMSREFERENCIA (CDREFEBIBL, CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, "
        "VRS, CDORIGEM) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {in.reference, p.indicator, std::string(1, p.sex), std::string(1, p.unit), p.key, p.l, p.m,
         p.s, in.lmsOrigin});
  }
  if (in.lms.empty()) return;
  // Servers keep a reference's L, M and S between assessments while this holds.
  BumpChangeCounter(db, "LMSREFERENCIA", in.reference, "");
  std::string summary = "{\"CDREFEBIBL\":";
  AppendString(summary, in.reference);
  summary += ",\"pontos\":" + std::to_string(in.lms.size()) + "}";
  db.run(
      "INSERT INTO AUDITORIA (NMUSUARIO, DTAUDITORIA, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, "
      "CDREFEBIBL, NRLOTE, DSGRUPO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {user, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString(), method,
       std::string("LMSREFERENCIA"), std::monostate{}, summary, in.reference, AuditCall::Current(),
       AuditCall::Group().empty() ? SqlParam{} : SqlParam{AuditCall::Group()}});
}

Row ToRow(const TableDef& t, const std::string& ref, const QVariantMap& columns) {
  Row row;
  for (const ColumnDef& c : t.columns) {
    if (c.name == std::string_view("CDREFEBIBL")) {
      row.emplace_back(ref);
      continue;
    }
    const QVariant v = columns.value(QString::fromLatin1(c.name));
    if (v.isNull() || !v.isValid())
      row.emplace_back(std::monostate{});
    else if (c.kind == ColumnDef::Kind::Code)
      row.emplace_back(v.toString().toStdString());
    else
      row.emplace_back(v.toDouble());
  }
  return row;
}

}  // namespace

void AddGrowthRows(TableImport& in, const trp::growth::Rows& rows) {
  for (const auto& r : rows.age)
    in.rows[int(TableId::Age)].push_back(ToRow(Table(TableId::Age), in.reference, r.Columns()));
  for (const auto& r : rows.height)
    in.rows[int(TableId::Height)].push_back(
        ToRow(Table(TableId::Height), in.reference, r.Columns()));
  for (const auto& r : rows.nchs)
    in.rows[int(TableId::Nchs)].push_back(ToRow(Table(TableId::Nchs), in.reference, r.Columns()));
  for (const trp::growth::LmsRow& p : rows.lms)
    in.lms.push_back(
        {p.indicator, p.sex == trp::growth::kMale ? 'M' : 'F', p.unit, p.key, p.l, p.m, p.s});
}

std::int64_t CountReplaced(Db& db, const std::string& reference,
                           const std::vector<std::string> (&percentiles)[3]) {
  std::int64_t n = 0;
  for (const TableDef* t : AllTables())
    for (const std::string& p : percentiles[int(t->id)])
      n += QueryInt(db,
                    "SELECT COUNT(*) FROM " + std::string(t->name) +
                        " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?",
                    {reference, p}, 0);
  return n;
}

TableImportCounts WriteTableImport(Db& db, const std::string& user, const std::string& method,
                                   const TableImport& in) {
  TableImportCounts n;
  std::vector<std::string> percentiles[3];
  for (const TableDef* t : AllTables()) {
    std::set<std::string> seen;
    for (const Row& row : in.rows[int(t->id)]) {
      ValidateNewRow(*t, row);
      if (Text(row, *t, "CDREFEBIBL") != in.reference)
        Refuse(QStringLiteral("Uma linha da importação é de outra referência ('%1'). Nada foi "
                              "gravado.")
                   .arg(QString::fromStdString(Text(row, *t, "CDREFEBIBL"))));
      const std::string perc = Text(row, *t, "CDPERCENTIL");
      if (seen.insert(perc).second) percentiles[int(t->id)].push_back(perc);
    }
  }
  const MasterAudit audit{QString::fromStdString(user), QString::fromStdString(method)};
  if (in.newReference) AddReference(db, audit, *in.newReference);
  RequireReference(db, in.reference);
  for (const PercentileEntry& p : in.newPercentiles)
    if (!FindPercentile(db, p.code)) AddPercentile(db, audit, p);
  const std::int64_t replaced = CountReplaced(db, in.reference, percentiles);
  if (in.expectedReplaced && *in.expectedReplaced != replaced)
    Fail(RpcError::Conflict,
         QStringLiteral("As linhas da referência '%1' mudaram desde a prévia (%2 linha(s) seriam "
                        "substituídas; agora são %3): outro usuário as alterou. Nada foi gravado; "
                        "refaça a prévia.")
             .arg(QString::fromStdString(in.reference))
             .arg(*in.expectedReplaced)
             .arg(replaced));
  for (const TableDef* t : AllTables()) {
    for (const std::string& perc : percentiles[int(t->id)]) {
      RequirePercentile(db, perc);
      const std::string where = " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?";
      for (const Row& old : LoadRows(db, *t, where, {in.reference, perc}))
        WriteAudit(db, user, method, *t, RowJson(*t, old), {});
      n.replaced += db.run("DELETE FROM " + std::string(t->name) + where, {in.reference, perc});
    }
    std::set<std::string> keys;
    for (const Row& row : in.rows[int(t->id)]) {
      try {
        InsertRow(db, *t, row);
      } catch (const DbError& e) {
        if (e.kind() == DbError::Kind::Unique)
          Refuse(
              QStringLiteral("Chave repetida na importação: tabela %1, percentil %2, chave "
                             "%3. Nada foi gravado.")
                  .arg(TableText(*t), QString::fromStdString(Text(row, *t, "CDPERCENTIL")),
                       QString::fromStdString(AuditKeyText(
                           *t, QJsonDocument::fromJson(QByteArray::fromStdString(RowJson(*t, row)))
                                   .object()))));
        throw;
      }
      WriteAudit(db, user, method, *t, {}, RowJson(*t, row));
      ++n.inserted;
    }
    for (const std::string& perc : percentiles[int(t->id)])
      BumpChangeCounter(db, t->name, in.reference, perc);
  }
  WriteLms(db, user, method, in);
  n.lms = std::int64_t(in.lms.size());
  return n;
}

JsonPieces Methods::ImportaTabela() {
  p_.expect(9);
  TableImport in;
  in.reference = Code(p_.text(0, QStringLiteral("referência")), true);
  const QJsonArray& a = p_.array();
  if (a.at(1).isArray()) {
    const QJsonArray r = a.at(1).toArray();
    if (r.size() != 4)
      BadParams(QStringLiteral("A nova referência vai como [nome, citação, fonte, licença]."));
    in.newReference = MakeReference(QString::fromStdString(in.reference), r.at(0).toString(),
                                    r.at(1).toString(), r.at(2).toString(), r.at(3).toString());
  } else if (!a.at(1).isNull()) {
    BadParams(
        QStringLiteral("A nova referência vai como [nome, citação, fonte, licença] ou null."));
  }
  if (!a.at(2).isArray())
    BadParams(QStringLiteral("Os percentis novos vão como uma lista de [código, nome, valor]."));
  for (const QJsonValue& v : a.at(2).toArray()) {
    const QJsonArray p = v.toArray();
    if (p.size() != 3 || !p.at(0).isString() || !p.at(1).isString() ||
        !(p.at(2).isDouble() || p.at(2).isNull()))
      BadParams(QStringLiteral("Os percentis novos vão como uma lista de [código, nome, valor]."));
    in.newPercentiles.push_back(MakePercentile(
        p.at(0).toString(), p.at(1).toString(),
        p.at(2).isNull() ? std::nullopt : std::optional<double>(p.at(2).toDouble())));
  }
  for (const TableDef* t : AllTables()) {
    const QJsonValue v = a.at(3 + int(t->id));
    if (v.isNull()) continue;
    const Delta d = ParseDelta(
        *t, p_.object(3 + int(t->id),
                      QStringLiteral("um pacote de inclusões da tabela %1").arg(TableText(*t))));
    for (const DeltaChange& c : d.changes) {
      if (c.op != DeltaChange::Op::Insert)
        BadParams(QStringLiteral("Uma importação só inclui linhas."));
      in.rows[int(t->id)].push_back(c.newRow);
    }
  }
  if (a.at(6).isObject()) {
    const QJsonObject o = a.at(6).toObject();
    QStringList fields;
    for (const QJsonValue& f : o.value(QLatin1String("fields")).toArray())
      fields << f.toObject().value(QLatin1String("name")).toString();
    const QStringList wanted{"CDINDICADOR", "CDSEXO", "CDUNIDADE", "VRCHAVE",
                             "VRL",         "VRM",    "VRS",       "CDORIGEM"};
    if (fields != wanted)
      BadParams(QStringLiteral("L, M e S vão num pacote de %1.").arg(wanted.join(u',')));
    for (const QJsonValue& rv : o.value(QLatin1String("rows")).toArray()) {
      const QJsonArray r = rv.toArray();
      const QString sex = r.at(1).toString(), unit = r.at(2).toString();
      if (r.size() != 8 || (sex != u"M" && sex != u"F") ||
          (unit != u"D" && unit != u"M" && unit != u"C") || !r.at(3).isDouble() ||
          !r.at(4).isDouble() || !r.at(5).isDouble() || !r.at(6).isDouble())
        BadParams(QStringLiteral("Linha de L, M e S inválida."));
      static const QStringList indicators{"peso_idade",   "comprimento_idade", "estatura_idade",
                                          "pc_idade",     "imc_idade",         "peso_comprimento",
                                          "peso_estatura"};
      if (!indicators.contains(r.at(0).toString()))
        BadParams(QStringLiteral("Indicador de L, M e S desconhecido: '%1'.")
                      .arg(Shown(r.at(0).toString())));
      in.lms.push_back({r.at(0).toString().toStdString(), sex.toLatin1()[0], unit.toLatin1()[0],
                        r.at(3).toDouble(), r.at(4).toDouble(), r.at(5).toDouble(),
                        r.at(6).toDouble()});
      in.lmsOrigin = r.at(7).toString() == u"OMS" ? "OMS" : "CDC";
    }
  } else if (!a.at(6).isNull()) {
    BadParams(QStringLiteral("L, M e S vão num pacote ou null."));
  }
  const QString group = p_.text(7, QStringLiteral("grupo"));
  if (!group.isEmpty()) AuditCall::SetGroup(GroupId(group));
  if (a.at(8).isDouble()) in.expectedReplaced = std::int64_t(a.at(8).toDouble());
  auto db = s_.pool_.acquire();
  TableImportCounts n;
  try {
    Transaction tx(*db, true);
    n = WriteTableImport(*db, who_.name.toStdString(), method_.toStdString(), in);
    committing_ = true;
    tx.commit();
  } catch (const DbError& e) {
    if (e.kind() == DbError::Kind::Unique)
      Refuse(
          QStringLiteral("Outro usuário gravou a mesma referência, percentil ou linha ao mesmo "
                         "tempo. Nada foi gravado; refaça a prévia."));
    throw;
  }
  // [inseridas, substituídas, pontos de L, M e S]
  return Share("[" + std::to_string(n.inserted) + "," + std::to_string(n.replaced) + "," +
               std::to_string(n.lms) + "]");
}

}  // namespace srv
