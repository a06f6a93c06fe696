// The chart of a table's rows and the source boundaries of a reference.

#include "screens/tabrelpeso/tabrelpeso_curves.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>

namespace trp::tabrelpeso {

namespace {

struct Colunas {
  const char* x;
  const char* yMas;
  const char* yFem;
  const char* yTitle;
};

Colunas ColunasDe(TabelaGrafico tabela, Medida medida) {
  switch (tabela) {
    case TabelaGrafico::Altura:
      return {"VRALTURA", "VRPESOMASALT", "VRPESOFEMALT", "Peso (kg)"};
    case TabelaGrafico::AlturaNCHS:
      return {"VRALTURAN2", "VRPESOMASN2", "VRPESOFEMN2", "Peso (kg)"};
    case TabelaGrafico::Idade:
      break;
  }
  switch (medida) {
    case Medida::Altura:
      return {nullptr, "VRALTUMASIDA", "VRALTUFEMIDA", "Altura (cm)"};
    case Medida::PerimetroCefalico:
      return {nullptr, "VRPMCFMASIDA", "VRPMCFFEMIDA", "Perímetro cefálico (cm)"};
    case Medida::Peso:
      break;
  }
  return {nullptr, "VRPESOMASIDA", "VRPESOFEMIDA", "Peso (kg)"};
}

QString Rotulo(const QString& percentil) {
  bool ok = false;
  const int n = percentil.toInt(&ok);
  return QStringLiteral("P") + (ok ? QString::number(n) : percentil);
}

}  // namespace

report::ChartData CurvasDaTabela(const fw::DataPacket& rows, TabelaGrafico tabela,
                                 const QString& referencia, const QString& percentil,
                                 bool masculino, Medida medida) {
  const Colunas c = ColunasDe(tabela, medida);
  report::ChartData data;
  const bool idade = tabela == TabelaGrafico::Idade;
  data.xTitle = idade ? QStringLiteral("Idade (meses)") : QStringLiteral("Altura (cm)");
  data.yTitle = QString::fromUtf8(c.yTitle);
  const QString sexo = masculino ? QStringLiteral("masculino") : QStringLiteral("feminino");
  data.title = (idade ? data.yTitle.section(QLatin1Char(' '), 0, -2) + QStringLiteral(" por idade")
                      : QStringLiteral("Peso por altura")) +
               QStringLiteral(" - ") + sexo;
  const int ref = rows.fieldIndex(u"CDREFEBIBL");
  const int perc = rows.fieldIndex(u"CDPERCENTIL");
  const int y = rows.fieldIndex(QString::fromLatin1(masculino ? c.yMas : c.yFem));
  const int x = idade ? -1 : rows.fieldIndex(QString::fromLatin1(c.x));
  const int anos = rows.fieldIndex(u"NRIDADEINI");
  const int meses = rows.fieldIndex(u"NRIDADEFIN");
  if (ref < 0 || perc < 0 || y < 0 || (idade ? anos < 0 || meses < 0 : x < 0)) return data;
  std::map<QString, QVector<QPointF>> curves;  // by code: the codes' order
  for (qsizetype r = 0; r < rows.rowCount(); ++r) {
    if (rows.value(r, ref).toString() != referencia) continue;
    const QVariant key =
        idade ? QVariant(rows.value(r, anos).toDouble() * 12 + rows.value(r, meses).toDouble())
              : rows.value(r, x);
    if (key.isNull()) continue;
    const QVariant value = rows.value(r, y);
    curves[rows.value(r, perc).toString()]
        << QPointF(key.toDouble(), value.isNull() ? std::nan("") : value.toDouble());
  }
  for (auto& [code, points] : curves) {
    std::sort(points.begin(), points.end(),
              [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    data.series << report::ChartSeries{Rotulo(code), points, code == percentil, false};
  }
  return data;
}

QList<report::ChartBoundary> FronteirasDe(const QString& citacao, TabelaGrafico tabela) {
  static const QRegularExpression standards(QStringLiteral("Growth Standards.*2006"));
  static const QRegularExpression reference(QStringLiteral("reference.*2007"));
  if (tabela != TabelaGrafico::Idade || !standards.match(citacao).hasMatch() ||
      !reference.match(citacao).hasMatch())
    return {};
  return {report::ChartBoundary{60.5, QStringLiteral("OMS 2006 | OMS 2007")}};
}

}  // namespace trp::tabrelpeso
