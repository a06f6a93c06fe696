// Before a row goes to the server its typed values meet the rules of the
// administrator's plausibility check (physiological bounds, the range of the
// shipped WHO and CDC curves at that age or height, the jump off the
// percentile's curve, the order of the percentiles by their values at the
// same key). An odd value is asked about; No puts the user back on it, Yes
// saves as typed.

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/sql/adoibquery.h"
#include "framework/ui/dialogs.h"
#include "import/plausibility.h"
#include "import/reference_ranges.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace trp::tabrelpeso {

using growth::Quantity;
using growth::Statistic;

QList<Coluna> Colunas(bool porIdade, bool nchs) {
  const Quantity w = Quantity::Weight, h = Quantity::Stature, c = Quantity::Head;
  const Statistic v = Statistic::Value, m = Statistic::Mean, d = Statistic::Sd;
  if (porIdade)
    return {{"VRPESOMASIDA", "VRPESOFEMIDA", w, v}, {"VRMDPSMASIDA", "VRMDPSFEMIDA", w, m},
            {"VRDPPSMASIDA", "VRDPPSFEMIDA", w, d}, {"VRALTUMASIDA", "VRALTUFEMIDA", h, v},
            {"VRMDATMASIDA", "VRMDATFEMIDA", h, m}, {"VRDPATMASIDA", "VRDPATFEMIDA", h, d},
            {"VRPMCFMASIDA", "VRPMCFFEMIDA", c, v}, {"VRMDPCMASIDA", "VRMDPCFEMIDA", c, m},
            {"VRDPPCMASIDA", "VRDPPCFEMIDA", c, d}};
  if (nchs)
    return {{"VRPESOMASN2", "VRPESOFEMN2", w, v},
            {"VRMEDIMASN2", "VRMEDIFEMN2", w, m},
            {"VRDVPDMASN2", "VRDVPDFEMN2", w, d}};
  return {{"VRPESOMASALT", "VRPESOFEMALT", w, v}};
}

QString Nome(Quantity q, Statistic st) {
  QString nome;
  switch (q) {
    case Quantity::Weight:
      nome = QStringLiteral("peso");
      break;
    case Quantity::Stature:
      nome = QStringLiteral("altura");
      break;
    case Quantity::Head:
      nome = QStringLiteral("perímetro cefálico");
      break;
  }
  if (st == Statistic::Mean) return QStringLiteral("Média do ") + nome;
  if (st == Statistic::Sd) return QStringLiteral("Desvio padrão do ") + nome;
  return nome.left(1).toUpper() + nome.mid(1);
}

namespace {

// Percentile code -> value from the master data in the local database;
// codes by their numbers when it cannot be read.
growth::PercentileValues ValoresPercentis(QObject* owner) {
  growth::PercentileValues values;
  try {
    fw::TADOIBQuery q(QStringLiteral("qryValorPercentil"), owner);
    q.SetSql(fw::SqlDialect::Default,
             QStringList{QStringLiteral("SELECT CDPERCENTIL, VRPERCENTIL FROM PERCENTIL")});
    q.Open();
    fw::Dataset* ds = q.DataSet();
    for (ds->First(); !ds->Eof(); ds->Next())
      if (!ds->Fields().at(1)->IsNull())
        values[ds->Fields().at(0)->AsString()] = ds->Fields().at(1)->AsFloat();
  } catch (const std::exception&) {
  }
  return values;
}

QString Unidade(Quantity q) {
  return q == Quantity::Weight ? QStringLiteral("kg") : QStringLiteral("cm");
}

QString Quando(bool porIdade, double key) {
  if (!porIdade) return QStringLiteral("com %1 cm de altura").arg(fw::FloatToStr(key));
  const int total = int(std::lround(key));
  const int anos = total / 12;
  const int meses = total % 12;
  const auto plural = [](int n, const char* um, const char* varios) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? um : varios));
  };
  if (total == 0) return QStringLiteral("ao nascer");
  if (anos == 0) return QStringLiteral("aos ") + plural(meses, "mês", "meses");
  if (meses == 0) return QStringLiteral("aos ") + plural(anos, "ano", "anos");
  return QStringLiteral("aos %1 e %2")
      .arg(plural(anos, "ano", "anos"), plural(meses, "mês", "meses"));
}

// The neighbours as the grid shows them.
QString Regra(const growth::ValueInContext& v, growth::Finding finding, const fw::Field* field,
              const QString& abaixo, const QString& acima, const QString& fontes, bool porIdade) {
  const auto shown = [field](double value) { return field->DisplayTextOf(value); };
  switch (finding) {
    case growth::Finding::Bounds: {
      const growth::Range r = growth::RangeOf(v.quantity);
      return QStringLiteral("fora do intervalo fisiológico (%1 a %2 %3)")
          .arg(fw::FloatToStr(r.low), fw::FloatToStr(r.high), Unidade(v.quantity));
    }
    case growth::Finding::Reference:
      return QStringLiteral("fora da faixa das curvas %1 para essa %2 (%3 a %4 %5)")
          .arg(fontes, porIdade ? QStringLiteral("idade") : QStringLiteral("altura"),
               fw::FormatFloat(v.reference->low, QStringLiteral("0.0")),
               fw::FormatFloat(v.reference->high, QStringLiteral("0.0")), Unidade(v.quantity));
    case growth::Finding::Jump: {
      const growth::Trend t = *growth::TrendOf(v);
      return QStringLiteral("fora do esperado (%1 %2 e %3)")
          .arg(t.extended ? QStringLiteral("seguindo") : QStringLiteral("vizinhos"),
               shown(t.a.value), shown(t.b.value));
    }
    default:
      break;
  }
  QStringList vizinhos;
  if (v.lowerPercentile && *v.lowerPercentile > v.at.value)
    vizinhos << QStringLiteral("P%1 %2").arg(abaixo, shown(*v.lowerPercentile));
  if (v.upperPercentile && v.at.value > *v.upperPercentile)
    vizinhos << QStringLiteral("P%1 %2").arg(acima, shown(*v.upperPercentile));
  return QStringLiteral("fora da ordem dos percentis (%1)")
      .arg(vizinhos.join(QStringLiteral(" e ")));
}

}  // namespace

void TfrmTabRelPeso::VerificaPlausibilidade(const Tabela& table) {
  const bool porIdade = &table == &idade_;
  const QString chave = porIdade ? QString() : table.rowKeys.value(0);
  fw::Dataset* rows = table.rows;
  const QString referencia = rows->FieldByName(u"CDREFEBIBL")->AsString();
  const QString percentil = rows->FieldByName(u"CDPERCENTIL")->AsString();
  const double key = porIdade ? rows->FieldByName(u"NRIDADEINI")->AsFloat() * 12 +
                                    rows->FieldByName(u"NRIDADEFIN")->AsFloat()
                              : rows->FieldByName(chave)->AsFloat();

  // What the server holds: every reference's rows, the row being changed at
  // its stored values.
  const fw::DataPacket data = rows->Data();
  const int cRef = data.fieldIndex(u"CDREFEBIBL");
  const int cPerc = data.fieldIndex(u"CDPERCENTIL");
  const int cAnos = data.fieldIndex(u"NRIDADEINI");
  const int cMeses = data.fieldIndex(u"NRIDADEFIN");
  const int cChave = porIdade ? -1 : data.fieldIndex(chave);
  const auto chaveDe = [&](qsizetype r) {
    return porIdade ? data.value(r, cAnos).toDouble() * 12 + data.value(r, cMeses).toDouble()
                    : data.value(r, cChave).toDouble();
  };
  const auto mesma = [](double a, double b) { return std::fabs(a - b) < 1e-6; };
  std::optional<growth::PercentileValues> valores;  // read once, when a value needs them

  for (const Coluna& coluna : Colunas(porIdade, rows == cdsPesAltNCHS)) {
    for (const char* name : {coluna.masc, coluna.fem}) {
      fw::Field* field = rows->FieldByName(QString::fromLatin1(name));
      if (field->IsNull()) continue;
      const int c = data.fieldIndex(QString::fromLatin1(name));
      std::optional<double> gravado;
      for (qsizetype r = 0; r < data.rowCount(); ++r)
        if (!data.isNull(r, c) && data.value(r, cRef).toString() == referencia &&
            data.value(r, cPerc).toString() == percentil && mesma(chaveDe(r), key))
          gravado = data.value(r, c).toDouble();
      if (gravado && *gravado == field->AsFloat()) continue;  // not typed now
      if (!valores) valores = ValoresPercentis(this);

      growth::ValueInContext v;
      v.quantity = coluna.quantity;
      v.byAge = porIdade;
      v.at = {key, field->AsFloat()};
      std::vector<growth::Point> curva;  // the percentile's other keys
      QString abaixo, acima;
      const auto antes = [&](const QString& a, const QString& b) {
        return growth::PercentileBefore(*valores, a, b);
      };
      for (qsizetype r = 0; r < data.rowCount(); ++r) {
        if (data.isNull(r, c) || data.value(r, cRef).toString() != referencia) continue;
        const QString perc = data.value(r, cPerc).toString();
        const double k = chaveDe(r);
        const double value = data.value(r, c).toDouble();
        if (perc == percentil) {
          if (!mesma(k, key)) curva.push_back({k, value});
        } else if (mesma(k, key) && coluna.statistic == Statistic::Value) {
          // Means and deviations have no order between percentiles.
          if (antes(perc, percentil) && (abaixo.isNull() || antes(abaixo, perc)))
            abaixo = perc, v.lowerPercentile = value;
          if (antes(percentil, perc) && (acima.isNull() || antes(perc, acima)))
            acima = perc, v.upperPercentile = value;
        }
      }
      std::sort(curva.begin(), curva.end(),
                [](const growth::Point& a, const growth::Point& b) { return a.key < b.key; });
      std::vector<double> keys{key};
      for (const growth::Point& p : curva) keys.push_back(p.key);
      std::sort(keys.begin(), keys.end());
      v.step = growth::UsualStep(porIdade, keys);
      const auto depois =
          std::upper_bound(curva.begin(), curva.end(), key,
                           [](double k, const growth::Point& p) { return k < p.key; });
      if (depois != curva.end()) v.next = *depois;
      if (depois != curva.end() && std::next(depois) != curva.end())
        v.afterNext = *std::next(depois);
      if (depois != curva.begin()) v.previous = *std::prev(depois);
      if (std::distance(curva.begin(), depois) >= 2) v.beforePrevious = *std::prev(depois, 2);
      QString fontes;
      if (const auto faixa = growth::ReferenceCurves::Shipped().RangeAt(
              coluna.quantity, coluna.statistic, porIdade,
              std::strcmp(name, coluna.fem) == 0 ? growth::kFemale : growth::kMale, key)) {
        v.reference = growth::Range{faixa->low, faixa->high};
        fontes = faixa->sources;
      }
      growth::Finding finding = growth::Finding::None;
      if (coluna.statistic == Statistic::Sd) {
        // A deviation is judged by its range only: it need not follow a line.
        if (v.reference && (v.at.value < v.reference->low || v.at.value > v.reference->high))
          finding = growth::Finding::Reference;
      } else {
        finding = growth::CheckValue(v);
      }
      if (finding == growth::Finding::None) continue;
      const QString pergunta = QStringLiteral("%1 %2 %3 %4: %5. Gravar assim mesmo?")
                                   .arg(Nome(v.quantity, coluna.statistic), field->DisplayText(),
                                        Unidade(v.quantity), Quando(porIdade, key),
                                        Regra(v, finding, field, abaixo, acima, fontes, porIdade));
      if (fw::Dialogs().Message(pergunta, fw::MsgType::Confirmation, fw::mbYesNo, 0) == fw::mbYes)
        continue;
      FocaCampoLinhas(table, QLatin1String(name), QLatin1String(name), false);
      throw fw::EAbort();
    }
  }
}

}  // namespace trp::tabrelpeso
