// Service::Call: role check, the dispatch to each method family, database failures as messages.
#include "server/service.h"

#include "server/assess_method.h"
#include "server/audit_log.h"
#include "server/audit_methods.h"
#include "server/master_data_methods.h"
#include "server/schema.h"
#include "server/service_p.h"

namespace srv {

Service::Service(const QString& database, size_t dbConnections) : pool_(database, dbConnections) {}

QString Service::Health() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      auto db = pool_.acquire();
      QueryInt(*db, "SELECT COUNT(*) FROM SCHEMA_VERSION", {}, 0);
      return {};
    } catch (const DbError& e) {
      if (e.kind() == DbError::Kind::Overloaded)
        return QStringLiteral(
            "Servidor ocupado: nenhuma conexão com o banco de dados ficou livre.");
      if (e.kind() != DbError::Kind::Connection || attempt == 1)
        return QStringLiteral("O banco de dados não responde: %1").arg(QString::fromUtf8(e.what()));
      pool_.dropIdle();
    }
  }
  return {};
}

void Service::Open() {
  auto db = pool_.acquire();
  Migrate(*db);
}

namespace {

enum class Kind { GetPerc, Valida, Set, Deleta, Percentil, Copia };

struct MethodInfo {
  const TableDef* table = nullptr;
  Kind kind = Kind::GetPerc;
};

std::optional<MethodInfo> Find(const QString& method) {
  const QByteArray m = method.toLatin1();
  for (const TableDef* t : AllTables()) {
    const std::pair<const char*, Kind> names[] = {
        {t->getPerc, Kind::GetPerc}, {t->valida, Kind::Valida},       {t->set, Kind::Set},
        {t->deleta, Kind::Deleta},   {t->percentil, Kind::Percentil}, {t->copia, Kind::Copia}};
    for (const auto& [name, kind] : names)
      if (m == name) return MethodInfo{t, kind};
  }
  return std::nullopt;
}

}  // namespace

bool Service::IsKnownMethod(const QString& method) {
  return method == QLatin1String("GetReferencia") || method == QLatin1String("GetPapel") ||
         method == QLatin1String("GetUsuario") || method == QLatin1String("GetTabela") ||
         Find(method).has_value() || MasterDataMethods::Knows(method) || IsAuditMethod(method) ||
         method == QLatin1String("AvaliaMedida") || method == QLatin1String("AvaliaMedidas") ||
         method == QLatin1String("GetCurvaLms") || method == QLatin1String("ImportaTabela");
}

bool Service::IsReadOnlyMethod(const QString& method) {
  return method.startsWith(u"Get") || method == QLatin1String("AvaliaMedida") ||
         method == QLatin1String("AvaliaMedidas");
}

JsonPieces Service::Call(const Caller& caller, const QString& method, const QJsonArray& params) {
  if (!IsKnownMethod(method))
    Fail(RpcError::MethodNotFound,
         QStringLiteral("O servidor de aplicação não conhece o método '%1'.").arg(Shown(method)));
  if (!caller.maintainer && !IsReadOnlyMethod(method))
    Fail(RpcError::Forbidden,
         // The user reads the action; the server's log line names the method.
         QStringLiteral("Você não tem permissão para alterar as tabelas: o usuário '%1' tem "
                        "acesso somente para consulta. Nada foi alterado.")
             .arg(caller.name));
  std::optional<DbPool::ReadingCall> reading;
  if (IsReadOnlyMethod(method)) reading.emplace();
  for (int attempt = 0;; ++attempt) {
    bool committing = false;
    try {
      return Dispatch(caller, method, params, committing);
    } catch (const DbError& e) {
      if (e.kind() == DbError::Kind::Connection) {
        // The database went away (a restart): every pooled connection is as
        // dead as this one. The call is repeated once on a fresh connection,
        // unless its commit had been sent: that one may have been kept.
        pool_.dropIdle();
        if (attempt == 0 && !committing) continue;
        if (committing)
          Fail(RpcError::Internal,
               QStringLiteral("A conexão com o banco de dados caiu enquanto a alteração era "
                              "confirmada; recarregue os dados para ver se ela foi gravada antes "
                              "de repeti-la. Detalhe: %1")
                   .arg(QString::fromUtf8(e.what())));
      }
      if (e.kind() == DbError::Kind::Overloaded)
        Fail(RpcError::Busy, QStringLiteral("Servidor ocupado, tente de novo em instantes: "
                                            "nenhuma conexão com o banco de dados ficou livre. "
                                            "Nada foi alterado."));
      if (e.kind() == DbError::Kind::Busy)
        Fail(RpcError::Busy, QStringLiteral("O banco de dados está ocupado com outra operação. "
                                            "Nada foi alterado; tente novamente em instantes."));
      if (e.kind() == DbError::Kind::ForeignKey)
        Fail(RpcError::Refused, QStringLiteral("Referência ou percentil não cadastrado. Nada foi "
                                               "alterado."));
      // A read speaks of a read: "nada foi alterado" would suggest a write failed.
      Fail(RpcError::Internal,
           (IsReadOnlyMethod(method)
                ? QStringLiteral("Falha no banco de dados do servidor de aplicação ao consultar os "
                                 "dados; tente novamente. Detalhe: %1")
                : QStringLiteral("Falha no banco de dados do servidor de aplicação; nada foi "
                                 "alterado. Detalhe: %1"))
               .arg(QString::fromUtf8(e.what())));
    }
  }
}

JsonPieces Service::Dispatch(const Caller& caller, const QString& method, const QJsonArray& params,
                             bool& committing) {
  const AuditCall call;
  if (IsAuditMethod(method)) return AuditMethods(pool_, caller, method, params, committing).Run();
  Methods m(*this, caller, method, params, committing);
  if (method == QLatin1String("GetReferencia")) return m.GetReferencia();
  if (method == QLatin1String("GetPapel")) return m.GetPapel();
  if (method == QLatin1String("GetUsuario")) return m.GetUsuario();
  if (method == QLatin1String("GetTabela")) return m.GetTabela();
  if (MasterDataMethods::Knows(method))
    return MasterDataMethods::Call(*this, caller, method, params, committing);
  if (method == QLatin1String("AvaliaMedida"))
    return AvaliaMedida(*pool_.acquire(), assessCache_, params);
  if (method == QLatin1String("AvaliaMedidas"))
    return AvaliaMedidas(*pool_.acquire(), assessCache_, params);
  if (method == QLatin1String("GetCurvaLms"))
    return GetCurvaLms(*pool_.acquire(), assessCache_, params);
  if (method == QLatin1String("ImportaTabela")) return m.ImportaTabela();
  const MethodInfo info = *Find(method);
  switch (info.kind) {
    case Kind::GetPerc:
      return m.GetPerc(*info.table);
    case Kind::Valida:
      return m.GetValida(*info.table);
    case Kind::Set:
      return m.Set(*info.table);
    case Kind::Deleta:
      return m.Deleta(*info.table);
    case Kind::Percentil:
      return m.GetPercentil(*info.table);
    case Kind::Copia:
      return m.Copia(*info.table);
  }
  Fail(RpcError::Internal, QStringLiteral("Método sem implementação."));
}

}  // namespace srv
