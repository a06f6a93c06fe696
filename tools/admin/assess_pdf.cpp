// tabrelpeso-admin assess --pdf: the screen's printout of one child (or of
// a series of visits) from the database, without a server.

#include "assess.h"

#include "assess/age.h"
#include "assess/curves.h"
#include "screens/avaliacao/avaliacao_laudo.h"
#include "screens/avaliacao/avaliacao_visitas.h"
#include "server/assessment.h"
#include "server/storage.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <stdexcept>

namespace {

using trp::avaliacao::Laudo;
using trp::avaliacao::LinhaLaudo;
using trp::avaliacao::VisitaLaudo;

QString Text(std::string_view v) { return QString::fromUtf8(v.data(), qsizetype(v.size())); }

[[noreturn]] void Falha(const QString& text) { throw std::runtime_error(text.toStdString()); }

std::optional<double> Rounded(const std::optional<double>& v, double scale) {
  if (!v) return std::nullopt;
  return std::round(*v * scale) / scale + 0.0;
}

// The kept curves of `ref` as the screen draws them: "P3" ... in value order.
report::ChartData Curves(const trp::assess::Reference& ref, const QString& indicator, bool male) {
  report::ChartData data;
  const trp::assess::Sex sex = male ? trp::assess::Sex::Male : trp::assess::Sex::Female;
  for (int i = 0; i < trp::assess::kIndicatorCount; ++i) {
    const auto ind = trp::assess::Indicator(i);
    if (indicator != QLatin1String(trp::assess::IndicatorKey(ind))) continue;
    // No table keeps BMI: its curves come from the L, M and S, as the server's GetCurvaLms.
    const auto curves =
        ind == trp::assess::Indicator::BmiAge
            ? trp::assess::AgeCurvesFromLms(
                  ref.lms, trp::assess::Curve::BmiAge, sex,
                  ref.percentiles.isEmpty() ? QList<double>{3, 15, 50, 85, 97} : ref.percentiles)
            : ref.kept.Curves(ind, sex);
    for (const auto& [percentile, points] : curves) {
      report::ChartSeries s;
      s.label = trp::assess::PercentileName(percentile);
      for (const auto& [x, y] : points) s.points << QPointF(x, y);
      data.series << s;
    }
  }
  return data;
}

}  // namespace

int RunAssessPdf(const std::map<QString, QString>& o, int (*usage)(const QString&)) {
  auto get = [&](const char* name) {
    const auto it = o.find(QString::fromLatin1(name));
    return it == o.end() ? QString() : it->second;
  };
  Laudo laudo;
  if (get("--sex") != QLatin1String("M") && get("--sex") != QLatin1String("F"))
    return usage(QStringLiteral("informe o sexo com --sex M ou --sex F."));
  laudo.masculino = get("--sex") == QLatin1String("M");
  laudo.nascimento = QDate::fromString(get("--birth"), Qt::ISODate);
  if (!laudo.nascimento.isValid())
    return usage(QStringLiteral("informe a data de nascimento com --birth AAAA-MM-DD."));
  if (get("--date").isEmpty() && get("--series").isEmpty())
    return usage(
        QStringLiteral("informe a data da medição com --date AAAA-MM-DD ou as visitas "
                       "com --series."));
  if (!get("--gestational-weeks").isEmpty()) {
    laudo.gestacaoDias = trp::assess::ParseGestation(get("--gestational-weeks"));
    if (!laudo.gestacaoDias)
      return usage(
          QStringLiteral("--gestational-weeks aceita de 20 a 44 semanas e de 0 a 6 "
                         "dias, como 30 ou 30+4."));
  }
  laudo.nome = get("--name");
  laudo.prontuario = get("--record");
  if (!get("--series").isEmpty()) {
    QFile f(get("--series"));
    if (!f.open(QIODevice::ReadOnly))
      Falha(QStringLiteral("Não foi possível ler '%1': %2").arg(f.fileName(), f.errorString()));
    QString erro;
    if (!trp::avaliacao::LeVisitas(f.readAll(), laudo.visitas, erro)) Falha(erro);
  }
  if (!get("--date").isEmpty()) {
    VisitaLaudo v;
    v.data = QDate::fromString(get("--date"), Qt::ISODate);
    if (!v.data.isValid()) return usage(QStringLiteral("data inválida em --date: use AAAA-MM-DD."));
    if (!get("--length").isEmpty() && !get("--height").isEmpty())
      return usage(QStringLiteral("informe --length (deitado) ou --height (em pé), não os dois."));
    const auto number = [&](const char* name, std::optional<double>& into) {
      if (get(name).isEmpty()) return true;
      bool ok = false;
      const double value = QString(get(name)).replace(u',', u'.').toDouble(&ok);
      if (!ok || !(value > 0)) return false;
      into = value;
      return true;
    };
    if (!number("--weight", v.peso) || !number("--length", v.medida) ||
        !number("--height", v.medida) || !number("--head", v.perimetro))
      return usage(
          QStringLiteral("peso, comprimento, estatura e perímetro cefálico devem ser "
                         "números positivos."));
    if (!v.peso && !v.medida && !v.perimetro)
      return usage(QStringLiteral("informe ao menos --weight, --length/--height ou --head."));
    v.deitado = get("--height").isEmpty();
    for (qsizetype i = laudo.visitas.size() - 1; i >= 0; --i)
      if (laudo.visitas[i].data == v.data) laudo.visitas.removeAt(i);
    laudo.visitas << v;
    std::sort(laudo.visitas.begin(), laudo.visitas.end(),
              [](const VisitaLaudo& a, const VisitaLaudo& b) { return a.data < b.data; });
  }
  if (laudo.visitas.isEmpty()) Falha(QStringLiteral("O arquivo de visitas não tem visitas."));

  const QString database = get("--db");
  if (!database.startsWith(QLatin1String("postgres")) && !QFileInfo::exists(database))
    Falha(QStringLiteral("Banco não encontrado: '%1'.").arg(database));
  auto db = srv::OpenDb(database);
  // The references asked for, else the WHO's (as the screen chooses).
  static const QRegularExpression who(QStringLiteral("\\b(OMS|WHO)\\b|Organização Mundial"),
                                      QRegularExpression::CaseInsensitiveOption);
  const QStringList asked = get("--ref").split(u',', Qt::SkipEmptyParts);
  db->run("SELECT CDREFEBIBL, NMREFEBIBL, DSCITACAO FROM REFEBIBL ORDER BY CDREFEBIBL", {},
          [&](const srv::SqlRow& r) {
            const QString code = Text(r.text(0));
            const QString name = Text(r.text(1));
            if (asked.isEmpty() ? who.match(name).hasMatch() : asked.contains(code))
              laudo.referencias << trp::avaliacao::ReferenciaLaudo{code, name, Text(r.text(2))};
          });
  for (const QString& code : asked)
    if (std::none_of(laudo.referencias.cbegin(), laudo.referencias.cend(),
                     [&](const auto& r) { return r.codigo == code; }))
      Falha(QStringLiteral("Referência '%1' não cadastrada.").arg(code));
  if (laudo.referencias.isEmpty())
    Falha(QStringLiteral("Nenhuma referência da OMS cadastrada: informe uma com --ref."));
  std::map<QString, trp::assess::Reference> refs;
  for (const auto& r : laudo.referencias)
    refs.emplace(r.codigo, srv::LoadAssessReference(*db, r.codigo.toStdString()));

  for (VisitaLaudo& v : laudo.visitas) {
    const std::optional<int> days = trp::assess::AgeDays(laudo.nascimento, v.data);
    if (!days)
      Falha(QStringLiteral("A medição de %1 é anterior ao nascimento.")
                .arg(v.data.toString(Qt::ISODate)));
    v.idadeDias = *days;
    if (laudo.gestacaoDias)
      v.idadeCorrigidaDias =
          trp::assess::CorrectedAgeDays(laudo.nascimento, v.data, *laudo.gestacaoDias);
    trp::assess::Child child;
    child.sex = laudo.masculino ? trp::assess::Sex::Male : trp::assess::Sex::Female;
    child.ageDays = v.idadeCorrigidaDias.value_or(v.idadeDias);
    child.weight = v.peso;
    child.stature = v.medida;
    child.head = v.perimetro;
    child.position = !v.medida   ? trp::assess::Position::Unknown
                     : v.deitado ? trp::assess::Position::Lying
                                 : trp::assess::Position::Standing;
    for (const auto& r : laudo.referencias)
      for (const trp::assess::Result& res : trp::assess::Assess(refs.at(r.codigo), child)) {
        // As the server answers: z at two decimals, the percentile at one.
        LinhaLaudo l;
        l.referencia = r.codigo;
        l.indicador = QString::fromLatin1(trp::assess::IndicatorKey(res.indicator));
        l.z = Rounded(res.z, 100);
        l.percentil = Rounded(res.percentile, 10);
        l.faixa = res.band;
        l.classificacao = res.classification.value_or(QString());
        l.alerta = trp::avaliacao::TextoAlerta(res.implausible, res.flag);
        v.linhas << l;
      }
  }
  laudo.curvas = [&refs, male = laudo.masculino](const QString& ref, const QString& indicator) {
    return Curves(refs.at(ref), indicator, male);
  };
  QString file = get("--pdf");
  if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".pdf");
  const int pages = trp::avaliacao::SalvaLaudoPdf(laudo, file);
  std::cout << "Avaliação gravada em " << file.toStdString() << " (" << pages << " página(s)).\n";
  return 0;
}
