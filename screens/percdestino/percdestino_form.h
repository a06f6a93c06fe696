#pragma once
// TfrmPercDestino: "Cadastramento Automático". Copies the rows of the current
// percentile of one table (the page the dialog was opened from) onto a
// destination percentile that the server offers, then reloads that table on
// the maintenance screen. A new dialog for every opening.

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"
#include "framework/net/netconnection.h"
#include "framework/sql/adoibquery.h"
#include "framework/ui/dialog_forms.h"
#include "framework/ui/search.h"
#include "services/rdm_tabrelpeso.h"

#include <QGroupBox>
#include <QLineEdit>

namespace trp::percdestino {

// True from a dialog's creation until its first activation starts loading
// the offered lists (one per process, as the dialog is modal).
extern bool boPrimVez;

class TfrmPercDestino : public fw::TfrmRotiGeral {
  Q_OBJECT
 public:
  explicit TfrmPercDestino(QWidget* parent = nullptr);
  ~TfrmPercDestino() override;

  QGroupBox* grpPercentil;
  QLineEdit* medPercentil;
  QLineEdit* edtPercentil;
  fw::TBtnPesquisa* btpPercentil;
  fw::DataSource* dtsPercentil;
  fw::TNetConnection* netPercDestino;
  fw::Dataset* cdsPercentilIdPesAlt;
  fw::Dataset* cdsPercentilPesAlt;
  fw::Dataset* cdsPercentilPesAltNCHS;
  fw::Dataset* cdsValidaIdPesAlt;
  fw::Dataset* cdsValidaPesAlt;
  fw::Dataset* cdsValidaPesAltNCHS;
  fw::TADOIBQuery* qryPercentil;
  // The maintenance screen's page the dialog was opened from: "tshIdPesAlt",
  // "tshPesAlt", anything else the NCHS 2000 table.
  QString stPaginaOrigem;

  void FormCreate(QObject* sender) override;
  void FormActivate(QObject* sender) override;
  void FormClose(QObject* sender, fw::CloseAction& action) override;
  void netPercDestinoBeforeConnect(fw::TNetConnection& sender);
  void medPercentilChange(QObject* sender);
  void btpPercentilBeforePesq(QObject* sender);
  void btpPercentilAfterPesq(QObject* sender);
  void sbtConfirmaClick(QObject* sender) override;
  // Checks the destination code: empty (an error only when `obrigatorio`),
  // normalised and written back, in the master table, offered for the
  // table; then shows its name. A failure puts the user back on the code and
  // ends in the silent abort.
  void Vd_Percentil(bool obrigatorio);

 private:
  fw::Dataset* Oferecidos() const;
  fw::Dataset* Validacao() const;
  services::RdmTabRelPeso rdm_;
};

}  // namespace trp::percdestino
