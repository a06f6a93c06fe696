#pragma once
// The host's cache of the master tables (references and percentiles) read
// from the local database. Modules name the server tables they changed
// (AtualizaLocalCache); the host reloads what depends on them.

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace host {

class LocalCache {
 public:
  using Rows = QList<QPair<QString, QString>>;  // code, name; ordered by code

  explicit LocalCache(QString connectionName);

  // The cached master tables.
  static QStringList CachedTables();  // REFEBIBL, PERCENTIL
  // Tables whose cached copies must be reloaded when `table` changed: a
  // master table itself; a row table brings new references and percentiles
  // with its rows, so both masters. Unknown names: none.
  static QStringList DependentsOf(const QString& table);

  // Reads every cached table. Throws fw::Error when the local database
  // cannot be read; the previous copy is kept.
  void Load();
  // Reloads what the named tables affect; each name's change count goes up.
  // Throws fw::Error like Load; tables already reloaded stay fresh.
  void Refresh(const QStringList& tables);

  Rows Table(const QString& name) const { return tables_.value(name.toUpper()); }
  int Changes(const QString& table) const { return changes_.value(table.toUpper()); }
  int Loads(const QString& table) const { return loads_.value(table.toUpper()); }

 private:
  void LoadTable(const QString& table);

  QString connectionName_;
  QHash<QString, Rows> tables_;
  QHash<QString, int> changes_;
  QHash<QString, int> loads_;
};

}  // namespace host
