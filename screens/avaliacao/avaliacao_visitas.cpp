#include "screens/avaliacao/avaliacao_visitas.h"

#include "framework/data/format.h"

#include <algorithm>
#include <cmath>

namespace trp::avaliacao {

namespace {

std::optional<double> Medida(const QString& cell, bool& ok) {
  const QString t = cell.trimmed();
  if (t.isEmpty()) return std::nullopt;
  const double v = QString(t).replace(u',', u'.').toDouble(&ok);
  ok = ok && v > 0 && std::isfinite(v);
  return v;
}

QString Celula(const std::optional<double>& v) { return v ? fw::FloatToStr(*v) : QString(); }

}  // namespace

bool LeVisitas(const QByteArray& csv, QList<VisitaLaudo>& visitas, QString& erro) {
  QList<VisitaLaudo> lidas;
  const QStringList linhas = QString::fromUtf8(csv).split(u'\n');
  for (int n = 0; n < linhas.size(); ++n) {
    const QString linha = QString(linhas[n]).remove(u'\r');
    if (linha.trimmed().isEmpty()) continue;
    const QStringList c = linha.split(u';');
    if (n == 0 && c.value(0).trimmed().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
      continue;
    const auto falha = [&](const QString& motivo) {
      erro = QStringLiteral("Linha %1 do arquivo de visitas: %2. Nenhuma visita foi lida.")
                 .arg(n + 1)
                 .arg(motivo);
      return false;
    };
    if (c.size() != 5)
      return falha(QStringLiteral("esperadas 5 colunas (data;peso;medida;estatura;pc), há %1")
                       .arg(c.size()));
    VisitaLaudo v;
    const QString data = c[0].trimmed();
    v.data = QDate::fromString(data, QStringLiteral("dd/MM/yyyy"));
    if (!v.data.isValid()) v.data = QDate::fromString(data, Qt::ISODate);
    if (!v.data.isValid())
      return falha(QStringLiteral("data inválida '%1' (dd/mm/aaaa ou aaaa-mm-dd)").arg(data));
    bool ok = true;
    v.peso = Medida(c[1], ok);
    if (!ok) return falha(QStringLiteral("peso inválido '%1'").arg(c[1].trimmed()));
    v.medida = Medida(c[3], ok);
    if (!ok) return falha(QStringLiteral("estatura inválida '%1'").arg(c[3].trimmed()));
    v.perimetro = Medida(c[4], ok);
    if (!ok) return falha(QStringLiteral("perímetro cefálico inválido '%1'").arg(c[4].trimmed()));
    const QString posicao = c[2].trimmed().toUpper();
    if (posicao != QLatin1String("D") && posicao != QLatin1String("P") &&
        !(posicao.isEmpty() && !v.medida))
      return falha(
          QStringLiteral("medida deve ser D (deitado) ou P (em pé), não '%1'").arg(c[2].trimmed()));
    v.deitado = posicao != QLatin1String("P");
    if (!v.peso && !v.medida && !v.perimetro) return falha(QStringLiteral("nenhuma medida"));
    if (std::any_of(lidas.cbegin(), lidas.cend(),
                    [&](const VisitaLaudo& o) { return o.data == v.data; }))
      return falha(QStringLiteral("a data %1 aparece duas vezes").arg(data));
    lidas << v;
  }
  std::sort(lidas.begin(), lidas.end(),
            [](const VisitaLaudo& a, const VisitaLaudo& b) { return a.data < b.data; });
  visitas = lidas;
  return true;
}

QByteArray EscreveVisitas(const QList<VisitaLaudo>& visitas) {
  QString out = QStringLiteral("data;peso;medida;estatura;pc\n");
  for (const VisitaLaudo& v : visitas)
    out += QStringLiteral("%1;%2;%3;%4;%5\n")
               .arg(v.data.toString(QStringLiteral("dd/MM/yyyy")), Celula(v.peso),
                    v.medida ? (v.deitado ? QStringLiteral("D") : QStringLiteral("P")) : QString(),
                    Celula(v.medida), Celula(v.perimetro));
  return out.toUtf8();
}

}  // namespace trp::avaliacao
