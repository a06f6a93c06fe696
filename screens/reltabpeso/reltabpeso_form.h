#pragma once
// TfrmRelTabPeso: "Tabela de Relação Peso/Altura", report QEL536. The user
// prints all references or a list of them, and all percentiles or a list;
// the choice becomes the report query's parameters. A new modal screen for
// every press of the maintenance screen's print button.

#include "framework/data/datasource.h"
#include "framework/sql/adoibquery.h"
#include "framework/ui/dialog_forms.h"
#include "framework/ui/search.h"

#include <QGroupBox>
#include <QRadioButton>

namespace trp::reltabpeso {

// The codes chosen in the lists, as PesquisaLista returns them ("01,02");
// empty when none. Emptied when a report screen is created and by "Todos".
extern QString stReferencia;
extern QString stPercentil;

class TfrmRelTabPeso : public fw::TfrmDadosGerRel {
  Q_OBJECT
 public:
  explicit TfrmRelTabPeso(QWidget* parent = nullptr);

  QGroupBox* grpReferencia;
  QRadioButton* rbtTodosRefe;
  QRadioButton* rbtListaRefe;
  fw::TBtnPesquisa* btpReferencia;
  QGroupBox* grmPercentil;
  QRadioButton* rbtTodosPerc;
  QRadioButton* rbtListaPerc;
  fw::TBtnPesquisa* btpPercentil;
  fw::TADOIBQuery* qryReferencia;
  fw::DataSource* dtsReferencia;
  fw::TADOIBQuery* qryPercentil;
  fw::DataSource* dtsPercentil;

  void FormCreate(QObject* sender) override;
  void FormActivate(QObject* sender) override;
  void rbtTodosRefeClick(QObject* sender);
  void rbtListaRefeClick(QObject* sender);
  void rbtTodosPercClick(QObject* sender);
  void rbtListaPercClick(QObject* sender);
  void btpReferenciaClick(QObject* sender);
  void btpPercentilClick(QObject* sender);
  void sbtPrintClick(QObject* sender) override;
  void sbtPreviewClick(QObject* sender) override;
  void sbtSalvarComoClick(QObject* sender) override;
  void rpddPadraoBeforeGetQueryParams(fw::TReportDesignerDialog* sender, fw::TQueryParams& params,
                                      bool& handled);
  // Both lists chosen when "Lista" is selected; the references first. A
  // failure puts the focus on its "Lista" button and ends in the silent abort.
  void Vd_Impressao();

 private:
  void Bind();
};

}  // namespace trp::reltabpeso
