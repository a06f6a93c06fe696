#include "server/audit_query.h"

#include "server/schema.h"

#include <QDate>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <stdexcept>

namespace srv {

std::vector<AuditEntry> QueryAudit(Db& db, const AuditFilter& f, bool* more) {
  std::string sql =
      "SELECT NRAUDITORIA, DTAUDITORIA, NMUSUARIO, NMMETODO, NMTABELA, CDREFEBIBL, CDPERCENTIL, "
      "DSCHAVE, DSANTERIOR, DSNOVO, NRLOTE, DSGRUPO FROM AUDITORIA";
  SqlParams params;
  auto where = [&](const char* condition, SqlParam value) {
    sql += params.empty() ? " WHERE " : " AND ";
    sql += condition;
    params.push_back(std::move(value));
  };
  if (f.table) where("NMTABELA = ?", std::string(f.table->name));
  if (!f.reference.empty()) where("CDREFEBIBL = ?", f.reference);
  if (!f.percentile.empty()) where("CDPERCENTIL = ?", f.percentile);
  if (!f.key.empty()) where("DSCHAVE = ?", f.key);
  if (!f.user.empty()) where("NMUSUARIO = ?", f.user);
  if (!f.since.empty()) where("DTAUDITORIA >= ?", f.since);
  if (!f.until.empty()) where("DTAUDITORIA < ?", f.until);
  if (f.before > 0) where("NRAUDITORIA < ?", f.before);
  // One row more than asked tells whether there is another page.
  sql += " ORDER BY NRAUDITORIA DESC LIMIT ?";
  params.push_back(std::int64_t(f.limit) + 1);
  std::vector<AuditEntry> out;
  auto text = [](const SqlRow& r, int i) {
    return r.isNull(i) ? std::string() : std::string(r.text(i));
  };
  db.run(sql, params, [&](const SqlRow& r) {
    out.push_back({r.integer(0), text(r, 1), text(r, 2), text(r, 3), text(r, 4), text(r, 5),
                   text(r, 6), text(r, 7), text(r, 8), text(r, 9), r.isNull(10) ? 0 : r.integer(10),
                   text(r, 11)});
  });
  const bool hasMore = out.size() > size_t(f.limit);
  if (hasMore) out.pop_back();
  if (more) *more = hasMore;
  return out;
}

const TableDef* AuditTableByName(const QString& name) {
  const std::pair<const char*, TableId> shortNames[] = {
      {"age", TableId::Age}, {"height", TableId::Height}, {"nchs", TableId::Nchs}};
  for (const auto& [n, id] : shortNames)
    if (name == QLatin1String(n)) return &Table(id);
  for (const TableDef* t : AllTables())
    if (name == QLatin1String(t->name)) return t;
  return nullptr;
}

std::optional<std::string> AuditTime(const QString& text) {
  const QString t = text.trimmed();
  for (const char* format : {"yyyy-MM-dd", "dd/MM/yyyy"}) {
    const QDate d = QDate::fromString(t, QLatin1String(format));
    if (d.isValid()) return d.toString(QStringLiteral("yyyy-MM-dd")).toStdString();
  }
  const QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
  if (dt.isValid()) return dt.toUTC().toString(Qt::ISODateWithMs).toStdString();
  return std::nullopt;
}

namespace {

QString Shown(const QJsonValue& v) {
  if (v.isDouble()) return QString::number(v.toDouble(), 'g', 15).replace(u'.', u',');
  if (v.isString()) return v.toString();
  return QStringLiteral("(vazio)");
}

QJsonObject Parsed(const std::string& json) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

QString OperationText(char op) {
  return op == 'I'   ? QStringLiteral("Inclusão")
         : op == 'E' ? QStringLiteral("Exclusão")
                     : QStringLiteral("Alteração");
}

std::string Csv(const QString& s) {
  if (!s.contains(u';') && !s.contains(u'"') && !s.contains(u'\n')) return s.toStdString();
  QString q = s;
  q.replace(u'"', QStringLiteral("\"\""));
  return ('"' + q + '"').toStdString();
}

}  // namespace

QStringList AuditChanges(const AuditEntry& e) {
  const QJsonObject before = Parsed(e.oldJson);
  const QJsonObject after = Parsed(e.newJson);
  const TableDef* t = nullptr;
  for (const TableDef* d : AllTables())
    if (e.table == d->name) t = d;
  QStringList names;
  if (t) {
    for (const ColumnDef& c : t->columns) names << QLatin1String(c.name);
  } else {
    names = before.keys() + after.keys();
    names.removeDuplicates();
  }
  QStringList out;
  for (const QString& n : names) {
    const QJsonValue a = before.value(n), b = after.value(n);
    if (!before.isEmpty() && !after.isEmpty() && a == b) continue;
    if (after.isEmpty())
      out << QStringLiteral("%1: %2").arg(n, Shown(a));
    else if (before.isEmpty())
      out << QStringLiteral("%1: %2").arg(n, Shown(b));
    else
      out << QStringLiteral("%1: %2 -> %3").arg(n, Shown(a), Shown(b));
  }
  return out;
}

std::string AuditReport(const QString& database, AuditFilter filter, bool csv) {
  std::unique_ptr<Db> db = OpenDb(database);
  Migrate(*db);
  std::string out;
  if (csv)
    out +=
        "NRAUDITORIA;DTAUDITORIA;NMUSUARIO;OPERACAO;NMTABELA;CDREFEBIBL;CDPERCENTIL;DSCHAVE;"
        "NMMETODO;ALTERACOES\n";
  filter.limit = kMaxAuditPage;
  for (bool more = true; more;) {
    const std::vector<AuditEntry> page = QueryAudit(*db, filter, &more);
    for (const AuditEntry& e : page) {
      const QString changes =
          AuditChanges(e).join(csv ? QStringLiteral(" | ") : QStringLiteral("; "));
      if (csv) {
        out += std::to_string(e.number) + ';' + e.when + ';' + Csv(QString::fromStdString(e.user)) +
               ';' + OperationText(e.operation()).toStdString() + ';' + e.table + ';' +
               e.reference + ';' + e.percentile + ';' + e.key + ';' + e.method + ';' +
               Csv(changes) + '\n';
      } else {
        out += QStringLiteral("%1  %2  %3  %4  %5  ref. %6  perc. %7  chave %8  (%9)\n    %10\n")
                   .arg(e.number)
                   .arg(QString::fromStdString(e.when), QString::fromStdString(e.user),
                        OperationText(e.operation()), QString::fromStdString(e.table),
                        QString::fromStdString(e.reference.empty() ? "-" : e.reference),
                        QString::fromStdString(e.percentile.empty() ? "-" : e.percentile),
                        QString::fromStdString(e.key.empty() ? "-" : e.key),
                        QString::fromStdString(e.method))
                   .arg(changes)
                   .toStdString();
      }
    }
    if (!page.empty()) filter.before = page.back().number;
  }
  if (!csv && out.empty()) out = "Nenhum registro de histórico com esses filtros.\n";
  return out;
}

}  // namespace srv
