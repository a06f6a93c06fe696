#include "server/assess_method.h"

#include "assess/age.h"
#include "server/assessment.h"
#include "server/call_checks.h"
#include "server/json_out.h"

#include <QDate>
#include <QJsonObject>

#include <cmath>

namespace srv {

namespace {

using trp::assess::Child;
using trp::assess::Position;
using trp::assess::Sex;

std::optional<double> Measure(const QJsonObject& o, const char* key, const char* what) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined() || v.isNull()) return std::nullopt;
  if (!v.isDouble() || !(v.toDouble() > 0) || !std::isfinite(v.toDouble()))
    BadParams(QStringLiteral("AvaliaMedida: %1 (%2) deve ser um número positivo.")
                  .arg(QString::fromUtf8(what), QLatin1String(key)));
  return v.toDouble();
}

QDate DateOf(const QJsonObject& o, const char* key) {
  const QDate d = QDate::fromString(o.value(QLatin1String(key)).toString(), Qt::ISODate);
  if (!d.isValid())
    BadParams(
        QStringLiteral("AvaliaMedida: %1 deve ser uma data AAAA-MM-DD.").arg(QLatin1String(key)));
  return d;
}

Child ChildOf(const QJsonObject& o) {
  Child c;
  const QString sex = o.value(QLatin1String("sexo")).toString();
  if (sex == QLatin1String("M"))
    c.sex = Sex::Male;
  else if (sex == QLatin1String("F"))
    c.sex = Sex::Female;
  else
    BadParams(QStringLiteral("AvaliaMedida: sexo deve ser \"M\" ou \"F\"."));
  const QJsonValue days = o.value(QLatin1String("idade_dias"));
  if (!days.isUndefined()) {
    const double d = days.toDouble(-1);
    if (!days.isDouble() || d < 0 || d > 100000 || d != std::floor(d))
      BadParams(QStringLiteral("AvaliaMedida: idade_dias deve ser um número inteiro de dias."));
    c.ageDays = int(d);
  } else {
    const auto age = trp::assess::AgeDays(DateOf(o, "nascimento"), DateOf(o, "medicao"));
    if (!age)
      BadParams(QStringLiteral("AvaliaMedida: a data da medição é anterior ao nascimento."));
    c.ageDays = *age;
  }
  c.weight = Measure(o, "peso", "o peso");
  c.stature = Measure(o, "estatura", "o comprimento ou a estatura");
  c.head = Measure(o, "pc", "o perímetro cefálico");
  const QString position = o.value(QLatin1String("medida")).toString();
  if (position == QLatin1String("D"))
    c.position = Position::Lying;
  else if (position == QLatin1String("P"))
    c.position = Position::Standing;
  else if (!position.isEmpty())
    BadParams(QStringLiteral("AvaliaMedida: medida deve ser \"D\" (deitado) ou \"P\" (em pé)."));
  return c;
}

}  // namespace

JsonPieces AvaliaMedida(Db& db, const QJsonArray& params) {
  const QString method = QStringLiteral("AvaliaMedida");
  const Params p(method, params);
  p.expect(1);
  const QJsonObject o = p.object(0, QStringLiteral("um objeto com as medidas da criança"));
  const Child child = ChildOf(o);
  std::vector<std::pair<std::string, std::string>> refs;  // code, name
  const QJsonArray asked = o.value(QLatin1String("referencias")).toArray();
  Transaction tx(db, false);
  if (asked.isEmpty()) {
    db.run("SELECT CDREFEBIBL, NMREFEBIBL FROM REFEBIBL ORDER BY CDREFEBIBL", {},
           [&](const SqlRow& r) { refs.emplace_back(r.text(0), r.text(1)); });
  } else {
    for (const QJsonValue& v : asked) {
      const std::string code = Code(v.toString(), true);
      std::string name;
      db.run("SELECT NMREFEBIBL FROM REFEBIBL WHERE CDREFEBIBL = ?", {code},
             [&](const SqlRow& r) { name = r.text(0); });
      if (name.empty())
        Refuse(QStringLiteral("Referência '%1' não cadastrada.").arg(QString::fromStdString(code)));
      refs.emplace_back(code, name);
    }
  }
  std::string out = "{\"idade_dias\":" + std::to_string(child.ageDays) + ",\"referencias\":[";
  bool first = true;
  for (const auto& [code, name] : refs) {
    const auto results = trp::assess::Assess(LoadAssessReference(db, code), child);
    if (results.empty() && asked.isEmpty()) continue;
    if (!first) out += ',';
    first = false;
    out += "{\"CDREFEBIBL\":";
    AppendString(out, code);
    out += ",\"NMREFEBIBL\":";
    AppendString(out, name);
    out += ",\"indicadores\":";
    AppendResultsJson(out, results);
    out += '}';
  }
  out += "]}";
  return {std::make_shared<const std::string>(std::move(out))};
}

}  // namespace srv
