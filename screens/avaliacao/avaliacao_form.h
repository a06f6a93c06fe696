#pragma once
// TfrmAvaliacao: "Avaliação antropométrica". Sex, birth and measurement
// dates, weight, length/height with the position and head circumference of
// one child; the server's AvaliaMedida places them on every reference with
// an answer at that age (z, percentile, band, SISVAN class, implausible
// mark), one row per reference and indicator. The row chosen in the grid
// shows the child's point on that reference's kept curves; the assessment
// prints or goes to PDF through the report engine (report QEL53607).

#include "framework/data/dataset.h"
#include "framework/data/packet.h"
#include "framework/net/netconnection.h"
#include "framework/ui/controls.h"
#include "framework/ui/padrao_grid.h"
#include "report/chart_view.h"
#include "services/rdm_tabrelpeso.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace trp::avaliacao {

// The readable name of an indicator key ("peso_idade" -> "Peso para a idade").
QString NomeIndicador(const QString& key);

class TfrmAvaliacao : public fw::TfrmPadraoGrid {
  Q_OBJECT
 public:
  explicit TfrmAvaliacao(QWidget* parent = nullptr);

  QGroupBox* grbCrianca;
  fw::ComboBox* cbbSexo;
  QLineEdit* medNascimento;  // dd/mm/aaaa
  QLineEdit* medMedicao;
  QLabel* lblIdade;          // "2 anos, 3 meses e 4 dias"
  QLineEdit* edtPeso;        // kg
  QLineEdit* edtMedida;      // cm
  fw::ComboBox* cbbPosicao;  // deitado / em pé
  QLineEdit* edtPerimetro;   // cm
  QPushButton* btnAvaliar;
  report::ChartView* grfCrianca;
  fw::Dataset* cdsAvaliacao;
  fw::TNetConnection* netAvaliacao;

  void FormCreate(QObject* sender) override;
  void FormClose(QObject* sender, fw::CloseAction& action) override;
  // Checks the typed values (a message and the focus on the first wrong
  // one, then the silent abort) and asks the server.
  void btnAvaliarClick(QObject* sender);
  // The age between the dates, or nothing while they are incomplete.
  void medDatasChange(QObject* sender);
  // Redraws the chart for the current row.
  void cdsAvaliacaoAfterScroll(fw::Dataset& sender);
  void sbtImprimirClick(QObject* sender) override;
  // The report in a PDF file (the name asked first).
  void sbtPdfClick(QObject* sender);
  void netAvaliacaoBeforeConnect(fw::TNetConnection& sender);

  // The child as typed when last assessed (for the chart and the report).
  struct Crianca {
    bool masculino = true;
    int idadeDias = 0;
    QString idadeTexto;
    std::optional<double> peso, medida, perimetro;
    bool deitado = true;
  };
  const std::optional<Crianca>& Avaliada() const { return avaliada_; }

 private:
  void Bind();
  void Redesenha();
  void Imprime(bool pdf);
  services::RdmTabRelPeso rdm_;
  std::optional<Crianca> avaliada_;
  fw::DataPacket resultado_;                      // the rows shown
  std::optional<fw::DataPacket> idade_, altura_;  // kept rows, read on the first chart
};

}  // namespace trp::avaliacao
