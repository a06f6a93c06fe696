// The printout: the Laudo goes to a private in-memory database that report
// QEL53607 reads, one block per reference for the indicators, one for the
// visits and one chart page per indicator.

#include "screens/avaliacao/avaliacao_laudo.h"

#include "assess/age.h"
#include "assess/assessment.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "report/report_definition.h"
#include "report/report_engine.h"
#include "report/report_render.h"

#include <QPagedPaintDevice>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace trp::avaliacao {

namespace {

const QString kSep = QStringLiteral(" | ");

QString Data(const QDate& d) { return d.toString(QStringLiteral("dd/MM/yyyy")); }

QString Num(double v, int decimals) {
  return QString::number(v, 'f', decimals).replace(u'.', u',');
}

// "peso 14,2 kg; estatura (em pé) 95 cm; perímetro cefálico 48 cm".
QString MedidasDa(const VisitaLaudo& v) {
  QStringList parts;
  if (v.peso) parts << QStringLiteral("peso %1 kg").arg(fw::FloatToStr(*v.peso));
  if (v.medida)
    parts << QStringLiteral("%1 %2 cm")
                 .arg(v.deitado ? QStringLiteral("comprimento (deitado)")
                                : QStringLiteral("estatura (em pé)"),
                      fw::FloatToStr(*v.medida));
  if (v.perimetro)
    parts << QStringLiteral("perímetro cefálico %1 cm").arg(fw::FloatToStr(*v.perimetro));
  return parts.join(QStringLiteral("; "));
}

QString IdadeDa(const Laudo& l, const VisitaLaudo& v) {
  QString text = TextoIdade(l.nascimento, v.idadeDias);
  if (v.idadeCorrigidaDias)
    text += QStringLiteral(" (corrigida: %1)").arg(TextoIdade(l.nascimento, *v.idadeCorrigidaDias));
  return text;
}

QString Gestacao(int dias) {
  return QStringLiteral("%1 semanas e %2 dias").arg(dias / 7).arg(dias % 7);
}

struct Cabecalho {
  QString crianca, datas, medidas, dataMedicao;
};

Cabecalho CabecalhoDe(const Laudo& l) {
  const VisitaLaudo& v = l.visitas.last();
  Cabecalho c;
  c.crianca =
      QStringLiteral("Criança: %1%2Prontuário: %3%2Sexo: %4%2Nascimento: %5")
          .arg(l.nome.trimmed().isEmpty() ? QStringLiteral("(não informado)") : l.nome.trimmed(),
               kSep,
               l.prontuario.trimmed().isEmpty() ? QStringLiteral("(não informado)")
                                                : l.prontuario.trimmed(),
               l.masculino ? QStringLiteral("masculino") : QStringLiteral("feminino"),
               Data(l.nascimento));
  if (l.gestacaoDias)
    c.crianca +=
        kSep + QStringLiteral("Idade gestacional ao nascer: %1").arg(Gestacao(*l.gestacaoDias));
  c.dataMedicao = Data(v.data);
  c.datas = QStringLiteral("Data da medição: %1%2Idade: %3")
                .arg(c.dataMedicao, kSep, TextoIdade(l.nascimento, v.idadeDias));
  if (v.idadeCorrigidaDias)
    c.datas += kSep + QStringLiteral(
                          "Idade corrigida: %1 (prematuro: avaliado pela idade "
                          "corrigida, a idade cronológica menos as semanas que "
                          "faltaram para 40, até os 24 meses)")
                          .arg(TextoIdade(l.nascimento, *v.idadeCorrigidaDias));
  if (l.visitas.size() > 1)
    c.datas += kSep + QStringLiteral("%1 visitas, de %2 a %3")
                          .arg(l.visitas.size())
                          .arg(Data(l.visitas.first().data), c.dataMedicao);
  c.medidas = QStringLiteral("Medidas: %1").arg(MedidasDa(v));
  if (const auto imc = Imc(v))
    c.medidas += kSep + QStringLiteral("IMC: %1 kg/m²").arg(Num(*imc, 2));
  return c;
}

void Executa(QSqlQuery& q, const QString& sql = {}) {
  if (!(sql.isEmpty() ? q.exec() : q.exec(sql)))
    throw fw::Error(
        QStringLiteral("Não foi possível preparar o relatório: %1").arg(q.lastError().text()));
}

void Preenche(const QSqlDatabase& db, const Laudo& l) {
  QSqlQuery q(db);
  for (const char* table :
       {"CREATE TABLE CRIANCA (DSCRIANCA TEXT, DSDATAS TEXT, DSMEDIDAS TEXT, DSDATAMEDICAO TEXT)",
        "CREATE TABLE REFERENCIA (CDREFEBIBL TEXT, NMREFEBIBL TEXT, DSCITACAO TEXT)",
        "CREATE TABLE AVALIACAO (CDREFEBIBL TEXT, NRORDEM INTEGER, DSINDICADOR TEXT, VRZ REAL, "
        "VRPERCENTIL REAL, DSFAIXA TEXT, DSCLASSIFICACAO TEXT, DSALERTA TEXT)",
        "CREATE TABLE VISITA (CDREFEBIBL TEXT, NRORDEM INTEGER, DSDATA TEXT, DSIDADE TEXT, "
        "DSMEDIDAS TEXT, VRZPI REAL, VRZEI REAL, VRZPE REAL, VRZII REAL, VRZPCI REAL)",
        "CREATE TABLE CURVA (CDREFEBIBL TEXT, CDGRUPO TEXT, FLALTURA TEXT, DSTITULO TEXT, "
        "DSEIXOY TEXT, NRSERIE INTEGER, DSSERIE TEXT, FLDESTAQUE TEXT, VRX REAL, VRY REAL)"})
    Executa(q, QString::fromLatin1(table));
  const auto insert = [&](const QString& table, const QVariantList& values) {
    QStringList marks;
    for (qsizetype i = 0; i < values.size(); ++i) marks << QStringLiteral("?");
    q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(u',')));
    for (const QVariant& v : values) q.addBindValue(v);
    Executa(q);
  };
  const Cabecalho c = CabecalhoDe(l);
  insert(QStringLiteral("CRIANCA"), {c.crianca, c.datas, c.medidas, c.dataMedicao});
  const auto ou = [](const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); };
  for (const ReferenciaLaudo& r : l.referencias) {
    const QString citacao = r.citacao.simplified();
    insert(QStringLiteral("REFERENCIA"),
           {r.codigo, r.nome,
            citacao.isEmpty() ? QStringLiteral("Citação: (não cadastrada)")
                              : QStringLiteral("Citação: ") + citacao});
    int ordem = 0;
    for (const LinhaLaudo& linha : l.visitas.last().linhas)
      if (linha.referencia == r.codigo)
        insert(QStringLiteral("AVALIACAO"),
               {r.codigo, ordem++, NomeIndicador(linha.indicador), ou(linha.z), ou(linha.percentil),
                linha.faixa, linha.classificacao, linha.alerta});
    if (l.visitas.size() > 1) {
      for (int i = 0; i < l.visitas.size(); ++i) {
        const VisitaLaudo& v = l.visitas[i];
        QVariantList values{r.codigo, i, Data(v.data), IdadeDa(l, v), MedidasDa(v)};
        for (const QString& key : Indicadores()) {
          QVariant z;
          for (const LinhaLaudo& linha : v.linhas)
            if (linha.referencia == r.codigo && linha.indicador == key) z = ou(linha.z);
          values << z;
        }
        insert(QStringLiteral("VISITA"), values);
      }
    }
    for (int k = 0; k < Indicadores().size(); ++k) {
      const QString& key = Indicadores()[k];
      bool avaliado = false;
      for (const VisitaLaudo& v : l.visitas)
        for (const LinhaLaudo& linha : v.linhas)
          avaliado = avaliado || (linha.referencia == r.codigo && linha.indicador == key);
      if (!avaliado) continue;
      const report::ChartData chart = GraficoDaCrianca(l, r.codigo, key);
      const bool altura = key == QLatin1String("peso_estatura");
      const QString grupo = QStringLiteral("2%1").arg(k);
      for (int s = 0; s < chart.series.size(); ++s)
        for (const QPointF& p : chart.series[s].points)
          insert(QStringLiteral("CURVA"),
                 {r.codigo, grupo, altura ? QStringLiteral("S") : QStringLiteral("N"),
                  QStringLiteral("%1 - %2").arg(chart.title, r.nome), EixoY(key), s,
                  chart.series[s].label,
                  chart.series[s].highlighted ? QStringLiteral("S") : QStringLiteral("N"), p.x(),
                  std::isnan(p.y()) ? QVariant() : QVariant(p.y())});
    }
  }
}

report::ReportDefinition Definicao() {
  return report::LoadDefinition(
      report::DefinitionPath(report::ReportsDir(), QStringLiteral("QEL53607")));
}

// Runs `use` with the report's request on a database holding the laudo.
template <typename F>
int ComBanco(const Laudo& l, const QDateTime& impresso, F&& use) {
  if (l.visitas.isEmpty()) throw fw::Error(QStringLiteral("Não há avaliação para imprimir."));
  const report::ReportDefinition def = Definicao();
  // Removed after every handle to it is gone, also when drawing fails.
  struct Conexao {
    QString name = QStringLiteral("laudo-") + QUuid::createUuid().toString(QUuid::Id128);
    ~Conexao() { QSqlDatabase::removeDatabase(name); }
  } conexao;
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexao.name);
  db.setDatabaseName(QStringLiteral(":memory:"));
  if (!db.open())
    throw fw::Error(
        QStringLiteral("Não foi possível preparar o relatório: %1").arg(db.lastError().text()));
  Preenche(db, l);
  report::RenderRequest request;
  request.definition = &def;
  request.database = db;
  request.title = def.title;
  request.printedAt = impresso;
  return use(request);
}

}  // namespace

void PreparaImpressora(QPagedPaintDevice& device) { report::ApplyPageLayout(device, Definicao()); }

int DesenhaLaudo(const Laudo& laudo, QPagedPaintDevice& device, const QDateTime& impresso) {
  return ComBanco(laudo, impresso, [&](const report::RenderRequest& request) {
    return report::RenderReport(request, device);
  });
}

int SalvaLaudoPdf(const Laudo& laudo, const QString& arquivo, const QDateTime& impresso) {
  return ComBanco(laudo, impresso, [&](const report::RenderRequest& request) {
    return report::WritePdf(request, arquivo);
  });
}

}  // namespace trp::avaliacao
