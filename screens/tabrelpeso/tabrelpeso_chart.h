#pragma once
// The curves of the active table: every percentile of the current reference
// for one sex, the current percentile heavier. A window of the maintenance
// screen that follows it: a change of page, reference, percentile, sex or a
// reload redraws it.

#include "framework/ui/controls.h"
#include "report/chart_view.h"
#include "screens/tabrelpeso/tabrelpeso_curves.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>

namespace trp::tabrelpeso {

class TfrmTabRelPeso;

// Adds to `data` the curves of `outra` (another reference of the same rows)
// dashed, only the percentiles both have (all of them when none is shared),
// each curve's source and the legend naming both.
void SobrepoeReferencia(report::ChartData& data, const fw::DataPacket& rows, TabelaGrafico tabela,
                        const QString& outra, bool masculino, Medida medida,
                        const QString& nomeAtual, const QString& nomeOutra);

// A person's measurements over the curves window of every open maintenance
// screen (the assessment screen's child): drawn when the window shows that
// table, measure and sex. Replaces the earlier marks; empty clears them.
struct MarcaGrafico {
  TabelaGrafico tabela = TabelaGrafico::Idade;
  Medida medida = Medida::Peso;  // for the age table
  bool masculino = true;
  report::ChartSeries serie;
};
void MarcaNosGraficos(const QList<MarcaGrafico>& marcas);

class TfrmGrafico : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGrafico(TfrmTabRelPeso* screen);

  QLabel* lblTabela;
  fw::ComboBox* cbbSexoGrafico;
  fw::ComboBox* cbbMedidaGrafico;
  // "Comparar com": another reference drawn dashed; the first item, none.
  fw::ComboBox* cbbCompararGrafico;
  report::ChartView* grfCurvas;
  // The range drawn: ages in months on the age table, heights in cm on the
  // others, within the curves' own; "Tudo" gives the whole range back. A
  // change of table gives it back too.
  QLabel* lblFaixa;
  QDoubleSpinBox* spnFaixaDe;
  QDoubleSpinBox* spnFaixaAte;
  QPushButton* btnFaixaTudo;
  // The reference drawn to a spreadsheet (CSV: the table drawn).
  QPushButton* btnExportarGrafico;

  // Reads the screen again and redraws (coalesced: many changes in one
  // event-loop turn draw once).
  void Atualiza();
  // Redraws now.
  void Redesenha();

 private:
  // The references offered for comparison, all but the current one.
  void ListaComparacao(const QString& atual);
  // Fits the range controls to the curves of `data` and applies the chosen range.
  void AplicaFaixa(report::ChartData& data);
  TfrmTabRelPeso* screen_;
  bool faixaEscolhida_ = false;  // the user narrowed the range
  TabelaGrafico tabelaFaixa_ = TabelaGrafico::Idade;
  bool pending_ = false;
  TabelaGrafico tabela_ = TabelaGrafico::Idade;
};

}  // namespace trp::tabrelpeso
