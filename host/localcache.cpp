#include "host/localcache.h"

#include "framework/data/errors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace host {
namespace {

const QHash<QString, QPair<QString, QString>>& MasterColumns() {
  static const QHash<QString, QPair<QString, QString>> columns{
      {"REFEBIBL", {"CDREFEBIBL", "NMREFEBIBL"}},
      {"PERCENTIL", {"CDPERCENTIL", "NMPERCENTIL"}},
  };
  return columns;
}

const QStringList& RowTables() {
  static const QStringList tables{"PESALTIDADE", "PESOALTU", "PEALNCHS2000"};
  return tables;
}

}  // namespace

LocalCache::LocalCache(QString connectionName) : connectionName_(std::move(connectionName)) {}

QStringList LocalCache::CachedTables() { return {"REFEBIBL", "PERCENTIL"}; }

QStringList LocalCache::DependentsOf(const QString& table) {
  const QString name = table.trimmed().toUpper();
  if (MasterColumns().contains(name)) return {name};
  if (RowTables().contains(name)) return CachedTables();
  return {};
}

void LocalCache::Load() {
  for (const QString& table : CachedTables()) LoadTable(table);
}

void LocalCache::Refresh(const QStringList& tables) {
  QStringList reload;
  for (const QString& table : tables) {
    changes_[table.trimmed().toUpper()]++;
    for (const QString& dependent : DependentsOf(table)) {
      if (!reload.contains(dependent)) reload << dependent;
    }
  }
  for (const QString& table : reload) LoadTable(table);
}

void LocalCache::LoadTable(const QString& table) {
  if (!QSqlDatabase::contains(connectionName_)) {
    throw fw::Error(QStringLiteral("O banco de dados local não está disponível para o cache."));
  }
  const auto [code, name] = MasterColumns().value(table);
  QSqlQuery query(QSqlDatabase::database(connectionName_, false));
  query.setForwardOnly(true);
  // Names come from the fixed table above, never from callers.
  if (!query.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(code, name, table))) {
    throw fw::Error(QStringLiteral("Não foi possível ler a tabela %1 do banco local: %2")
                        .arg(table, query.lastError().text()));
  }
  Rows rows;
  while (query.next()) rows.append({query.value(0).toString(), query.value(1).toString()});
  tables_[table] = std::move(rows);
  loads_[table]++;
}

}  // namespace host
