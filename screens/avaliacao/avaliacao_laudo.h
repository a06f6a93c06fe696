#pragma once
// The assessment as it is filed: the child, the dates and ages, the
// measures, per reference the indicators of the last visit, the z of every
// visit when there are several, the reference's citation and one chart per
// indicator with the child's points on the kept curves. Drawn by the report
// engine (report QEL53607); the screen and `tabrelpeso-admin assess --pdf`
// fill the same Laudo, so both print the same pages.

#include "framework/data/packet.h"
#include "report/chart.h"
#include "screens/tabrelpeso/tabrelpeso_curves.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

class QPagedPaintDevice;

namespace trp::avaliacao {

// One indicator of one reference at one visit, as the server answers it.
struct LinhaLaudo {
  QString referencia;  // code
  QString indicador;   // key: "peso_idade"
  std::optional<double> z, percentil;
  QString faixa, classificacao, alerta;
};

struct VisitaLaudo {
  QDate data;
  std::optional<double> peso, medida, perimetro;  // kg, cm, cm
  bool deitado = true;
  int idadeDias = 0;                      // chronological
  std::optional<int> idadeCorrigidaDias;  // when the assessment used it
  QList<LinhaLaudo> linhas;
};

struct ReferenciaLaudo {
  QString codigo, nome, citacao;
};

struct Laudo {
  QString nome, prontuario;  // typed, optional
  bool masculino = true;
  QDate nascimento;
  std::optional<int> gestacaoDias;  // at birth, when typed
  QList<VisitaLaudo> visitas;       // in date order; the last one is "the" measurement
  QList<ReferenciaLaudo> referencias;
  // The kept percentile curves of a reference for an indicator and the
  // child's sex (x in months, or in cm for weight-for-length/height).
  std::function<report::ChartData(const QString& referencia, const QString& indicador)> curvas;
};

// The readable name of an indicator key ("peso_idade" -> "Peso para a idade").
QString NomeIndicador(const QString& key);

// The alert column: "⚠ implausível" and the server's other flag (a standing
// height before 9 months); empty when there is neither.
QString TextoAlerta(bool implausivel, const QString& sinalizacao);

// Every indicator key, in the order printed.
const QStringList& Indicadores();

// The x range a chart of `indicador` shows for these visits: ages in months
// around the child's ages (0-12, 0-24, 24-60, ...), or lengths around the
// child's. nullopt when no visit has a value for it.
std::optional<std::pair<double, double>> JanelaDoGrafico(const Laudo& laudo,
                                                         const QString& indicador);

// The chart of one reference and indicator: the curves cut to the window
// and the child's visits as the highlighted "Criança" series.
report::ChartData GraficoDaCrianca(const Laudo& laudo, const QString& referencia,
                                   const QString& indicador);

// The child's value for an indicator at a visit (kg, cm, kg/m²) and its x.
std::optional<QPointF> PontoDaVisita(const VisitaLaudo& v, const QString& indicador);

// The value axis of an indicator's chart, with its unit.
QString EixoY(const QString& indicador);

// Measured lying under 2 years, standing from 2 (the WHO's measuring rule).
bool DeitadoNaIdade(int dias);

// The body mass index of a visit with weight and length/height.
std::optional<double> Imc(const VisitaLaudo& v);

// Where an indicator's curves come from: GetCurvaLms (`lms`), or the rows
// of a kept table and measure (CurvasDaTabela).
struct FonteCurvas {
  bool lms = false;
  tabrelpeso::TabelaGrafico tabela = tabrelpeso::TabelaGrafico::Idade;
  tabrelpeso::Medida medida = tabrelpeso::Medida::Peso;
};
FonteCurvas FonteDasCurvas(const QString& indicador);

// The curves of a GetCurvaLms answer, one series per percentile label.
report::ChartData CurvasLms(const fw::DataPacket& rows);

// The parameters of AvaliaMedida for one visit (its corrected age when set).
QVariantList ArgumentosAvaliacao(bool masculino, const VisitaLaudo& v, const QStringList& refs);

// The lines of an AvaliaMedida answer, the alert column filled.
QList<LinhaLaudo> LinhasDaResposta(const fw::DataPacket& answer);

// "2 anos, 3 meses e 4 dias" from a number of days past a date.
QString TextoIdade(const QDate& nascimento, int dias);

// Draws the pages on `device` (its layout set from the definition). Throws
// fw::Error when the definition cannot be read or the pages not drawn.
int DesenhaLaudo(const Laudo& laudo, QPagedPaintDevice& device,
                 const QDateTime& impresso = QDateTime::currentDateTime());

// Writes the pages to a PDF file, replacing it only when complete; throws
// fw::Error naming the file when it cannot be written.
int SalvaLaudoPdf(const Laudo& laudo, const QString& arquivo,
                  const QDateTime& impresso = QDateTime::currentDateTime());

// The page layout of the printout, for a printer dialog.
void PreparaImpressora(QPagedPaintDevice& device);

}  // namespace trp::avaliacao
