#include "server/assessment.h"

#include "server/json_out.h"

#include <QString>

#include <cmath>
#include <set>

namespace srv {

namespace {

using trp::assess::Indicator;
using trp::assess::Sex;

}  // namespace

void AppendRounded(std::string& out, const std::optional<double>& v, double scale) {
  if (!v) {
    out += "null";
    return;
  }
  // -0 would read oddly as "-0".
  AppendNumber(out, std::round(*v * scale) / scale + 0.0);
}

void AppendTextOrNull(std::string& out, const QString& text) {
  if (text.isEmpty())
    out += "null";
  else
    AppendString(out, text.toStdString());
}

trp::assess::Reference LoadAssessReference(Db& db, const std::string& reference) {
  trp::assess::Reference ref;
  bool who = false;
  db.run(
      "SELECT CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, VRS, CDORIGEM FROM LMSREFERENCIA "
      "WHERE CDREFEBIBL = ? ORDER BY CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE",
      {reference}, [&](const SqlRow& r) {
        const auto curve = trp::assess::CurveFromCode(
            QString::fromLatin1(r.text(0).data(), qsizetype(r.text(0).size())));
        const auto unit =
            trp::assess::UnitFromCode(r.text(2).empty() ? QChar() : QChar(r.text(2)[0]));
        if (!curve || !unit) return;  // a curve this build does not know
        ref.lms.Add(*curve, r.text(1) == "F" ? Sex::Female : Sex::Male, *unit, r.real(3),
                    {r.real(4), r.real(5), r.real(6)});
        who = who || r.text(7) == "OMS";
      });
  if (!ref.lms.Empty()) ref.source = who ? trp::assess::Source::Who : trp::assess::Source::Cdc;
  // Curves are placed and named by their percentile's value; a percentile
  // without a value cannot be placed among the others and stays out.
  std::set<double> percentiles;
  db.run(
      "SELECT p.VRPERCENTIL, t.NRIDADEINI, t.NRIDADEFIN, t.VRPESOMASIDA, t.VRPESOFEMIDA, "
      "t.VRALTUMASIDA, t.VRALTUFEMIDA, t.VRPMCFMASIDA, t.VRPMCFFEMIDA FROM PESALTIDADE t "
      "JOIN PERCENTIL p ON p.CDPERCENTIL = t.CDPERCENTIL "
      "WHERE t.CDREFEBIBL = ? AND p.VRPERCENTIL IS NOT NULL",
      {reference}, [&](const SqlRow& r) {
        const double p = r.real(0);
        percentiles.insert(p);
        const double months = r.real(1) * 12 + r.real(2);
        const Indicator byColumn[] = {Indicator::WeightAge, Indicator::StatureAge,
                                      Indicator::HeadAge};
        for (int k = 0; k < 3; ++k)
          for (int sex = 0; sex < 2; ++sex)
            if (!r.isNull(3 + 2 * k + sex))
              ref.kept.Add(byColumn[k], Sex(sex), p, months, r.real(3 + 2 * k + sex));
      });
  db.run(
      "SELECT p.VRPERCENTIL, t.VRALTURA, t.VRPESOMASALT, t.VRPESOFEMALT FROM PESOALTU t "
      "JOIN PERCENTIL p ON p.CDPERCENTIL = t.CDPERCENTIL "
      "WHERE t.CDREFEBIBL = ? AND p.VRPERCENTIL IS NOT NULL",
      {reference}, [&](const SqlRow& r) {
        const double p = r.real(0);
        percentiles.insert(p);
        for (int sex = 0; sex < 2; ++sex)
          if (!r.isNull(2 + sex))
            ref.kept.Add(Indicator::WeightStature, Sex(sex), p, r.real(1), r.real(2 + sex));
      });
  for (double p : percentiles) ref.percentiles.append(p);
  return ref;
}

void AppendResultsJson(std::string& out, const std::vector<trp::assess::Result>& results) {
  out += '{';
  bool first = true;
  for (const auto& r : results) {
    if (!first) out += ',';
    first = false;
    AppendString(out, trp::assess::IndicatorKey(r.indicator));
    out += ":{\"z\":";
    AppendRounded(out, r.z, 100);
    out += ",\"percentil\":";
    AppendRounded(out, r.percentile, 10);
    out += ",\"faixa\":";
    AppendString(out, r.band.toStdString());
    out += ",\"classificacao\":";
    AppendTextOrNull(out, r.classification.value_or(QString()));
    out += ",\"implausivel\":";
    out += r.implausible ? "true" : "false";
    out += ",\"sinalizacao\":";
    AppendTextOrNull(out, r.flag);
    out += '}';
  }
  out += '}';
}

}  // namespace srv
