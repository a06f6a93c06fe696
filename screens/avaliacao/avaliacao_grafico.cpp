// The assessment's charts and results, without a printer or a widget: the
// screen, the printout and the server's web view share them.

#include "screens/avaliacao/avaliacao_laudo.h"

#include "assess/age.h"
#include "assess/assessment.h"

#include <algorithm>
#include <cmath>

namespace trp::avaliacao {

QString EixoY(const QString& indicador) {
  if (indicador == QLatin1String("estatura_idade"))
    return QStringLiteral("Comprimento/estatura (cm)");
  if (indicador == QLatin1String("imc_idade")) return QStringLiteral("IMC (kg/m²)");
  if (indicador == QLatin1String("pc_idade")) return QStringLiteral("Perímetro cefálico (cm)");
  return QStringLiteral("Peso (kg)");
}

bool DeitadoNaIdade(int dias) { return dias < 731; }

std::optional<double> Imc(const VisitaLaudo& v) {
  if (!v.peso || !v.medida) return std::nullopt;
  return *v.peso / std::pow(*v.medida / 100, 2);
}

QString NomeIndicador(const QString& key) {
  if (key == QLatin1String("peso_idade")) return QStringLiteral("Peso para a idade");
  if (key == QLatin1String("estatura_idade"))
    return QStringLiteral("Comprimento/estatura para a idade");
  if (key == QLatin1String("peso_estatura"))
    return QStringLiteral("Peso para o comprimento/estatura");
  if (key == QLatin1String("imc_idade")) return QStringLiteral("IMC para a idade");
  if (key == QLatin1String("pc_idade")) return QStringLiteral("Perímetro cefálico para a idade");
  return key;
}

QString TextoAlerta(bool implausivel, const QString& sinalizacao) {
  QStringList partes;
  if (implausivel) partes << QStringLiteral("implausível");
  if (!sinalizacao.isEmpty()) partes << sinalizacao;
  return partes.isEmpty() ? QString() : QStringLiteral("⚠ ") + partes.join(QStringLiteral("; "));
}

const QStringList& Indicadores() {
  static const QStringList keys{QStringLiteral("peso_idade"), QStringLiteral("estatura_idade"),
                                QStringLiteral("peso_estatura"), QStringLiteral("imc_idade"),
                                QStringLiteral("pc_idade")};
  return keys;
}

QString TextoIdade(const QDate& nascimento, int dias) {
  return assess::AgeText(nascimento, nascimento.addDays(dias));
}

std::optional<QPointF> PontoDaVisita(const VisitaLaudo& v, const QString& indicador) {
  const double meses = v.idadeCorrigidaDias.value_or(v.idadeDias) / assess::kDaysPerMonth;
  if (indicador == QLatin1String("peso_idade") && v.peso) return QPointF(meses, *v.peso);
  if (indicador == QLatin1String("estatura_idade") && v.medida) return QPointF(meses, *v.medida);
  if (indicador == QLatin1String("pc_idade") && v.perimetro) return QPointF(meses, *v.perimetro);
  if (indicador == QLatin1String("peso_estatura") && v.medida && v.peso)
    return QPointF(*v.medida, *v.peso);
  if (indicador == QLatin1String("imc_idade"))
    if (const auto imc = Imc(v)) return QPointF(meses, *imc);
  return std::nullopt;
}

std::optional<std::pair<double, double>> JanelaDoGrafico(const Laudo& laudo,
                                                         const QString& indicador) {
  std::optional<double> lo, hi;
  for (const VisitaLaudo& v : laudo.visitas)
    if (const auto p = PontoDaVisita(v, indicador)) {
      lo = std::min(lo.value_or(p->x()), p->x());
      hi = std::max(hi.value_or(p->x()), p->x());
    }
  if (!lo) return std::nullopt;
  if (indicador == QLatin1String("peso_estatura"))
    return std::pair{std::floor(*lo - 10), std::ceil(*hi + 10)};
  // The spans of the usual growth charts, the smallest that holds the child's
  // ages with a month to spare.
  double fim = 240;
  for (double limite : {6.0, 12.0, 24.0, 36.0, 60.0, 120.0, 180.0, 240.0})
    if (*hi + 1 <= limite) {
      fim = limite;
      break;
    }
  double inicio = 0;
  for (double limite : {0.0, 24.0, 60.0, 120.0})
    if (limite <= *lo - 1 && limite < fim - 24) inicio = limite;
  return std::pair{inicio, fim};
}

report::ChartData GraficoDaCrianca(const Laudo& laudo, const QString& referencia,
                                   const QString& indicador) {
  report::ChartData data = laudo.curvas ? laudo.curvas(referencia, indicador) : report::ChartData{};
  data.title = NomeIndicador(indicador);
  const bool altura = indicador == QLatin1String("peso_estatura");
  data.xTitle =
      altura ? QStringLiteral("Comprimento/estatura (cm)") : QStringLiteral("Idade (meses)");
  data.xMonths = !altura;
  data.yTitle = EixoY(indicador);
  data.boundaries.clear();
  const auto janela = JanelaDoGrafico(laudo, indicador);
  QList<report::ChartSeries> series;
  for (report::ChartSeries s : data.series) {
    if (janela) {
      QVector<QPointF> dentro;
      for (const QPointF& p : s.points)
        if (p.x() >= janela->first && p.x() <= janela->second) dentro << p;
      s.points = dentro;
    }
    s.highlighted = false;
    if (!s.points.isEmpty()) series << s;
  }
  report::ChartSeries crianca;
  crianca.label = QStringLiteral("Criança");
  crianca.highlighted = true;
  crianca.markers = true;
  for (const VisitaLaudo& v : laudo.visitas)
    if (const auto p = PontoDaVisita(v, indicador)) crianca.points << *p;
  std::sort(crianca.points.begin(), crianca.points.end(),
            [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
  if (!crianca.points.isEmpty()) series << crianca;
  data.series = series;
  return data;
}

FonteCurvas FonteDasCurvas(const QString& indicador) {
  using tabrelpeso::Medida;
  using tabrelpeso::TabelaGrafico;
  // No table keeps BMI: its curves come from the reference's L, M and S.
  if (indicador == QLatin1String("imc_idade")) return {true, TabelaGrafico::Idade, Medida::Peso};
  if (indicador == QLatin1String("peso_estatura"))
    return {false, TabelaGrafico::Altura, Medida::Peso};
  if (indicador == QLatin1String("pc_idade"))
    return {false, TabelaGrafico::Idade, Medida::PerimetroCefalico};
  if (indicador == QLatin1String("estatura_idade"))
    return {false, TabelaGrafico::Idade, Medida::Altura};
  return {false, TabelaGrafico::Idade, Medida::Peso};
}

report::ChartData CurvasLms(const fw::DataPacket& rows) {
  report::ChartData data;
  const int label = rows.fieldIndex(u"DSPERCENTIL");
  const int x = rows.fieldIndex(u"VRX");
  const int y = rows.fieldIndex(u"VRY");
  for (qsizetype r = 0; r < rows.rowCount(); ++r) {
    const QString l = rows.value(r, label).toString();
    if (data.series.isEmpty() || data.series.last().label != l)
      data.series << report::ChartSeries{l, {}, false, false};
    data.series.last().points << QPointF(rows.value(r, x).toDouble(), rows.value(r, y).toDouble());
  }
  return data;
}

QVariantList ArgumentosAvaliacao(bool masculino, const VisitaLaudo& v, const QStringList& refs) {
  const auto ou = [](const std::optional<double>& x) { return x ? QVariant(*x) : QVariant(); };
  return {masculino ? QStringLiteral("M") : QStringLiteral("F"),
          double(v.idadeCorrigidaDias.value_or(v.idadeDias)),
          QVariant(),
          QVariant(),
          ou(v.peso),
          ou(v.medida),
          v.medida ? (v.deitado ? QStringLiteral("D") : QStringLiteral("P")) : QString(),
          ou(v.perimetro),
          refs.join(u',')};
}

QList<LinhaLaudo> LinhasDaResposta(const fw::DataPacket& answer) {
  const auto col = [&](const char* name) { return answer.fieldIndex(QString::fromLatin1(name)); };
  QList<LinhaLaudo> linhas;
  for (qsizetype r = 0; r < answer.rowCount(); ++r) {
    LinhaLaudo l;
    l.referencia = answer.value(r, col("CDREFEBIBL")).toString();
    l.indicador = answer.value(r, col("CDINDICADOR")).toString();
    const QVariant z = answer.value(r, col("VRZ"));
    const QVariant p = answer.value(r, col("VRPERCENTIL"));
    if (!z.isNull()) l.z = z.toDouble();
    if (!p.isNull()) l.percentil = p.toDouble();
    l.faixa = answer.value(r, col("DSFAIXA")).toString();
    l.classificacao = answer.value(r, col("DSCLASSIFICACAO")).toString();
    l.alerta = TextoAlerta(
        answer.value(r, col("FLIMPLAUSIVEL")).toString() == QLatin1String("S"),
        col("DSSINALIZACAO") < 0 ? QString() : answer.value(r, col("DSSINALIZACAO")).toString());
    linhas << l;
  }
  return linhas;
}

}  // namespace trp::avaliacao
