#pragma once
// TADOIBQuery: a read-only SQL query on the host's local database. It holds
// one SQL text per dialect (default, Oracle, SQL Server, InterBase) and runs
// the one that fits the connection's driver; named parameters (":P_X") are
// bound by name, a cleared parameter binds NULL. The rows land in a Dataset
// owned by the query, which data sources, grids and search dialogs show.

#include "framework/data/dataset.h"
#include "framework/sql/localdb.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>
#include <QVariant>

#include <array>
#include <memory>
#include <vector>

namespace fw {

enum class SqlDialect { Default = 0, Oracle = 1, SqlServer = 2, InterBase = 3 };

// The dialect of a connection: QOCI -> Oracle; QTDS, or QODBC talking to
// Microsoft SQL Server -> SqlServer; QIBASE -> InterBase; anything else
// (QSQLITE, QPSQL, QMYSQL, ...) -> Default. `dbms` and `databaseName` settle
// the ODBC case (a DSN or connection string naming "SQL Server").
SqlDialect DialectForDriver(const QString& driverName,
                            QSqlDriver::DbmsType dbms = QSqlDriver::UnknownDbms,
                            const QString& databaseName = {});
SqlDialect DialectOf(const QSqlDatabase& db);
QString DialectName(SqlDialect dialect);  // "padrão", "Oracle", "SQL Server", "InterBase"

// The named parameters of a SQL text in order of first appearance, without
// the colon; quoted text, comments and PostgreSQL casts (::) are skipped.
QStringList ParameterNames(const QString& sql);

class QueryParam {
 public:
  explicit QueryParam(QString name) : name_(std::move(name)) {}
  const QString& Name() const { return name_; }
  void SetAsString(const QString& text) { value_ = text; }
  QString AsString() const { return value_.toString(); }
  void SetValue(const QVariant& value) { value_ = value; }
  QVariant Value() const { return value_; }
  void Clear() { value_ = QVariant(); }
  bool IsNull() const { return value_.isNull(); }

 private:
  QString name_;
  QVariant value_;
};

class TADOIBQuery : public QObject {
  Q_OBJECT
 public:
  // The dataset is named like the query, so its fields are named
  // query name + field name (qryPesqRefeCDREFEBIBL).
  explicit TADOIBQuery(const QString& name, QObject* parent = nullptr);
  ~TADOIBQuery() override;

  // SQL texts; lines are joined by newlines. Setting a text while open closes
  // the query. Parameters found in any text become available to ParamByName;
  // values already set are kept.
  void SetSql(SqlDialect dialect, const QString& text);
  void SetSql(SqlDialect dialect, const QStringList& lines) { SetSql(dialect, lines.join('\n')); }
  void SetSqlTexts(const QString& standard, const QString& oracle, const QString& sqlServer,
                   const QString& interBase);
  QString Sql(SqlDialect dialect) const;

  // The connection the query runs on (default: the host's local one).
  void SetConnectionName(const QString& name) { connectionName_ = name; }
  QString ConnectionName() const { return connectionName_; }

  // Declares a result field (only while closed); declared fields are matched
  // to result columns by name, ignoring case. Without declarations the fields
  // follow the result's columns. Throws fw::Error while open.
  Field* AddField(const FieldDef& def);

  // The parameter of that name (with or without the leading colon). Throws
  // fw::Error naming the query when it has no such parameter.
  QueryParam* ParamByName(QStringView name);
  QStringList ParamNames() const;

  // Runs the text of the connection's dialect with the parameters bound and
  // loads every row; an open query is run again. Throws fw::Error with a
  // Portuguese message (the query stays closed) when the connection is not
  // open, the text for the dialect is empty, the database refuses the
  // statement, or a declared field is not among the result's columns.
  void Open();
  void Close();
  bool Active() const;
  bool IsEmpty() const;  // true when closed or without rows
  Dataset* DataSet() const { return dataset_; }

  // The dialect and text that Open would use now (fw::Error when there is
  // no such connection).
  SqlDialect CurrentDialect() const;
  QString CurrentSql() const;

 private:
  QSqlDatabase Connection() const;
  void CollectParams();

  std::array<QString, 4> sql_;
  QString connectionName_ = QString::fromLatin1(kLocalConnectionName);
  std::vector<std::unique_ptr<QueryParam>> params_;
  Dataset* dataset_;
};

}  // namespace fw
