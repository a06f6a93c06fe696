#include "framework/sql/adoibquery.h"

#include "framework/data/errors.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace fw {
namespace {

bool IsNameStart(QChar c) { return c.isLetter() || c == '_'; }
bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == '_'; }

FieldType TypeOfColumn(const QSqlField& column) {
  switch (column.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return FieldType::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
      return FieldType::Float;
    case QMetaType::Bool:
      return FieldType::Boolean;
    default:
      return FieldType::String;
  }
}

QVariant ToFieldType(const QVariant& value, FieldType type) {
  if (value.isNull()) return {};
  switch (type) {
    case FieldType::String:
      return value.toString();
    case FieldType::Float:
      return value.toDouble();
    case FieldType::Integer:
      return value.toLongLong();
    case FieldType::Boolean:
      return value.toBool();
  }
  return value;
}

}  // namespace

SqlDialect DialectForDriver(const QString& driverName, QSqlDriver::DbmsType dbms,
                            const QString& databaseName) {
  const QString driver = driverName.toUpper();
  if (driver.startsWith(QLatin1String("QOCI")) || dbms == QSqlDriver::Oracle) {
    return SqlDialect::Oracle;
  }
  if (driver.startsWith(QLatin1String("QIBASE")) || dbms == QSqlDriver::Interbase) {
    return SqlDialect::InterBase;
  }
  if (driver.startsWith(QLatin1String("QTDS")) || dbms == QSqlDriver::MSSqlServer) {
    return SqlDialect::SqlServer;
  }
  if (driver.startsWith(QLatin1String("QODBC")) &&
      databaseName.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive)) {
    return SqlDialect::SqlServer;
  }
  return SqlDialect::Default;
}

SqlDialect DialectOf(const QSqlDatabase& db) {
  const QSqlDriver* driver = db.driver();
  return DialectForDriver(db.driverName(), driver ? driver->dbmsType() : QSqlDriver::UnknownDbms,
                          db.databaseName());
}

QString DialectName(SqlDialect dialect) {
  switch (dialect) {
    case SqlDialect::Default:
      return QStringLiteral("padrão");
    case SqlDialect::Oracle:
      return QStringLiteral("Oracle");
    case SqlDialect::SqlServer:
      return QStringLiteral("SQL Server");
    case SqlDialect::InterBase:
      return QStringLiteral("InterBase");
  }
  return {};
}

QStringList ParameterNames(const QString& sql) {
  QStringList names;
  const qsizetype n = sql.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = sql[i];
    if (c == '\'' || c == '"') {
      for (++i; i < n && sql[i] != c; ++i) {
      }
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
      i = end < 0 ? n : end + 1;
    } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
      ++i;  // a cast, not a parameter
    } else if (c == ':' && i + 1 < n && IsNameStart(sql[i + 1])) {
      qsizetype j = i + 1;
      while (j < n && IsNameChar(sql[j])) ++j;
      const QString name = sql.mid(i + 1, j - i - 1);
      if (!names.contains(name, Qt::CaseInsensitive)) names << name;
      i = j - 1;
    }
  }
  return names;
}

TADOIBQuery::TADOIBQuery(const QString& name, QObject* parent)
    : QObject(parent), dataset_(new Dataset(name, this)) {
  setObjectName(name);
}

TADOIBQuery::~TADOIBQuery() = default;

void TADOIBQuery::SetSql(SqlDialect dialect, const QString& text) {
  if (Active()) Close();
  sql_[static_cast<size_t>(dialect)] = text;
  CollectParams();
}

void TADOIBQuery::SetSqlTexts(const QString& standard, const QString& oracle,
                              const QString& sqlServer, const QString& interBase) {
  if (Active()) Close();
  sql_ = {standard, oracle, sqlServer, interBase};
  CollectParams();
}

QString TADOIBQuery::Sql(SqlDialect dialect) const { return sql_[static_cast<size_t>(dialect)]; }

void TADOIBQuery::CollectParams() {
  for (const QString& text : sql_) {
    for (const QString& name : ParameterNames(text)) {
      const bool known = std::any_of(params_.begin(), params_.end(), [&](const auto& p) {
        return p->Name().compare(name, Qt::CaseInsensitive) == 0;
      });
      if (!known) params_.push_back(std::make_unique<QueryParam>(name));
    }
  }
}

Field* TADOIBQuery::AddField(const FieldDef& def) {
  if (Active()) {
    throw Error(
        QStringLiteral("Os campos da consulta '%1' só podem ser declarados com ela fechada.")
            .arg(objectName()));
  }
  return dataset_->AddField(def);
}

QueryParam* TADOIBQuery::ParamByName(QStringView name) {
  if (name.startsWith(u':')) name = name.mid(1);
  for (const auto& param : params_) {
    if (param->Name().compare(name, Qt::CaseInsensitive) == 0) return param.get();
  }
  throw Error(QStringLiteral("A consulta '%1' não tem o parâmetro '%2'.")
                  .arg(objectName(), name.toString()));
}

QStringList TADOIBQuery::ParamNames() const {
  QStringList names;
  for (const auto& param : params_) names << param->Name();
  return names;
}

QSqlDatabase TADOIBQuery::Connection() const {
  if (!QSqlDatabase::contains(connectionName_)) {
    throw Error(QStringLiteral("O banco de dados local não está disponível (conexão '%1').")
                    .arg(connectionName_));
  }
  return QSqlDatabase::database(connectionName_, false);
}

SqlDialect TADOIBQuery::CurrentDialect() const { return DialectOf(Connection()); }

QString TADOIBQuery::CurrentSql() const { return Sql(CurrentDialect()); }

void TADOIBQuery::Open() {
  QSqlDatabase db = Connection();
  if (!db.isOpen()) {
    throw Error(QStringLiteral("O banco de dados local não está aberto (conexão '%1').")
                    .arg(connectionName_));
  }
  const SqlDialect dialect = DialectOf(db);
  const QString text = Sql(dialect);
  if (text.trimmed().isEmpty()) {
    throw Error(QStringLiteral("A consulta '%1' não tem texto SQL para o banco %2.")
                    .arg(objectName(), DialectName(dialect)));
  }
  // In server mode the host refreshes the tables read here, or refuses.
  CheckLocalRead(connectionName_, text);

  QSqlQuery query(db);
  query.setForwardOnly(true);
  if (!query.prepare(text)) {
    throw Error(QStringLiteral("A consulta '%1' foi recusada pelo banco de dados local: %2")
                    .arg(objectName(), query.lastError().text()));
  }
  for (const QString& name : ParameterNames(text)) {
    const QueryParam* param = ParamByName(name);
    // A cleared parameter must still reach the driver as a typed NULL.
    query.bindValue(':' + name,
                    param->IsNull() ? QVariant(QMetaType::fromType<QString>()) : param->Value());
  }
  if (!query.exec()) {
    throw Error(QStringLiteral("A consulta '%1' falhou no banco de dados local: %2")
                    .arg(objectName(), query.lastError().text()));
  }

  // Result columns -> packet columns: declared fields by name (any case),
  // otherwise every column as the driver describes it. PostgreSQL folds
  // unquoted names to lower case; the texts write them in upper case.
  const QSqlRecord record = query.record();
  const bool foldsCase = db.driverName() == QLatin1String("QPSQL");
  QList<FieldDef> defs;
  std::vector<int> sourceColumn;
  if (dataset_->FieldCount() > 0) {
    for (const Field* field : dataset_->Fields()) {
      int column = -1;
      for (int c = 0; c < record.count(); ++c) {
        if (record.fieldName(c).compare(field->FieldName(), Qt::CaseInsensitive) == 0) column = c;
      }
      if (column < 0) {
        throw Error(QStringLiteral("A consulta '%1' não devolveu a coluna '%2'.")
                        .arg(objectName(), field->FieldName()));
      }
      defs << field->Def();
      sourceColumn.push_back(column);
    }
  } else {
    for (int c = 0; c < record.count(); ++c) {
      const QSqlField column = record.field(c);
      FieldDef def;
      def.name = foldsCase ? column.name().toUpper() : column.name();
      def.type = TypeOfColumn(column);
      def.size = def.type == FieldType::String && column.length() > 0 ? column.length() : 0;
      defs << def;
      sourceColumn.push_back(c);
    }
  }

  DataPacket packet(defs);
  QVariantList row;
  row.reserve(defs.size());
  while (query.next()) {
    row.clear();
    for (qsizetype c = 0; c < defs.size(); ++c) {
      row << ToFieldType(query.value(sourceColumn[static_cast<size_t>(c)]), defs[c].type);
    }
    packet.appendRow(row);
  }
  if (query.lastError().isValid()) {
    throw Error(QStringLiteral("A leitura da consulta '%1' falhou: %2")
                    .arg(objectName(), query.lastError().text()));
  }
  dataset_->SetData(packet);
  for (Field* field : dataset_->Fields()) field->SetReadOnly(true);
}

void TADOIBQuery::Close() { dataset_->Close(); }

bool TADOIBQuery::Active() const { return dataset_->Active(); }

bool TADOIBQuery::IsEmpty() const { return !dataset_->Active() || dataset_->IsEmpty(); }

}  // namespace fw
