// Before a row goes to the server its typed values meet the rules of the
// administrator's plausibility check (physiological bounds, the jump off the
// percentile's curve, the order of the percentiles at the same key). An odd
// value is asked about; No puts the user back on it, Yes saves as typed.

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/ui/dialogs.h"
#include "import/plausibility.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <algorithm>
#include <cmath>

namespace trp::tabrelpeso {

namespace {

using growth::Quantity;

struct Coluna {
  const char* masc;
  const char* fem;
  Quantity quantity;
};

// The values each table checks, by the key its rows have.
QList<Coluna> Colunas(bool porIdade, bool nchs) {
  if (porIdade)
    return {{"VRPESOMASIDA", "VRPESOFEMIDA", Quantity::Weight},
            {"VRALTUMASIDA", "VRALTUFEMIDA", Quantity::Stature},
            {"VRPMCFMASIDA", "VRPMCFFEMIDA", Quantity::Head}};
  if (nchs) return {{"VRPESOMASN2", "VRPESOFEMN2", Quantity::Weight}};
  return {{"VRPESOMASALT", "VRPESOFEMALT", Quantity::Weight}};
}

QString Nome(Quantity q) {
  switch (q) {
    case Quantity::Weight:
      return QStringLiteral("Peso");
    case Quantity::Stature:
      return QStringLiteral("Altura");
    case Quantity::Head:
      break;
  }
  return QStringLiteral("Perímetro cefálico");
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
              const QString& abaixo, const QString& acima) {
  const auto shown = [field](double value) { return field->DisplayTextOf(value); };
  switch (finding) {
    case growth::Finding::Bounds: {
      const growth::Range r = growth::RangeOf(v.quantity);
      return QStringLiteral("fora do intervalo fisiológico (%1 a %2 %3)")
          .arg(fw::FloatToStr(r.low), fw::FloatToStr(r.high), Unidade(v.quantity));
    }
    case growth::Finding::Jump:
      return QStringLiteral("fora do esperado (vizinhos %1 e %2)")
          .arg(shown(v.previous->value), shown(v.next->value));
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
  const auto chaveAtual = [&] {
    return porIdade ? rows->FieldByName(u"NRIDADEINI")->AsFloat() * 12 +
                          rows->FieldByName(u"NRIDADEFIN")->AsFloat()
                    : rows->FieldByName(chave)->AsFloat();
  };
  const double key = chaveAtual();

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

  for (const Coluna& coluna : Colunas(porIdade, rows == cdsPesAltNCHS)) {
    for (const char* name : {coluna.masc, coluna.fem}) {
      fw::Field* field = rows->FieldByName(QString::fromLatin1(name));
      if (field->IsNull()) continue;
      growth::ValueInContext v;
      v.quantity = coluna.quantity;
      v.byAge = porIdade;
      v.at = {key, field->AsFloat()};
      const int c = data.fieldIndex(QString::fromLatin1(name));
      std::optional<double> gravado;
      std::vector<double> keys{key};
      QString abaixo, acima;
      for (qsizetype r = 0; r < data.rowCount(); ++r) {
        if (data.isNull(r, c) || data.value(r, cRef).toString() != referencia) continue;
        const QString perc = data.value(r, cPerc).toString();
        const double k = chaveDe(r);
        const double value = data.value(r, c).toDouble();
        if (perc == percentil) {
          if (mesma(k, key)) {
            gravado = value;
            continue;
          }
          keys.push_back(k);
          if (k < key && (!v.previous || k > v.previous->key)) v.previous = growth::Point{k, value};
          if (k > key && (!v.next || k < v.next->key)) v.next = growth::Point{k, value};
        } else if (mesma(k, key)) {
          if (perc < percentil && (abaixo.isNull() || perc > abaixo))
            abaixo = perc, v.lowerPercentile = value;
          if (perc > percentil && (acima.isNull() || perc < acima))
            acima = perc, v.upperPercentile = value;
        }
      }
      if (gravado && *gravado == v.at.value) continue;  // not typed now
      std::sort(keys.begin(), keys.end());
      v.step = growth::UsualStep(porIdade, keys);
      const growth::Finding finding = growth::CheckValue(v);
      if (finding == growth::Finding::None) continue;
      const QString pergunta =
          QStringLiteral("%1 %2 %3 %4: %5. Gravar assim mesmo?")
              .arg(Nome(v.quantity), field->DisplayText(), Unidade(v.quantity),
                   Quando(porIdade, key), Regra(v, finding, field, abaixo, acima));
      if (fw::Dialogs().Message(pergunta, fw::MsgType::Confirmation, fw::mbYesNo, 0) == fw::mbYes)
        continue;
      FocaCampoLinhas(table, QLatin1String(name), QLatin1String(name), false);
      throw fw::EAbort();
    }
  }
}

}  // namespace trp::tabrelpeso
