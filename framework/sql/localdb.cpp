#include "framework/sql/localdb.h"

#include "framework/data/errors.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace fw {
namespace {

void SqliteNvl(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 2) {
    sqlite3_result_null(context);
    return;
  }
  sqlite3_result_value(context, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

LocalReadCheck& InstalledReadCheck() {
  static LocalReadCheck check;
  return check;
}

bool IsPostgresUrl(const QString& text) {
  return text.startsWith(QLatin1String("postgresql://")) ||
         text.startsWith(QLatin1String("postgres://"));
}

}  // namespace

void RegisterSqliteFunctions(const QSqlDatabase& db) {
  if (!db.isOpen() || db.driverName() != QLatin1String("QSQLITE")) {
    throw Error(QStringLiteral("A função NVL só pode ser registrada numa conexão SQLite aberta."));
  }
  const QVariant handle = db.driver()->handle();
  if (!handle.isValid() || qstrcmp(handle.metaType().name(), "sqlite3*") != 0) {
    throw Error(QStringLiteral("O driver SQLite não forneceu o acesso ao banco de dados."));
  }
  sqlite3* raw = *static_cast<sqlite3* const*>(handle.constData());
  const int rc = sqlite3_create_function_v2(raw, "NVL", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                            nullptr, &SqliteNvl, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    throw Error(QStringLiteral("Não foi possível registrar a função NVL no SQLite: %1.")
                    .arg(QString::fromUtf8(sqlite3_errstr(rc))));
  }
}

QSqlDatabase OpenLocalDatabase(const QString& spec, const QString& connectionName) {
  if (spec.trimmed().isEmpty()) {
    throw Error(QStringLiteral("Nenhum banco de dados local foi configurado."));
  }
  CloseLocalDatabase(connectionName);
  QSqlDatabase db;
  if (IsPostgresUrl(spec)) {
    const QUrl url(spec);
    if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2) {
      // The text may carry a password: it is not repeated.
      throw Error(
          QStringLiteral("Endereço de banco PostgreSQL inválido (use "
                         "postgresql://usuario@servidor:porta/banco)."));
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(url.host());
    db.setPort(url.port(5432));
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(url.userName());
    db.setPassword(url.password());
    QStringList options{QStringLiteral("connect_timeout=5")};
    const QUrlQuery query(url);
    for (const auto& item : query.queryItems()) options << item.first + '=' + item.second;
    db.setConnectOptions(options.join(';'));
  } else {
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(spec);
    // Another process (the application server) may be writing the same file.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
  }
  if (!db.open()) {
    const QString reason = db.lastError().text();
    const QString where = DescribeDatabase(db);
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
    throw Error(QStringLiteral("Não foi possível abrir o banco de dados local (%1): %2")
                    .arg(where, reason));
  }
  if (db.driverName() == QLatin1String("QSQLITE")) RegisterSqliteFunctions(db);
  return db;
}

void CloseLocalDatabase(const QString& connectionName) {
  if (!QSqlDatabase::contains(connectionName)) return;
  {
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (db.isOpen()) db.close();
  }
  QSqlDatabase::removeDatabase(connectionName);
}

QString DescribeDatabase(const QSqlDatabase& db) {
  if (db.driverName() == QLatin1String("QPSQL")) {
    QString who = db.userName().isEmpty() ? QString() : db.userName() + '@';
    return QStringLiteral("PostgreSQL %1%2:%3/%4")
        .arg(who, db.hostName())
        .arg(db.port() > 0 ? db.port() : 5432)
        .arg(db.databaseName());
  }
  if (db.driverName() == QLatin1String("QSQLITE")) {
    return QStringLiteral("SQLite %1").arg(db.databaseName());
  }
  return QStringLiteral("%1 %2").arg(db.driverName(), db.databaseName());
}

void SetLocalReadCheck(LocalReadCheck check) { InstalledReadCheck() = std::move(check); }

void CheckLocalRead(const QString& connectionName, const QString& sql) {
  if (const LocalReadCheck& check = InstalledReadCheck()) check(connectionName, sql);
}

}  // namespace fw
