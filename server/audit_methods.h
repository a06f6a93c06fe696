#pragma once
// The history methods of rdmTabRelPeso: GetHistorico (every caller) reads
// the audit trail a page at a time; RestauraExclusao (maintainers) puts the
// rows of a deletion back as one audited change.

#include "server/service.h"

#include <QJsonArray>
#include <QString>

namespace srv {

bool IsAuditMethod(const QString& method);

class AuditMethods {
 public:
  AuditMethods(DbPool& pool, const Caller& who, const QString& method, const QJsonArray& params,
               bool& committing)
      : pool_(pool), who_(who), method_(method), params_(params), committing_(committing) {}
  // Throws RpcError (a refusal) or DbError (the database failed).
  JsonPieces Run();

 private:
  JsonPieces GetHistorico();
  JsonPieces RestauraExclusao();

  DbPool& pool_;
  const Caller& who_;
  const QString& method_;
  const QJsonArray& params_;
  bool& committing_;
};

}  // namespace srv
