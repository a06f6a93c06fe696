#include "server/assess_method.h"

#include "assess/age.h"
#include "assess/curves.h"
#include "server/assessment.h"
#include "server/call_checks.h"
#include "server/json_out.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace srv {

namespace {

using trp::assess::Child;
using trp::assess::Position;
using trp::assess::Sex;

const char* const kFields =
    "{\"fields\":[{\"name\":\"CDREFEBIBL\",\"type\":\"string\",\"size\":2},"
    "{\"name\":\"NMREFEBIBL\",\"type\":\"string\",\"size\":60},"
    "{\"name\":\"NRIDADEDIAS\",\"type\":\"integer\"},"
    "{\"name\":\"CDINDICADOR\",\"type\":\"string\",\"size\":20},"
    "{\"name\":\"VRZ\",\"type\":\"float\"},"
    "{\"name\":\"VRPERCENTIL\",\"type\":\"float\"},"
    "{\"name\":\"DSFAIXA\",\"type\":\"string\",\"size\":40},"
    "{\"name\":\"DSCLASSIFICACAO\",\"type\":\"string\",\"size\":40},"
    "{\"name\":\"FLIMPLAUSIVEL\",\"type\":\"string\",\"size\":1},"
    "{\"name\":\"DSSINALIZACAO\",\"type\":\"string\",\"size\":100}],\"rows\":[";

[[noreturn]] void Bad(const QString& what) {
  BadParams(QStringLiteral("AvaliaMedida: %1").arg(what));
}

std::optional<double> Measure(const QJsonArray& a, int i, const char* what) {
  const QJsonValue v = a.at(i);
  if (v.isNull() || v.isUndefined()) return std::nullopt;
  if (!v.isDouble() || !(v.toDouble() > 0) || !std::isfinite(v.toDouble()))
    Bad(QStringLiteral("%1 deve ser um número positivo ou nulo.").arg(QString::fromUtf8(what)));
  return v.toDouble();
}

QDate DateAt(const QJsonArray& a, int i, const char* what) {
  const QDate d = QDate::fromString(a.at(i).toString(), Qt::ISODate);
  if (!d.isValid())
    Bad(QStringLiteral("a data %1 deve ser AAAA-MM-DD.").arg(QString::fromUtf8(what)));
  return d;
}

Child ChildOf(const QJsonArray& a) {
  Child c;
  const QString sex = a.at(0).toString();
  if (sex == QLatin1String("M"))
    c.sex = Sex::Male;
  else if (sex == QLatin1String("F"))
    c.sex = Sex::Female;
  else
    Bad(QStringLiteral("sexo deve ser \"M\" ou \"F\"."));
  const QJsonValue days = a.at(1);
  if (!days.isNull()) {
    const double d = days.toDouble(-1);
    if (!days.isDouble() || d < 0 || d > 100000 || d != std::floor(d))
      Bad(QStringLiteral("a idade em dias deve ser um número inteiro não negativo."));
    c.ageDays = int(d);
  } else {
    const auto age =
        trp::assess::AgeDays(DateAt(a, 2, "de nascimento"), DateAt(a, 3, "da medição"));
    if (!age) Bad(QStringLiteral("a data da medição é anterior ao nascimento."));
    c.ageDays = *age;
  }
  c.weight = Measure(a, 4, "o peso");
  c.stature = Measure(a, 5, "o comprimento ou a estatura");
  const QString position = a.at(6).toString();
  if (position == QLatin1String("D"))
    c.position = Position::Lying;
  else if (position == QLatin1String("P"))
    c.position = Position::Standing;
  else if (!position.isEmpty())
    Bad(QStringLiteral("a medida deve ser \"D\" (deitado) ou \"P\" (em pé)."));
  c.head = Measure(a, 7, "o perímetro cefálico");
  return c;
}

}  // namespace

namespace {

// The references a call names ("" for all), each with its name. Throws
// RpcError for a bad or unknown code.
std::vector<std::pair<std::string, std::string>> ReferencesAsked(Db& db, const Params& p,
                                                                const QJsonArray& params, int at) {
  const QString asked =
      params.at(at).isNull() ? QString() : p.text(at, QStringLiteral("referências"));
  std::vector<std::pair<std::string, std::string>> refs;  // code, name
  if (asked.trimmed().isEmpty()) {
    db.run("SELECT CDREFEBIBL, NMREFEBIBL FROM REFEBIBL ORDER BY CDREFEBIBL", {},
           [&](const SqlRow& r) { refs.emplace_back(r.text(0), r.text(1)); });
    return refs;
  }
  // A code named twice is assessed once; the number is capped so that
  // one call cannot hold a database connection for long.
  std::vector<std::string> codes;
  for (const QString& part : asked.split(u',', Qt::SkipEmptyParts))
    if (std::string c = Code(part.trimmed(), true);
        std::find(codes.begin(), codes.end(), c) == codes.end())
      codes.push_back(std::move(c));
  if (codes.size() > size_t(kMaxAssessReferences))
    Bad(QStringLiteral("informe no máximo %1 referências diferentes.").arg(kMaxAssessReferences));
  for (const std::string& code : codes) {
    std::string name;
    bool found = false;
    db.run("SELECT NMREFEBIBL FROM REFEBIBL WHERE CDREFEBIBL = ?", {code}, [&](const SqlRow& r) {
      name = r.text(0);
      found = true;
    });
    if (!found)
      Refuse(QStringLiteral("Referência '%1' não cadastrada.").arg(QString::fromStdString(code)));
    refs.emplace_back(code, name);
  }
  return refs;
}

// The answer's rows for one child; `order` (1, 2, ...) leads each row when
// the call assessed several children.
void AppendChildRows(std::string& out, bool& first, const Child& child, int order,
                     const std::vector<std::pair<std::string, std::string>>& refs,
                     const std::vector<std::shared_ptr<const trp::assess::Reference>>& loaded) {
  for (size_t k = 0; k < refs.size(); ++k) {
    const auto& [code, name] = refs[k];
    for (const auto& r : trp::assess::Assess(*loaded[k], child)) {
      out += first ? "[" : ",[";
      first = false;
      if (order > 0) out += std::to_string(order) + ',';
      AppendString(out, code);
      out += ',';
      AppendString(out, name);
      out += ',' + std::to_string(child.ageDays) + ',';
      AppendString(out, trp::assess::IndicatorKey(r.indicator));
      out += ',';
      AppendRounded(out, r.z, 100);
      out += ',';
      AppendRounded(out, r.percentile, 10);
      out += ',';
      AppendString(out, r.band.toStdString());
      out += ',';
      AppendTextOrNull(out, r.classification.value_or(QString()));
      out += r.implausible ? ",\"S\"," : ",\"N\",";
      AppendTextOrNull(out, r.flag);
      out += ']';
    }
  }
}

std::vector<std::shared_ptr<const trp::assess::Reference>> Load(
    Db& db, AssessReferenceCache& cache,
    const std::vector<std::pair<std::string, std::string>>& refs) {
  std::vector<std::shared_ptr<const trp::assess::Reference>> loaded;
  loaded.reserve(refs.size());
  for (const auto& ref : refs) loaded.push_back(cache.Get(db, ref.first));
  return loaded;
}

}  // namespace

JsonPieces AvaliaMedida(Db& db, AssessReferenceCache& cache, const QJsonArray& params) {
  const Params p(QStringLiteral("AvaliaMedida"), params);
  p.expect(9);
  const Child child = ChildOf(params);
  Transaction tx(db, false);
  const auto refs = ReferencesAsked(db, p, params, 8);
  const auto loaded = Load(db, cache, refs);
  std::string out = kFields;
  bool first = true;
  AppendChildRows(out, first, child, 0, refs, loaded);
  out += "]}";
  return {std::make_shared<const std::string>(std::move(out))};
}

JsonPieces AvaliaMedidas(Db& db, AssessReferenceCache& cache, const QJsonArray& params) {
  const Params p(QStringLiteral("AvaliaMedidas"), params);
  p.expect(2);
  const QJsonValue list = params.at(0);
  if (!list.isArray())
    BadParams(QStringLiteral("AvaliaMedidas: crianças deve ser uma lista de medidas."));
  const QJsonArray children = list.toArray();
  if (children.size() > kMaxAssessChildren)
    BadParams(QStringLiteral("AvaliaMedidas: informe no máximo %1 crianças por chamada.")
                  .arg(kMaxAssessChildren));
  std::vector<Child> parsed;
  parsed.reserve(size_t(children.size()));
  for (qsizetype i = 0; i < children.size(); ++i) {
    const QJsonArray one = children.at(i).toArray();
    if (!children.at(i).isArray() || one.size() != 8)
      BadParams(QStringLiteral("AvaliaMedidas: a criança %1 deve ser uma lista de 8 valores.")
                    .arg(i + 1));
    try {
      parsed.push_back(ChildOf(one));
    } catch (const RpcError& e) {
      // The position tells which line of the caller's list to mend.
      BadParams(QStringLiteral("AvaliaMedidas: criança %1: %2")
                    .arg(i + 1)
                    .arg(e.message().section(QStringLiteral(": "), 1, -1)));
    }
  }
  Transaction tx(db, false);
  const auto refs = ReferencesAsked(db, p, params, 1);
  const auto loaded = Load(db, cache, refs);
  std::string out = "{\"fields\":[{\"name\":\"NRCRIANCA\",\"type\":\"integer\"},";
  out += kFields + std::strlen("{\"fields\":[");
  bool first = true;
  for (size_t i = 0; i < parsed.size(); ++i)
    AppendChildRows(out, first, parsed[i], int(i + 1), refs, loaded);
  out += "]}";
  return {std::make_shared<const std::string>(std::move(out))};
}

JsonPieces GetCurvaLms(Db& db, AssessReferenceCache& cache, const QJsonArray& params) {
  const QString method = QStringLiteral("GetCurvaLms");
  const Params p(method, params);
  p.expect(3);
  const std::string code = Code(p.text(0, QStringLiteral("referência")).trimmed(), true);
  const QString sex = p.text(1, QStringLiteral("sexo"));
  if (sex != QLatin1String("M") && sex != QLatin1String("F"))
    BadParams(QStringLiteral("GetCurvaLms: sexo deve ser \"M\" ou \"F\"."));
  const QString indicator = p.text(2, QStringLiteral("indicador"));
  const std::pair<const char*, trp::assess::Curve> curves[] = {
      {"peso_idade", trp::assess::Curve::WeightAge},
      {"estatura_idade", trp::assess::Curve::HeightAge},
      {"imc_idade", trp::assess::Curve::BmiAge},
      {"pc_idade", trp::assess::Curve::HeadAge}};
  std::optional<trp::assess::Curve> curve;
  for (const auto& [key, c] : curves)
    if (indicator == QLatin1String(key)) curve = c;
  if (!curve)
    BadParams(
        QStringLiteral("GetCurvaLms: indicador deve ser peso_idade, estatura_idade, "
                       "imc_idade ou pc_idade."));
  Transaction tx(db, false);
  if (!Exists(db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {code}))
    Refuse(QStringLiteral("Referência '%1' não cadastrada.").arg(QString::fromStdString(code)));
  const auto loaded = cache.Get(db, code);
  const trp::assess::Reference& ref = *loaded;
  const QList<double> percentiles =
      ref.percentiles.isEmpty() ? QList<double>{3, 15, 50, 85, 97} : ref.percentiles;
  std::string out =
      "{\"fields\":[{\"name\":\"DSPERCENTIL\",\"type\":\"string\",\"size\":10},"
      "{\"name\":\"VRX\",\"type\":\"float\"},{\"name\":\"VRY\",\"type\":\"float\"}],\"rows\":[";
  bool first = true;
  for (const auto& [percentile, points] : trp::assess::AgeCurvesFromLms(
           ref.lms, *curve, sex == QLatin1String("M") ? Sex::Male : Sex::Female, percentiles)) {
    const std::string label = trp::assess::PercentileName(percentile).toStdString();
    for (const auto& [x, y] : points) {
      out += first ? "[" : ",[";
      first = false;
      AppendString(out, label);
      out += ',';
      AppendNumber(out, std::round(x * 1000) / 1000);
      out += ',';
      AppendNumber(out, std::round(y * 1000) / 1000);
      out += ']';
    }
  }
  out += "]}";
  return {std::make_shared<const std::string>(std::move(out))};
}

}  // namespace srv
