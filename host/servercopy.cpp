#include "host/servercopy.h"

#include "framework/data/errors.h"
#include "framework/data/packet.h"
#include "framework/sql/localdb.h"
#include "framework/ui/host_services.h"
#include "server/admin.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace host {
namespace {

const char* const kServerName = "Qel53600.rdmTabRelPeso";

QString Refusal(const QString& address, const QString& reason) {
  return QStringLiteral(
             "Os dados do servidor de aplicação em %1 não puderam ser lidos: %2 "
             "Relatórios e listas de pesquisa usam somente os dados do servidor; "
             "nada foi impresso nem listado. Tente novamente quando o servidor "
             "estiver disponível.")
      .arg(address, reason);
}

}  // namespace

ServerCopy::ServerCopy(QString connectionName)
    : connectionName_(std::move(connectionName)),
      net_(std::make_unique<fw::TNetConnection>(QStringLiteral("netCopiaServidor"))) {
  net_->SetServerName(QString::fromLatin1(kServerName));
  // The server the host registry names, as the module's own connections do.
  net_->BeforeConnect = [](fw::TNetConnection& net) {
    net.SetHost(fw::WebURL());
    net.SetPort(fw::WebPort());
  };
}

ServerCopy::~ServerCopy() {
  if (checkInstalled_) fw::SetLocalReadCheck(nullptr);
  if (open_) fw::CloseLocalDatabase(connectionName_);
}

QStringList ServerCopy::Tables() {
  return {"REFEBIBL", "PERCENTIL", "PESALTIDADE", "PESOALTU", "PEALNCHS2000"};
}

QStringList ServerCopy::TablesIn(const QString& sql) {
  QStringList named;
  for (const QString& table : Tables()) {
    const QRegularExpression word(QStringLiteral("\\b%1\\b").arg(table),
                                  QRegularExpression::CaseInsensitiveOption);
    if (word.match(sql).hasMatch()) named << table;
  }
  return named;
}

QString ServerCopy::File() const { return dir_.filePath(QStringLiteral("copia-servidor.db")); }

void ServerCopy::Open() {
  if (!dir_.isValid())
    throw fw::Error(QStringLiteral("Não foi possível criar a pasta temporária da cópia dos dados "
                                   "do servidor: %1")
                        .arg(dir_.errorString()));
  try {
    // The server's own schema, so the report's SQL runs on it unchanged.
    srv::InitDatabase(File());
  } catch (const std::exception& e) {
    throw fw::Error(QStringLiteral("Não foi possível criar a cópia local dos dados do servidor: %1")
                        .arg(QString::fromUtf8(e.what())));
  }
  fw::OpenLocalDatabase(File(), connectionName_);
  open_ = true;
}

void ServerCopy::Refresh(const QStringList& tables) {
  const QStringList wanted = tables.isEmpty() ? Tables() : tables;
  // Everything is read before the copy is touched: a failure keeps it whole.
  QList<QPair<QString, fw::DataPacket>> packets;
  for (const QString& table : wanted) {
    const fw::ServerResult r = net_->Call(QStringLiteral("GetTabela"), {table});
    if (!r.ok) throw fw::Error(Refusal(net_->Address(), r.error));
    if (r.payload.metaType() != QMetaType::fromType<fw::DataPacket>())
      throw fw::Error(
          Refusal(net_->Address(), QStringLiteral("a resposta para a tabela %1 não é um pacote de "
                                                  "dados.")
                                       .arg(table)));
    packets.append({table, r.payload.value<fw::DataPacket>()});
  }
  QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
  if (!open_ || !db.isOpen())
    throw fw::Error(QStringLiteral("A cópia local dos dados do servidor não está aberta."));
  auto fail = [&](const QSqlQuery& q) {
    const QString reason = q.lastError().text();
    db.rollback();
    throw fw::Error(QStringLiteral("Não foi possível gravar a cópia local dos dados do "
                                   "servidor: %1")
                        .arg(reason));
  };
  if (!db.transaction())
    throw fw::Error(QStringLiteral("Não foi possível gravar a cópia local dos dados do "
                                   "servidor: %1")
                        .arg(db.lastError().text()));
  QSqlQuery q(db);
  // Row tables first out, last in: their foreign keys name the masters.
  for (auto it = packets.crbegin(); it != packets.crend(); ++it)
    if (!q.exec(QStringLiteral("DELETE FROM %1").arg(it->first))) fail(q);
  for (const auto& [table, packet] : packets) {
    QStringList columns;
    QStringList marks;
    for (const fw::FieldDef& f : packet.fields()) {
      columns << f.name;
      marks << QStringLiteral("?");
    }
    // Table and column names come from the fixed list and the server's packet.
    if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(table, columns.join(", "), marks.join(", "))))
      fail(q);
    for (qsizetype row = 0; row < packet.rowCount(); ++row) {
      for (int c = 0; c < columns.size(); ++c) q.bindValue(c, packet.value(row, c));
      if (!q.exec()) fail(q);
    }
  }
  if (!db.commit()) {
    const QString reason = db.lastError().text();
    db.rollback();
    throw fw::Error(
        QStringLiteral("Não foi possível gravar a cópia local dos dados do servidor: %1")
            .arg(reason));
  }
  lastRefresh_ = QDateTime::currentDateTime();
}

void ServerCopy::InstallReadCheck() {
  fw::SetLocalReadCheck([this](const QString& connection, const QString& sql) {
    if (connection != connectionName_) return;
    const QStringList tables = TablesIn(sql);
    if (!tables.isEmpty()) Refresh(tables);
  });
  checkInstalled_ = true;
}

QString ServerCopy::User() {
  const fw::ServerResult r = net_->Call(QStringLiteral("GetUsuario"));
  if (!r.ok) throw fw::Error(r.error);
  return r.payload.toString();
}

QString ServerCopy::Role() {
  const fw::ServerResult r = net_->Call(QStringLiteral("GetPapel"));
  if (!r.ok) throw fw::Error(r.error);
  return r.payload.toString();
}

}  // namespace host
