#pragma once
// TfrmImportacao: "Importação de tabela". A reference from a spreadsheet:
// a file (CSV with any delimiter and decimal comma or point, XLSX, ODS) or
// the clipboard; the sheet; what the columns are (proposed from the headers:
// the key, sex in a column or per sheet, percentile columns or L, M and S,
// the table and the measure); the target reference (existing, or new with
// its citation, source and licence); a preview of the rows as they will be
// stored, the plausibility findings marked on their cells; and the import,
// one audited transaction on the server (ImportaTabela) that the history
// shows and restores. Any change of input clears the preview until
// Pré-visualizar.

#include "framework/net/netconnection.h"
#include "framework/ui/controls.h"
#include "framework/ui/padrao_grid.h"
#include "import/sheet.h"
#include "import/table_import.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <optional>

namespace trp::importacao {

class TfrmImportacao : public fw::TfrmPadraoGrid {
  Q_OBJECT
 public:
  explicit TfrmImportacao(QWidget* parent = nullptr);

  // 1. the file
  QLineEdit* edtArquivo;  // read-only: the file or "área de transferência"
  QPushButton* btnAbrir;
  QPushButton* btnColar;
  fw::ComboBox* cbbPlanilha;  // "(todas)" first, then each sheet
  // 2. the columns
  fw::ComboBox* cbbTabela;  // Idade/Peso/Altura, Peso/Altura, NCHS 2000
  fw::ComboBox* cbbChave;   // anos e meses, meses, dias, cm
  fw::ComboBox* cbbMedida;  // peso, estatura, perímetro cefálico (by age)
  fw::ComboBox* cbbSexo;    // "(coluna ou nome da planilha)", Masculino, Feminino
  QLineEdit* edtColunas;    // the map, as import-table --columns takes it
  QLineEdit* edtPercentis;  // computed from L, M and S
  QLabel* lblMapa;          // what the headers said
  // 3. the target
  fw::ComboBox* cbbReferencia;  // "(nova referência)" first, then the registered ones
  QLineEdit* edtCodigo;
  QLineEdit* edtNome;
  QPlainTextEdit* memCitacao;
  QLineEdit* edtFonte;
  QLineEdit* edtLicenca;
  // 4. preview and import
  QPushButton* btnPrevia;
  QLabel* lblResumo;
  QTableWidget* tblPrevia;      // the rows as they will be stored; findings marked
  QListWidget* lstOcorrencias;  // errors (file refused) or findings
  fw::TNetConnection* netImportacao;

  void FormCreate(QObject* sender) override;
  void btnAbrirClick(QObject* sender);
  void btnColarClick(QObject* sender);
  void cbbPlanilhaChange(QObject* sender);
  void cbbReferenciaChange(QObject* sender);
  // Any change of what is imported: the preview goes.
  void EntradaChange(QObject* sender);
  void btnPreviaClick(QObject* sender);
  void sbtImportarClick(QObject* sender);
  void netImportacaoBeforeConnect(fw::TNetConnection& sender);

  // The workbook read, the preview's result (nullopt while there is none).
  const std::optional<sheet::Workbook>& Planilha() const { return book_; }
  bool TemPrevia() const { return previa_.has_value(); }

 private:
  void Bind();
  void Carrega(sheet::Workbook book, const QString& origem);
  void Propoe();
  void Desatualiza();
  void ListaReferencias();
  void MostraPrevia();
  void AtualizaEstado();
  tableimport::Options Opcoes() const;
  QString Referencia() const;

  std::optional<sheet::Workbook> book_;
  struct Previa {
    tableimport::Result result;
    std::map<QString, QString> codes;
    std::vector<tableimport::NewPercentile> created;
    qint64 replaced = 0;
    QString reference;
  };
  std::optional<Previa> previa_;
  bool preenchendo_ = false;  // the screen itself changes fields
};

}  // namespace trp::importacao
