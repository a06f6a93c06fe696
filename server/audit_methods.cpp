#include "server/audit_methods.h"

#include "server/audit_query.h"
#include "server/call_checks.h"
#include "server/json_out.h"

#include <cmath>
#include <memory>

namespace srv {

bool IsAuditMethod(const QString& method) {
  return method == QLatin1String("GetHistorico") || method == QLatin1String("RestauraExclusao");
}

JsonPieces AuditMethods::Run() {
  if (method_ == QLatin1String("GetHistorico")) return GetHistorico();
  return RestauraExclusao();
}

namespace {

std::int64_t Whole(const Params& p, int i, const QString& what, double low, double high) {
  const double v = p.number(i, what);
  if (v != std::floor(v) || v < low || v > high)
    BadParams(QStringLiteral("O parâmetro %1 (%2) deve ser um número inteiro de %3 a %4.")
                  .arg(i + 1)
                  .arg(what)
                  .arg(low, 0, 'f', 0)
                  .arg(high, 0, 'f', 0));
  return std::int64_t(v);
}

std::string Time(const Params& p, int i, const QString& what) {
  const QString text = p.text(i, what);
  if (text.isEmpty()) return {};
  const std::optional<std::string> t = AuditTime(text);
  if (!t)
    BadParams(QStringLiteral("Data inválida em %1: '%2'. Use AAAA-MM-DD ou DD/MM/AAAA.")
                  .arg(what, Shown(text)));
  return *t;
}

}  // namespace

JsonPieces AuditMethods::GetHistorico() {
  const Params p(method_, params_);
  p.expect(9);
  AuditFilter f;
  const QString table = p.text(0, QStringLiteral("tabela"));
  if (!table.isEmpty() && !(f.table = AuditTableByName(table)))
    BadParams(QStringLiteral("Tabela desconhecida: '%1'. Use age, height, nchs ou vazio para "
                             "todas.")
                  .arg(Shown(table)));
  const QString ref = p.text(1, QStringLiteral("referência"));
  if (!ref.isEmpty()) f.reference = Code(ref, true);
  const QString perc = p.text(2, QStringLiteral("percentil"));
  if (!perc.isEmpty()) f.percentile = Code(perc, false);
  const QString key = p.text(3, QStringLiteral("chave"));
  if (key.size() > 40) BadParams(QStringLiteral("A chave tem no máximo 40 caracteres."));
  f.key = FilterText(key, QStringLiteral("chave"));
  f.user = FilterText(p.text(4, QStringLiteral("usuário")), QStringLiteral("usuário"));
  f.since = Time(p, 5, QStringLiteral("desde"));
  f.until = Time(p, 6, QStringLiteral("até"));
  f.before = Whole(p, 7, QStringLiteral("antes de"), 0, 9e15);
  f.limit = int(Whole(p, 8, QStringLiteral("limite"), 1, kMaxAuditPage));

  auto db = pool_.acquire();
  bool more = false;
  const std::vector<AuditEntry> entries = QueryAudit(*db, f, &more);
  auto out = std::make_shared<std::string>(
      "[{\"fields\":[{\"name\":\"NRAUDITORIA\",\"type\":\"integer\"},"
      "{\"name\":\"DTAUDITORIA\",\"type\":\"string\",\"size\":30},"
      "{\"name\":\"NMUSUARIO\",\"type\":\"string\",\"size\":60},"
      "{\"name\":\"TPOPERACAO\",\"type\":\"string\",\"size\":1},"
      "{\"name\":\"NMMETODO\",\"type\":\"string\",\"size\":40},"
      "{\"name\":\"NMTABELA\",\"type\":\"string\",\"size\":20},"
      "{\"name\":\"CDREFEBIBL\",\"type\":\"string\",\"size\":2},"
      "{\"name\":\"CDPERCENTIL\",\"type\":\"string\",\"size\":3},"
      "{\"name\":\"DSCHAVE\",\"type\":\"string\",\"size\":40},"
      "{\"name\":\"DSANTERIOR\",\"type\":\"string\",\"size\":4000},"
      "{\"name\":\"DSNOVO\",\"type\":\"string\",\"size\":4000},"
      "{\"name\":\"DSGRUPO\",\"type\":\"string\",\"size\":40}],\"rows\":[");
  auto text = [&](const std::string& s) {
    *out += ',';
    if (s.empty())
      *out += "null";
    else
      AppendString(*out, s);
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    const AuditEntry& e = entries[i];
    *out += i ? ",[" : "[";
    *out += std::to_string(e.number);
    text(e.when);
    text(e.user);
    text(std::string(1, e.operation()));
    text(e.method);
    text(e.table);
    text(e.reference);
    text(e.percentile);
    text(e.key);
    text(e.oldJson);
    text(e.newJson);
    text(e.group);
    *out += ']';
  }
  *out += "]},";
  *out += who_.maintainer ? "true," : "false,";
  *out += more ? std::to_string(entries.back().number) : std::string("null");
  *out += ']';
  return {std::move(out)};
}

}  // namespace srv
