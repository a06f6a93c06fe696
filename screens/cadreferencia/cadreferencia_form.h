#pragma once
// TfrmCadReferencia: the master tables kept in the program. Page "Referências"
// lists the bibliographic references (code, name, source, licence, and the
// citation of the current one in a multi-line field below); page "Percentis"
// the percentiles (code, name, value). The inherited toolbar works on the
// page shown. Every change goes to the server at once (Confirmar, Excluir);
// a refusal shows the server's sentence and keeps what was typed. After a
// change the host reloads its cache of the table, so the search dialogs of
// the other screens offer the new entry.

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"
#include "framework/net/netconnection.h"
#include "framework/ui/controls.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/padrao_grid.h"
#include "services/rdm_master_data.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVariantList>

namespace trp::cadreferencia {

class TfrmCadReferencia : public fw::TfrmPadraoGrid {
  Q_OBJECT
 public:
  explicit TfrmCadReferencia(QWidget* parent = nullptr);
  ~TfrmCadReferencia() override;

  // --- references page (tshPadrao, dbgPadrao on dtsPadrao)
  QLabel* lblCitacao;
  QPlainTextEdit* memCitacao;
  // --- percentiles page
  fw::TabSheet* tshPercentil;
  fw::DBGrid* dbgPercentil;
  fw::DataSource* dtsPercentil;
  // --- data
  fw::Dataset* cdsReferencia;
  fw::Dataset* cdsPercentil;
  fw::TNetConnection* netCadReferencia;

  // The dataset of the page shown.
  fw::Dataset* ActiveDataset() const;
  // Shows the page of references or of percentiles (no change while editing).
  void ShowPage(bool percentiles);

  // --- handlers
  void FormActivate(QObject* sender) override;
  void FormClose(QObject* sender, fw::CloseAction& action) override;
  void dtsPadraoStateChange(QObject* sender) override;
  void sbtIncluirClick(QObject* sender) override;
  void sbtAlterarClick(QObject* sender) override;
  void sbtExcluirClick(QObject* sender) override;
  void sbtCancelarClick(QObject* sender) override;
  void sbtConfirmarClick(QObject* sender) override;
  void sbtProcurarClick(QObject* sender) override;
  void pgcPadraoChange(QObject* sender);
  void CodeColExit(fw::DBGrid* grid);
  void cdsReferenciaBeforeEdit(fw::Dataset& ds);
  void cdsReferenciaBeforePost(fw::Dataset& ds);
  void cdsPercentilBeforeEdit(fw::Dataset& ds);
  void cdsPercentilBeforePost(fw::Dataset& ds);
  void AfterChange(fw::Dataset& ds);
  void ShowCitation();
  void memCitacaoChanged();

 private:
  void BuildPages();
  void BindHandlers();
  void LoadLists();
  // The current record as the server's row; empty texts as invalid values.
  QVariantList RowOf(const fw::Dataset& ds) const;
  // Code adjusted, texts trimmed, empty texts cleared: what the server keeps.
  void Normalize(fw::Dataset& ds, int codeWidth);

  services::RdmMasterData rdm_;
  QVariantList original_;  // the record as read, while it is edited
  bool loaded_ = false;
  bool showingCitation_ = false;
};

}  // namespace trp::cadreferencia
