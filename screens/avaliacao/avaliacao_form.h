#pragma once
// TfrmAvaliacao: "Avaliação antropométrica". Name and record number (for the
// printout only), sex, birth date and gestational age, measurement date,
// weight, length/height with the position and head circumference of one
// child, and the references to assess on; the server's AvaliaMedida places
// them on each chosen reference (z, percentile, band, SISVAN class,
// implausible mark). Earlier visits of the same child may be kept in a
// series (typed or read from the user's CSV file): they are assessed with
// the typed one and drawn as a line on the chart. Nothing about the child is
// stored on the server. Any change of input clears the results until
// Avaliar; the assessment prints or goes to PDF through the report engine
// (report QEL53607, avaliacao_laudo.h).

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"
#include "framework/data/packet.h"
#include "framework/net/netconnection.h"
#include "framework/ui/controls.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/padrao_grid.h"
#include "report/chart_view.h"
#include "screens/avaliacao/avaliacao_laudo.h"
#include "services/rdm_tabrelpeso.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <optional>

namespace trp::avaliacao {

class TfrmAvaliacao : public fw::TfrmPadraoGrid {
  Q_OBJECT
 public:
  explicit TfrmAvaliacao(QWidget* parent = nullptr);

  QGroupBox* grbCrianca;
  QLineEdit* edtNome;          // printout only
  QLineEdit* edtProntuario;    // printout only
  fw::ComboBox* cbbSexo;       // none until chosen
  QLineEdit* medNascimento;    // dd/mm/aaaa
  QLineEdit* edtSemanas;       // gestational age at birth: weeks
  QLineEdit* edtDiasGestacao;  // and days
  QLineEdit* medMedicao;
  QLabel* lblIdade;             // "2 anos, 3 meses e 4 dias"
  QLabel* lblIdadeCorrigida;    // "Idade corrigida: ..." for a preterm child under 24 months
  QLineEdit* edtPeso;           // kg
  QLineEdit* edtMedida;         // cm
  fw::ComboBox* cbbPosicao;     // deitado / em pé, following the age until chosen
  QLabel* lblPosicao;           // says when the position differs from the age's
  QLineEdit* edtPerimetro;      // cm
  QListWidget* lstReferencias;  // checkable; remembered per user
  QPushButton* btnAvaliar;
  QLabel* lblSituacao;  // what the results are (or why there are none)
  report::ChartView* grfCrianca;
  fw::Dataset* cdsAvaliacao;
  // The series: earlier visits of this child.
  QGroupBox* grbVisitas;
  fw::DBGrid* dbgVisitas;
  fw::Dataset* cdsVisitas;
  fw::DataSource* dtsVisitas;
  QPushButton* btnIncluirVisita;
  QPushButton* btnExcluirVisita;
  QPushButton* btnAbrirVisitas;
  QPushButton* btnSalvarVisitas;
  fw::TNetConnection* netAvaliacao;

  void FormCreate(QObject* sender) override;
  void FormClose(QObject* sender, fw::CloseAction& action) override;
  // Checks the typed values (a message and the focus on the first wrong
  // one, then the silent abort) and asks the server for every visit.
  void btnAvaliarClick(QObject* sender);
  // The ages between the dates, the position the age calls for.
  void medDatasChange(QObject* sender);
  // Any change of what is assessed: the results go.
  void EntradaChange(QObject* sender);
  void cbbPosicaoActivated(QObject* sender);
  void lstReferenciasChange(QObject* sender);
  // Redraws the chart for the current row.
  void cdsAvaliacaoAfterScroll(fw::Dataset& sender);
  void sbtImprimirClick(QObject* sender) override;
  // The report in a PDF file (the name asked first).
  void sbtPdfClick(QObject* sender);
  // The typed visit added to the series (replacing one of the same date).
  void btnIncluirVisitaClick(QObject* sender);
  void btnExcluirVisitaClick(QObject* sender);
  // Visits read from / written to a CSV file (data;peso;medida;estatura;pc).
  void btnAbrirVisitasClick(QObject* sender);
  void btnSalvarVisitasClick(QObject* sender);
  void netAvaliacaoBeforeConnect(fw::TNetConnection& sender);

  // The assessment shown, as it prints; nullopt while there is none or the
  // input changed since.
  const std::optional<Laudo>& Avaliada() const { return avaliada_; }
  // The references chosen, in list order.
  QStringList ReferenciasEscolhidas() const;

 private:
  void Bind();
  void Redesenha();
  void Imprime(bool pdf);
  void ListaReferencias();
  void MostraVisitas();
  void Desatualiza();
  void MarcaCurvas();
  // The visit typed in the fields (checked; a message and the abort when wrong).
  VisitaLaudo VisitaDigitada();
  QDate Nascimento() const;
  std::optional<int> Gestacao();
  report::ChartData Curvas(const QString& referencia, const QString& indicador, bool masculino);
  services::RdmTabRelPeso rdm_;
  std::optional<Laudo> avaliada_;
  QList<VisitaLaudo> visitas_;  // the series, without the typed visit
  bool posicaoEscolhida_ = false;
  bool preenchendo_ = false;  // the screen itself changes fields
  QHash<QString, QString> citacoes_;
  std::optional<fw::DataPacket> idade_, altura_;  // kept rows, read on the first chart
  QHash<QString, fw::DataPacket> imc_;            // BMI curves by reference and sex
};

}  // namespace trp::avaliacao
