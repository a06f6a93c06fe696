#pragma once
// The curves of the active table: every percentile of the current reference
// for one sex, the current percentile heavier. A window of the maintenance
// screen that follows it: a change of page, reference, percentile, sex or a
// reload redraws it.

#include "framework/data/packet.h"
#include "framework/ui/controls.h"
#include "report/chart.h"
#include "report/chart_view.h"

#include <QDialog>
#include <QLabel>

namespace trp::tabrelpeso {

class TfrmTabRelPeso;

// Which table and which values a chart shows.
enum class TabelaGrafico { Idade, Altura, AlturaNCHS };
enum class Medida { Peso, Altura, PerimetroCefalico };

// The chart of `rows` (a rows packet of that table, every reference) for
// `referencia`: a curve per percentile in code order, labelled "P3", the
// points in key order, an empty value a gap; `percentil` is highlighted.
// `masculino` chooses the sex; `medida` matters for the age table only.
report::ChartData CurvasDaTabela(const fw::DataPacket& rows, TabelaGrafico tabela,
                                 const QString& referencia, const QString& percentil,
                                 bool masculino, Medida medida);

class TfrmGrafico : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGrafico(TfrmTabRelPeso* screen);

  QLabel* lblTabela;
  fw::ComboBox* cbbSexoGrafico;
  fw::ComboBox* cbbMedidaGrafico;
  report::ChartView* grfCurvas;

  // Reads the screen again and redraws (coalesced: many changes in one
  // event-loop turn draw once).
  void Atualiza();
  // Redraws now.
  void Redesenha();

 private:
  TfrmTabRelPeso* screen_;
  bool pending_ = false;
  TabelaGrafico tabela_ = TabelaGrafico::Idade;
};

}  // namespace trp::tabrelpeso
