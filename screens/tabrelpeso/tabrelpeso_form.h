#pragma once
// TfrmTabRelPeso: the maintenance screen of the anthropometric reference
// tables. One page for the references and one per table (age, height-weight,
// NCHS 2000); each table page shows the current reference's percentiles and,
// below them, the rows of the current percentile.
//
// Every component is a child named as below (findChild works on all of
// them); the handlers carry the names of the events they serve and are bound
// in one place, BindHandlers().

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"
#include "framework/net/netconnection.h"
#include "framework/sql/adoibquery.h"
#include "framework/ui/controls.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/padrao_grid.h"
#include "services/rdm_tabrelpeso.h"

#include <QAction>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QSplitter>
#include <QToolButton>

#include <functional>

class QHelpEvent;
namespace fw {
class TADOIBQuery;
}

namespace trp::historico {
class TfrmHistorico;
struct Contexto;
}  // namespace trp::historico

namespace trp::tabrelpeso {

class TfrmGrafico;

class TfrmTabRelPeso : public fw::TfrmPadraoGrid {
  Q_OBJECT
 public:
  // Builds every control and component and binds the handlers; FormCreate
  // runs afterwards (fw::CreateForm). Throws fw::Error only on a programming
  // error in the definitions.
  explicit TfrmTabRelPeso(QWidget* parent = nullptr);
  ~TfrmTabRelPeso() override;

  // --- toolbar and menus added to the inherited ones -------------------------
  QAction* mnuCopiar;
  QToolButton* sbtCopiar;
  QAction* mnuReferncia;
  QAction* mnuIdPesAlt;
  QAction* mnuPesAlt;
  QAction* mnuPesAltNCHS;
  fw::DBText* dbtNome;

  // --- age page -----------------------------------------------------------------
  fw::TabSheet* tshIdPesAlt;
  fw::DBGrid* dbgPercIdade;
  QSplitter* Splitter1;
  fw::Panel* panSexoIdPesAlt;
  QLabel* lblSexoIdPesAlt;
  fw::ComboBox* cbbSexoIdPesAlt;
  fw::Notebook* nbkIdPesAlt;
  fw::DBGrid* dbgIdPesAltMasc;
  fw::DBGrid* dbgIdPesAltFem;

  // --- height-weight page ---------------------------------------------------------
  fw::TabSheet* tshPesAlt;
  fw::DBGrid* dbgPercAltura;
  QSplitter* Splitter2;
  fw::DBGrid* dbgPesAlt;

  // --- NCHS 2000 page -------------------------------------------------------------
  fw::TabSheet* tshPesAltNCHS;
  fw::DBGrid* dbgPercAlturaNCHS;
  QSplitter* Splitter3;
  fw::Panel* panSexoPesAltNCHS;
  QLabel* lblSexoPesAltNCHS;
  fw::ComboBox* cbbSexoPesAltNCHS;
  fw::Notebook* nbkPesAltNCHS;
  fw::DBGrid* dbgPesAltMascNCHS;
  fw::DBGrid* dbgPesAltFemnNCHS;

  // --- datasets -------------------------------------------------------------------
  fw::Dataset* cdsReferencia;
  fw::Dataset* cdsPercIdade;
  fw::Dataset* cdsIdPesAlt;
  fw::Dataset* cdsPercAltura;
  fw::Dataset* cdsPesAlt;
  fw::Dataset* cdsPercAlturaNCHS;
  fw::Dataset* cdsPesAltNCHS;
  fw::Dataset* cdsValidaRefe;
  fw::Dataset* cdsValidaIdade;
  fw::Dataset* cdsValidaAltura;
  fw::Dataset* cdsValidaAlturaNCHS;
  fw::Dataset* cdsValidaPercIdade;
  fw::Dataset* cdsValidaPercAltura;
  fw::Dataset* cdsValidaPercAlturaNCHS;

  // --- local search queries -------------------------------------------------------
  fw::TADOIBQuery* qryPesqRefe;
  fw::TADOIBQuery* qryPesqPercentil;

  // --- data sources (dtsPadrao is inherited and shows cdsReferencia) ----------------
  fw::DataSource* dtsReferencia;
  fw::DataSource* dtsPercIdade;
  fw::DataSource* dtsIdPesAlt;
  fw::DataSource* dtsPercAltura;
  fw::DataSource* dtsPesAlt;
  fw::DataSource* dtsPercAlturaNCHS;
  fw::DataSource* dtsPesAltNCHS;
  fw::DataSource* dtsPesqReferencia;
  fw::DataSource* dtsPesqPercentil;

  // --- application server -----------------------------------------------------------
  fw::TNetConnection* netTabRelPeso;
  // The server's methods over netTabRelPeso.
  services::RdmTabRelPeso& Servidor() { return rdm_; }

  // --- lifecycle, pages, menus and sex selectors --------------------------------------
  void FormCreate(QObject* sender) override;
  void FormActivate(QObject* sender) override;
  void FormClose(QObject* sender, fw::CloseAction& action) override;
  QSize FirstOpenSize(const QSize& area) const override;
  void netTabRelPesoBeforeConnect(fw::TNetConnection& sender);
  void pgcPadraoChange(QObject* sender);
  void mnuRefernciaClick(QObject* sender);
  void mnuIdPesAltClick(QObject* sender);
  void mnuPesAltClick(QObject* sender);
  void mnuPesAltNCHSClick(QObject* sender);
  void cbbSexoIdPesAltChange(QObject* sender);
  void cbbSexoPesAltNCHSChange(QObject* sender);

  // --- state rules --------------------------------------------------------------------
  void dtsPadraoStateChange(QObject* sender) override;
  // dtsReferencia has no dataset, so no state change ever raises this.
  void dtsReferenciaStateChange(QObject* sender);
  void dtsPercIdadeStateChange(QObject* sender);
  void dtsPercAlturaStateChange(QObject* sender);
  void dtsPercAlturaNCHSStateChange(QObject* sender);
  void dtsIdPesAltStateChange(QObject* sender);
  void dtsPesAltStateChange(QObject* sender);
  void dtsPesAltNCHSStateChange(QObject* sender);

  // --- toolbar --------------------------------------------------------------------------
  void sbtIncluirClick(QObject* sender) override;
  void sbtAlterarClick(QObject* sender) override;
  void sbtConfirmarClick(QObject* sender) override;
  void sbtCancelarClick(QObject* sender) override;
  void sbtProcurarClick(QObject* sender) override;
  // Deletes, after one question, a whole reference (its rows in the three
  // tables on the server, then the entry), one percentile of a table (its
  // rows, then the entry) or the current row, by the page and the focus.
  void sbtExcluirClick(QObject* sender) override;
  // Reloads from the server what the active page shows.
  void sbtVerificarClick(QObject* sender) override;
  // Opens the automatic registration dialog for the active page's table
  // (NPossCad when the current percentile has no rows).
  void sbtCopiarClick(QObject* sender);
  // Opens a new report selection screen, modally.
  void sbtImprimirClick(QObject* sender) override;
  // Shows the curves window of the active table (one per screen).
  void sbtGraficoClick(QObject* sender);
  // Redraws the curves window when it is open.
  void AtualizaGrafico();
  // The citation, source and licence of `referencia` from the local
  // database, one per line; empty when there is none or it cannot be read.
  QString CitacaoDe(const QString& referencia);
  // The hint of a reference name in dbgPadrao; true when the event was one.
  bool DicaReferencia(QHelpEvent* event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  QAction* mnuGrafico;
  QToolButton* sbtGrafico;
  QPointer<TfrmGrafico> frmGrafico;
  void mnuCopiarClick(QObject* sender);
  // After a copy: the table of `pagina` ("tshIdPesAlt", ...) reloaded, list
  // and rows, its rule run and the destination percentile made current.
  void RecarregaAposCopia(const QString& pagina, const QString& destino);

  // --- references and percentiles: adding an entry -------------------------------------
  // Each checks the code of the new entry: empty (an error only when
  // `obrigatorio`), normalised and written back, in the master table, not
  // already listed; then fills the name. A failure moves the focus to the
  // code and ends in the silent abort.
  void Vd_Referencia(bool obrigatorio);
  void Vd_PercIdade(bool obrigatorio);
  void Vd_PercAltura(bool obrigatorio);
  void Vd_PercAlturaNCHS(bool obrigatorio);
  void cdsReferenciaBeforeInsert(fw::Dataset& sender);
  void cdsReferenciaBeforePost(fw::Dataset& sender);
  void cdsReferenciaAfterCancel(fw::Dataset& sender);
  void dbgPadraoColExit(QObject* sender);
  void dbgPadraoEditButtonClick(QObject* sender);
  void dbgPadraoKeyPress(QObject* sender, QChar& key) override;
  void cdsPercIdadeBeforeInsert(fw::Dataset& sender);
  void cdsPercAlturaBeforeInsert(fw::Dataset& sender);
  void cdsPercAlturaNCHSBeforeInsert(fw::Dataset& sender);
  void cdsPercIdadeBeforePost(fw::Dataset& sender);
  void cdsPercAlturaBeforePost(fw::Dataset& sender);
  void cdsPercAlturaNCHSBeforePost(fw::Dataset& sender);
  void cdsPercIdadeAfterCancel(fw::Dataset& sender);
  void cdsPercAlturaAfterCancel(fw::Dataset& sender);
  void cdsPercAlturaNCHSAfterCancel(fw::Dataset& sender);
  void dbgPercIdadeColExit(QObject* sender);
  void dbgPercAlturaColExit(QObject* sender);
  void dbgPercAlturaNCHSColExit(QObject* sender);
  void dbgPercIdadeEditButtonClick(QObject* sender);
  void dbgPercAlturaEditButtonClick(QObject* sender);
  void dbgPercAlturaNCHSEditButtonClick(QObject* sender);
  void dbgPercIdadeKeyPress(QObject* sender, QChar& key);
  void dbgPercAlturaKeyPress(QObject* sender, QChar& key);
  void dbgPercAlturaNCHSKeyPress(QObject* sender, QChar& key);

  // --- percentile lists: the row filter ------------------------------------------------
  void cdsPercIdadeAfterScroll(fw::Dataset& sender);
  void cdsPercAlturaAfterScroll(fw::Dataset& sender);
  void cdsPercAlturaNCHSAfterScroll(fw::Dataset& sender);

  // --- age table: key rules, checks, saving each post and delete at once ----------------
  // Checks the months of the row being inserted: empty (an error only when
  // `obrigatorio`), 0 to 11, and not already stored for the pair. A failure
  // puts the user on "Mês" of the visible grid and ends in the silent abort.
  void Vd_Mes(bool obrigatorio);
  void cdsIdPesAltBeforePost(fw::Dataset& sender);
  void cdsIdPesAltAfterPost(fw::Dataset& sender);
  void cdsIdPesAltAfterDelete(fw::Dataset& sender);
  void dbgIdPesAltMascColExit(QObject* sender);
  void dbgIdPesAltMascKeyPress(QObject* sender, QChar& key);
  void dbgIdPesAltFemKeyPress(QObject* sender, QChar& key);
  void dbgIdPesAltMascKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);
  void dbgIdPesAltFemKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

  // --- height-weight table -------------------------------------------------------------------
  // Checks the height of the row being inserted: empty (an error only when
  // `obrigatorio`), not already stored for the pair. A failure puts the user
  // on the height and ends in the silent abort.
  void Vd_Altura(bool obrigatorio);
  void cdsPesAltBeforePost(fw::Dataset& sender);
  void cdsPesAltAfterPost(fw::Dataset& sender);
  void cdsPesAltAfterDelete(fw::Dataset& sender);
  void dbgPesAltColExit(QObject* sender);
  void dbgPesAltKeyPress(QObject* sender, QChar& key);

  // --- NCHS 2000 table ------------------------------------------------------------------------
  void Vd_AlturaNCHS(bool obrigatorio);
  void cdsPesAltNCHSBeforePost(fw::Dataset& sender);
  void cdsPesAltNCHSAfterPost(fw::Dataset& sender);
  void cdsPesAltNCHSAfterCancel(fw::Dataset& sender);
  void cdsPesAltNCHSAfterDelete(fw::Dataset& sender);
  void dbgPesAltMascNCHSColExit(QObject* sender);
  void dbgPesAltFemnNCHSColExit(QObject* sender);
  void dbgPesAltMascNCHSKeyPress(QObject* sender, QChar& key);
  void dbgPesAltFemnNCHSKeyPress(QObject* sender, QChar& key);
  void dbgPesAltMascNCHSKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);
  void dbgPesAltFemnNCHSKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

  // --- rows: where an insert or an edit started from the toolbar puts the user ------------
  void cdsIdPesAltBeforeInsert(fw::Dataset& sender);
  void cdsIdPesAltBeforeEdit(fw::Dataset& sender);
  void cdsPesAltBeforeInsert(fw::Dataset& sender);
  void cdsPesAltBeforeEdit(fw::Dataset& sender);
  void cdsPesAltNCHSBeforeInsert(fw::Dataset& sender);
  void cdsPesAltNCHSBeforeEdit(fw::Dataset& sender);

  // --- grids taking the focus: the toolbar follows the grid worked in ---------------------
  void dbgPercIdadeEnter(QObject* sender);
  void dbgPercAlturaEnter(QObject* sender);
  void dbgPercAlturaNCHSEnter(QObject* sender);
  void dbgIdPesAltMascEnter(QObject* sender);
  void dbgPesAltEnter(QObject* sender);
  void dbgPesAltMascNCHSEnter(QObject* sender);
  void dbgPesAltFemnNCHSEnter(QObject* sender);

  // --- history (tabrelpeso_history.cpp) -------------------------------------------------
  QAction* mnuHistorico = nullptr;
  QToolButton* sbtHistorico = nullptr;
  QPointer<historico::TfrmHistorico> frmHistorico;
  // The history of what the focus is on: a row of a table, a percentile, or
  // the current reference.
  void sbtHistoricoClick(QObject* sender);
  // 'R' the current reference, 'P' the percentile of `grid`'s page, 'L' its
  // current row. Opens a new window (the previous one closes).
  void AbreHistorico(char abrangencia, fw::DBGrid* grid);

 private:
  // The deletion just made, so that the history opened right after it shows
  // that deletion: what was deleted, and where the screen stood afterwards
  // (any move since makes the history follow the focus again).
  struct Exclusao {
    char abrangencia = 0;  // 0: none
    QString tabela, referencia, percentil, chave, descricao;
    QStringList depois;
  };
  Exclusao ultimaExclusao_;
  QStringList PosicaoAtual() const;
  void LembraExclusao(char abrangencia, const QString& tabela, const QString& referencia,
                      const QString& percentil, const QString& chave, const QString& descricao);
  // tabrelpeso_print.cpp
  // Rows that came back different between two loads of a table.
  static int LinhasAlteradas(const fw::DataPacket& before, const fw::DataPacket& after);
  // Reads the three tables again (not one being edited) and says how many
  // rows another workstation changed since the screen last read them.
  void AtualizaAntesDeImprimir();
  // The registration screen changed references or percentiles: their names
  // on this screen are read again, nothing else moves.
  void AtualizaNomes(const QStringList& tables);
  int ouvinteCache_ = 0;
  // The labels, column orders and formats of the three tables for the history.
  void ColunasDoHistorico(historico::Contexto& c) const;
  void MostraHistorico(historico::Contexto c);
  friend class TfrmGrafico;
  void BuildHistory();
  // tabrelpeso_export.cpp: Exportar (Operação) of the current reference.
  void BuildExport();
  void mnuExportarClick(QObject* sender);
  // The current reference to a file the user names: XLSX or ODS whole, CSV
  // the table `tabelaCsv` (PESALTIDADE, PESOALTU, PEALNCHS2000). Aborts
  // with the reason shown.
  void ExportaReferenciaAtual(const QString& tabelaCsv);
  // One table page's parts, as the rules and the row filter use them.
  struct Tabela {
    fw::TabSheet* page = nullptr;
    QAction* menu = nullptr;
    fw::DBGrid* percGrid = nullptr;
    fw::DataSource* percSource = nullptr;
    fw::Dataset* perc = nullptr;
    QList<fw::DBGrid*> rowGrids;
    fw::DataSource* rowSource = nullptr;
    fw::Dataset* rows = nullptr;
    QStringList rowKeys;
    fw::Panel* sexPanel = nullptr;
    // The height-weight list shows its code column's search button whatever
    // has the focus.
    bool searchButtonAlways = false;
    // Chooses which of two rows grids (male, female) is shown.
    fw::ComboBox* sexSelector = nullptr;
    // The list's validation copy, for duplicates.
    fw::Dataset* copia = nullptr;
    // Saving: the server's methods, the last pair kept and the cache name.
    fw::ServerResult (services::RdmTabRelPeso::*grava)(const fw::DeltaPacket&) = nullptr;
    fw::ServerResult (services::RdmTabRelPeso::*recarrega)() = nullptr;
    QVariant* ultimoPar = nullptr;
    QString cache = {};
    // The uniqueness question of a new row's key (heights as text).
    fw::ServerResult (services::RdmTabRelPeso::*validaAltura)(const QString&, const QString&,
                                                              const QString&) = nullptr;
    fw::Dataset* valida = nullptr;
    // The table's own handlers: the two state rules, the row filter and the
    // percentile check.
    void (TfrmTabRelPeso::*regraLista)(QObject*) = nullptr;
    void (TfrmTabRelPeso::*regraLinhas)(QObject*) = nullptr;
    void (TfrmTabRelPeso::*filtraLinhas)(fw::Dataset&) = nullptr;
    void (TfrmTabRelPeso::*validaPercentil)(bool) = nullptr;
    // Deleting the rows of a reference ("T") or of one of its percentiles.
    fw::ServerResult (services::RdmTabRelPeso::*deleta)(const QString&, const QString&,
                                                        const QString&, const QString&) = nullptr;
  };
  enum class Acao { Incluir, Alterar, Outra };

  // tabrelpeso_layout.cpp
  void BuildComponents();
  void BuildReferencePage();
  void BuildAgePage();
  void BuildHeightWeightPage();
  void BuildNchsPage();
  void BuildMenus();
  // A table grid on `source` with the columns `columns` adds, built in one
  // grid update.
  fw::DBGrid* MakeTableGrid(const QString& name, QWidget* parent, fw::DataSource* source,
                            const std::function<void(fw::DBGrid*)>& columns);
  // tabrelpeso_bind.cpp
  void BindHandlers();
  // tabrelpeso_states.cpp
  void SetOperation(const char* button, bool enabled);
  void SetCopy(bool enabled);
  void LockNavigator(const Tabela& table);
  void SetPage(fw::TabSheet* page, QAction* menu, bool enabled);
  void SetOtherPages(const Tabela& table, bool enabled);
  void ApplyPercRule(const Tabela& table);
  void ApplyRowsRule(const Tabela& table);
  fw::Dataset* Alvo(Acao acao) const;
  // Gives the focus back to `working` after a cancel, or to the page's list
  // when it can no longer take it.
  void VoltaAoControle(QWidget* working);
  // tabrelpeso_rowfilter.cpp
  void FiltraLinhas(const Tabela& table);
  // tabrelpeso_references.cpp
  void RegraPercentil(const Tabela& table);
  void RowFilterOf(const Tabela& table);
  QString CurrentReference() const;
  void Vd_Percentil(const Tabela& table, bool obrigatorio);
  void PercBeforeInsert(const Tabela& table);
  void PercBeforePost(const Tabela& table);
  void PercAfterCancel(const Tabela& table);
  void PercColExit(const Tabela& table, QObject* sender);
  void PesquisaPercentil(const Tabela& table);
  void PercKeyPress(const Tabela& table, QObject* sender, QChar& key, bool keyFilter);
  // tabrelpeso_delete.cpp
  const Tabela& TabelaDaPagina(const fw::TabSheet* page) const;
  void RegraLinhas(const Tabela& table);
  void ExcluiReferencia();
  // Reloads a table; `lista` also replaces its percentile list.
  void RecarregaTabela(const Tabela& table, bool lista);
  // tabrelpeso_rowfocus.cpp
  // The grid of the sex chosen in the selector, or (porSeletor false) of the
  // notebook page shown.
  fw::DBGrid* VisibleRowsGrid(const Tabela& table, bool porSeletor = true) const;
  // Focuses the column of `maleField` (or `femaleField` with the female sex)
  // in that grid only.
  void FocaCampoLinhas(const Tabela& table, const QString& maleField,
                       const QString& femaleField = {}, bool porSeletor = true);
  // tabrelpeso_rows.cpp
  // The key rule of a rows grid: key columns outside insert take only
  // Backspace; every column only Backspace, the comma and digits; a value
  // column listed in `decimais` at most 3 integer digits and its decimals.
  void FiltraTeclaLinhas(QObject* sender, QChar& key, const QHash<QString, int>& decimais);
  // What a delete of the current reference (null) or of `table`'s current
  // percentile takes with it: its name and the rows of each table.
  QString DetalheExclusao(const Tabela* table) const;
  // Sends the rows' pending change (post or delete) to the server, merges it,
  // tells the host's cache, reloads the table and, with `keyFields`, finds
  // the row again; a failed send undoes the change. Then an emptied pair
  // sends the focus to the percentile grid.
  void GravaLinhas(const Tabela& table, const QString& keyFields = {},
                   const QVariantList& keys = {}, bool focusWhenEmpty = true);
  // The start of every row's post check: with no current percentile the row
  // is dropped (reported, cancelled, the user put on the percentile's code);
  // a percentile being added is posted first; the row gets the pair's codes.
  void InicioPostLinhas(const Tabela& table);
  // The height check of the two tables by height (`field` on `table`).
  void Vd_AlturaDe(const Tabela& table, const QString& field, bool obrigatorio);
  // Discards Ctrl+Delete: a row holding both sexes is deleted only by the
  // toolbar, which says so.
  static void DescartaCtrlDelete(int& key, Qt::KeyboardModifiers shift);
  // tabrelpeso_paste.cpp
  // The decimals each column of `table` is typed with, keys included.
  QHash<QString, int> CasasDaTabela(const Tabela& table) const;
  // Spreads a pasted block over `grid`'s cells from the current one, after
  // one question, saving row by row; a block that does not fit is refused
  // with the cell and the reason, nothing changed.
  void ColaBloco(fw::DBGrid* grid, const QString& text);
  // tabrelpeso_savefailure.cpp
  // After the server refused `delta` (already undone on screen): re-reads the
  // table where the server answers, so that the grid shows what is stored,
  // and says `erro`, the values typed that were not saved and what another
  // user saved in their place. Ends in the silent abort.
  void FalhaGravacao(const Tabela& table, const fw::DeltaPacket& delta, const QString& erro);
  // tabrelpeso_plausibility.cpp
  // Asks about each value of the row being posted that breaks a rule of the
  // plausibility check; No focuses it and aborts the post (the row kept).
  void VerificaPlausibilidade(const Tabela& table);
  // tabrelpeso_rowless.cpp
  // Notes a reference (table nullptr) or a percentile entry being posted;
  // AvisaSemLinhas then says once, in the status text, of each noted entry
  // the user has left (all of them when closing) that it still has no rows.
  void LembraSemLinhas(const Tabela* table);
  void AvisaSemLinhas(bool fechando);
  // tabrelpeso_lifecycle.cpp
  void EnterTablePage(const Tabela& table, fw::ComboBox* sexSelector);
  void LoadTables();

  Tabela idade_, altura_, nchs_;
  struct SemLinhas {
    const Tabela* table;  // nullptr: a reference
    QString referencia, percentil;
  };
  QList<SemLinhas> semLinhas_;
  services::RdmTabRelPeso rdm_;
  fw::TADOIBQuery* qryCitacao_ = nullptr;
};

}  // namespace trp::tabrelpeso
