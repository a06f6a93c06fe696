#include "report/report_query.h"

#include "framework/data/errors.h"
#include "framework/sql/localdb.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace report {

namespace {

const QRegularExpression& InListPattern() {
  static const QRegularExpression pattern(
      QStringLiteral("IN_LIST\\s*\\(\\s*([^,()]+?)\\s*,\\s*:([A-Za-z_][A-Za-z0-9_]*)\\s*\\)"),
      QRegularExpression::CaseInsensitiveOption);
  return pattern;
}

QVariant ValueOf(const fw::TQueryParams& params, const QString& name) {
  if (!params.ExistParam(name))
    throw fw::Error(
        QStringLiteral("O parâmetro '%1' da consulta do relatório não foi informado.").arg(name));
  const fw::TQueryParam& p = params.ParamByName(name);
  if (p.IsNull())
    throw fw::Error(
        QStringLiteral("O parâmetro '%1' da consulta do relatório não foi informado.").arg(name));
  return p.Value();
}

// A key that leads a longer one comes after it: a section grouped by the
// reference alone follows every (reference, percentile) block of it.
int CompareKeys(const QStringList& a, const QStringList& b) {
  for (qsizetype i = 0; i < a.size() && i < b.size(); ++i) {
    const int c = QString::compare(a[i], b[i]);
    if (c != 0) return c;
  }
  return a.size() == b.size() ? 0 : a.size() > b.size() ? -1 : 1;
}

}  // namespace

QStringList QueryParameterNames(const ReportDefinition& definition, fw::SqlDialect dialect) {
  QStringList names;
  for (const SectionDef& s : definition.sections) {
    for (const QString& name : fw::ParameterNames(s.Sql(dialect))) {
      bool seen = false;
      for (const QString& n : names) seen = seen || n.compare(name, Qt::CaseInsensitive) == 0;
      if (!seen) names << name;
    }
  }
  return names;
}

BoundSql BindParameters(const QString& sql, const fw::TQueryParams& params) {
  BoundSql bound;
  int serial = 0;
  // Lists first: each code becomes a placeholder of its own.
  QString text;
  qsizetype last = 0;
  for (auto it = InListPattern().globalMatch(sql); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    text += sql.mid(last, m.capturedStart() - last);
    last = m.capturedEnd();
    const QString column = m.captured(1);
    const QString value = ValueOf(params, m.captured(2)).toString().trimmed();
    if (value == QLatin1String("T")) {
      text += QStringLiteral("1 = 1");
      continue;
    }
    QStringList placeholders;
    for (const QString& code : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
      const QString trimmed = code.trimmed();
      if (trimmed.isEmpty()) continue;
      const QString name = QStringLiteral("TRP_LISTA_%1").arg(++serial);
      placeholders << QLatin1Char(':') + name;
      bound.values.emplace_back(name, trimmed);
    }
    text += placeholders.isEmpty()
                ? QStringLiteral("1 = 0")
                : QStringLiteral("%1 IN (%2)").arg(column, placeholders.join(QStringLiteral(", ")));
  }
  text += sql.mid(last);
  for (const QString& name : fw::ParameterNames(text)) {
    if (name.startsWith(QLatin1String("TRP_LISTA_"))) continue;
    bound.values.emplace_back(name, ValueOf(params, name));
  }
  bound.sql = text;
  return bound;
}

QVariant Block::Value(int row, const QString& field) const {
  const auto it = columns->constFind(field);
  if (it == columns->cend() || row < 0 || row >= rows.size()) return {};
  return rows[row][*it];
}

struct BlockReader::Stream {
  int section = 0;
  QSqlQuery query;
  std::shared_ptr<QHash<QString, int>> columns;
  QList<int> keyColumns;
  bool hasRow = false;  // `query` stands on a row not yet handed out
  bool done = false;
  Block pending;  // the next block, complete
  bool hasPending = false;

  QStringList KeyOfCurrent() const {
    QStringList key;
    for (int c : keyColumns) key << query.value(c).toString();
    return key;
  }

  QVector<QVariant> CurrentRow() const {
    QVector<QVariant> row(columns->size());
    for (int c = 0; c < row.size(); ++c) row[c] = query.value(c);
    return row;
  }

  void Fill() {
    if (hasPending || done) return;
    if (!hasRow) {
      done = true;
      return;
    }
    pending = Block{};
    pending.section = section;
    pending.columns = columns;
    pending.groupKey = KeyOfCurrent();
    do {
      pending.rows << CurrentRow();
      hasRow = query.next();
    } while (hasRow && KeyOfCurrent() == pending.groupKey);
    hasPending = true;
  }
};

void RefreshReportData(const ReportDefinition& definition, const QSqlDatabase& db) {
  const fw::SqlDialect dialect = fw::DialectOf(db);
  QStringList texts;
  for (const auto& section : definition.sections) texts << section.Sql(dialect);
  fw::CheckLocalRead(db.connectionName(), texts.join(QLatin1Char('\n')));
}

BlockReader::BlockReader(const ReportDefinition& definition, const QSqlDatabase& db,
                         const fw::TQueryParams& params) {
  const fw::SqlDialect dialect = fw::DialectOf(db);
  // In server mode the copy is brought up to date first, or the report refused.
  RefreshReportData(definition, db);
  for (int s = 0; s < definition.sections.size(); ++s) {
    auto stream = std::make_unique<Stream>();
    stream->section = s;
    stream->query = QSqlQuery(db);
    stream->query.setForwardOnly(true);
    const BoundSql bound = BindParameters(definition.sections[s].Sql(dialect), params);
    if (!stream->query.prepare(bound.sql))
      throw fw::Error(QStringLiteral("A consulta da seção %1 do relatório %2 é inválida: %3")
                          .arg(s + 1)
                          .arg(definition.code, stream->query.lastError().text()));
    for (const auto& [name, value] : bound.values)
      stream->query.bindValue(QLatin1Char(':') + name, value);
    if (!stream->query.exec())
      throw fw::Error(QStringLiteral("A consulta da seção %1 do relatório %2 falhou: %3")
                          .arg(s + 1)
                          .arg(definition.code, stream->query.lastError().text()));
    const QSqlRecord record = stream->query.record();
    stream->columns = std::make_shared<QHash<QString, int>>();
    for (int c = 0; c < record.count(); ++c)
      stream->columns->insert(record.fieldName(c).toUpper(), c);
    const SectionDef& section = definition.sections[s];
    for (const QString& field : section.groupBy.isEmpty() ? definition.groupBy : section.groupBy) {
      const int c = stream->columns->value(field, -1);
      if (c < 0)
        throw fw::Error(
            QStringLiteral("A consulta da seção %1 do relatório %2 não devolve o campo %3.")
                .arg(s + 1)
                .arg(definition.code, field));
      stream->keyColumns << c;
    }
    stream->hasRow = stream->query.next();
    streams_.push_back(std::move(stream));
  }
}

BlockReader::~BlockReader() = default;

bool BlockReader::Next(Block& block) {
  Stream* best = nullptr;
  for (auto& stream : streams_) {
    stream->Fill();
    if (!stream->hasPending) continue;
    if (!best || CompareKeys(stream->pending.groupKey, best->pending.groupKey) < 0)
      best = stream.get();
  }
  if (!best) return false;
  block = std::move(best->pending);
  best->hasPending = false;
  return true;
}

}  // namespace report
