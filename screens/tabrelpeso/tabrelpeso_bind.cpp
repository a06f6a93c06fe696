// Every handler of the screen bound to its event, in one place.

#include "framework/ui/guard.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::BindHandlers() {
  netTabRelPeso->BeforeConnect = [this](fw::TNetConnection& net) {
    netTabRelPesoBeforeConnect(net);
  };

  // The copy: the menu item is the button's twin.
  BindAction(mnuCopiar, [this] { mnuCopiarClick(mnuCopiar); });
  BindAction(mnuGrafico, [this] { sbtGraficoClick(sbtGrafico); });
  // The reference name's hint: its citation.
  dbgPadrao->viewport()->installEventFilter(this);

  // Pages and menus.
  pgcPadrao->OnChange = [this](fw::PageControl* sender) { pgcPadraoChange(sender); };
  BindAction(mnuReferncia, [this] { mnuRefernciaClick(mnuReferncia); });
  BindAction(mnuIdPesAlt, [this] { mnuIdPesAltClick(mnuIdPesAlt); });
  BindAction(mnuPesAlt, [this] { mnuPesAltClick(mnuPesAlt); });
  BindAction(mnuPesAltNCHS, [this] { mnuPesAltNCHSClick(mnuPesAltNCHS); });
  cbbSexoIdPesAlt->OnChange = [this](fw::ComboBox* sender) { cbbSexoIdPesAltChange(sender); };
  cbbSexoPesAltNCHS->OnChange = [this](fw::ComboBox* sender) { cbbSexoPesAltNCHSChange(sender); };

  // State rules (dtsPadrao is bound by the base screen to the virtual handler).
  dtsReferencia->OnStateChange = [this](fw::DataSource* s) { dtsReferenciaStateChange(s); };
  dtsPercIdade->OnStateChange = [this](fw::DataSource* s) { dtsPercIdadeStateChange(s); };
  dtsPercAltura->OnStateChange = [this](fw::DataSource* s) { dtsPercAlturaStateChange(s); };
  dtsPercAlturaNCHS->OnStateChange = [this](fw::DataSource* s) { dtsPercAlturaNCHSStateChange(s); };
  dtsIdPesAlt->OnStateChange = [this](fw::DataSource* s) { dtsIdPesAltStateChange(s); };
  dtsPesAlt->OnStateChange = [this](fw::DataSource* s) { dtsPesAltStateChange(s); };
  dtsPesAltNCHS->OnStateChange = [this](fw::DataSource* s) { dtsPesAltNCHSStateChange(s); };

  // Row filter of each percentile list.
  cdsPercIdade->AfterScroll = [this](fw::Dataset& ds) { cdsPercIdadeAfterScroll(ds); };
  cdsPercAltura->AfterScroll = [this](fw::Dataset& ds) { cdsPercAlturaAfterScroll(ds); };
  cdsPercAlturaNCHS->AfterScroll = [this](fw::Dataset& ds) { cdsPercAlturaNCHSAfterScroll(ds); };

  // Adding references and percentiles. dbgPadrao's key press is bound by the
  // base screen to the virtual handler.
  cdsReferencia->BeforeInsert = [this](fw::Dataset& ds) { cdsReferenciaBeforeInsert(ds); };
  cdsReferencia->BeforePost = [this](fw::Dataset& ds) { cdsReferenciaBeforePost(ds); };
  cdsReferencia->AfterCancel = [this](fw::Dataset& ds) { cdsReferenciaAfterCancel(ds); };
  // Another reference chosen leaves a new one without rows.
  cdsReferencia->AfterScroll = [this](fw::Dataset&) { AvisaSemLinhas(false); };
  dbgPadrao->OnColExit = [this](fw::DBGrid* g) { dbgPadraoColExit(g); };
  dbgPadrao->OnEditButtonClick = [this](fw::DBGrid* g) { dbgPadraoEditButtonClick(g); };
  cdsPercIdade->BeforeInsert = [this](fw::Dataset& ds) { cdsPercIdadeBeforeInsert(ds); };
  cdsPercAltura->BeforeInsert = [this](fw::Dataset& ds) { cdsPercAlturaBeforeInsert(ds); };
  cdsPercAlturaNCHS->BeforeInsert = [this](fw::Dataset& ds) { cdsPercAlturaNCHSBeforeInsert(ds); };
  cdsPercIdade->BeforePost = [this](fw::Dataset& ds) { cdsPercIdadeBeforePost(ds); };
  cdsPercAltura->BeforePost = [this](fw::Dataset& ds) { cdsPercAlturaBeforePost(ds); };
  cdsPercAlturaNCHS->BeforePost = [this](fw::Dataset& ds) { cdsPercAlturaNCHSBeforePost(ds); };
  cdsPercIdade->AfterCancel = [this](fw::Dataset& ds) { cdsPercIdadeAfterCancel(ds); };
  cdsPercAltura->AfterCancel = [this](fw::Dataset& ds) { cdsPercAlturaAfterCancel(ds); };
  cdsPercAlturaNCHS->AfterCancel = [this](fw::Dataset& ds) { cdsPercAlturaNCHSAfterCancel(ds); };
  dbgPercIdade->OnColExit = [this](fw::DBGrid* g) { dbgPercIdadeColExit(g); };
  dbgPercAltura->OnColExit = [this](fw::DBGrid* g) { dbgPercAlturaColExit(g); };
  dbgPercAlturaNCHS->OnColExit = [this](fw::DBGrid* g) { dbgPercAlturaNCHSColExit(g); };
  dbgPercIdade->OnEditButtonClick = [this](fw::DBGrid* g) { dbgPercIdadeEditButtonClick(g); };
  dbgPercAltura->OnEditButtonClick = [this](fw::DBGrid* g) { dbgPercAlturaEditButtonClick(g); };
  dbgPercAlturaNCHS->OnEditButtonClick = [this](fw::DBGrid* g) {
    dbgPercAlturaNCHSEditButtonClick(g);
  };
  dbgPercIdade->OnKeyPress = [this](fw::DBGrid* g, QChar& key) { dbgPercIdadeKeyPress(g, key); };
  dbgPercAltura->OnKeyPress = [this](fw::DBGrid* g, QChar& key) { dbgPercAlturaKeyPress(g, key); };
  dbgPercAlturaNCHS->OnKeyPress = [this](fw::DBGrid* g, QChar& key) {
    dbgPercAlturaNCHSKeyPress(g, key);
  };
  // Ctrl+Delete on a list is the toolbar's delete: the grid's own would take
  // the entry out of the list only, its rows left on the server.
  for (fw::DBGrid* grid : {dbgPadrao, dbgPercIdade, dbgPercAltura, dbgPercAlturaNCHS})
    grid->OnDeleteRecord = [this](fw::DBGrid*) {
      if (Twin(QStringLiteral("sbtExcluir"))->isEnabled())
        sbtExcluirClick(ToolButton(QStringLiteral("sbtExcluir")));
    };

  // The age table.
  cdsIdPesAlt->BeforePost = [this](fw::Dataset& ds) { cdsIdPesAltBeforePost(ds); };
  cdsIdPesAlt->AfterPost = [this](fw::Dataset& ds) { cdsIdPesAltAfterPost(ds); };
  cdsIdPesAlt->AfterDelete = [this](fw::Dataset& ds) { cdsIdPesAltAfterDelete(ds); };
  // The female grid shares the male grid's column exit.
  dbgIdPesAltMasc->OnColExit = [this](fw::DBGrid* g) { dbgIdPesAltMascColExit(g); };
  dbgIdPesAltFem->OnColExit = [this](fw::DBGrid* g) { dbgIdPesAltMascColExit(g); };
  dbgIdPesAltMasc->OnKeyPress = [this](fw::DBGrid* g, QChar& key) {
    dbgIdPesAltMascKeyPress(g, key);
  };
  dbgIdPesAltFem->OnKeyPress = [this](fw::DBGrid* g, QChar& key) {
    dbgIdPesAltFemKeyPress(g, key);
  };
  dbgIdPesAltMasc->OnKeyDown = [this](fw::DBGrid* g, int& key, Qt::KeyboardModifiers shift) {
    dbgIdPesAltMascKeyDown(g, key, shift);
  };
  dbgIdPesAltFem->OnKeyDown = [this](fw::DBGrid* g, int& key, Qt::KeyboardModifiers shift) {
    dbgIdPesAltFemKeyDown(g, key, shift);
  };
  // A row left for another is saved and the table reloaded: the grid finds
  // the row it was going to by its key.
  for (fw::DBGrid* grid : {dbgIdPesAltMasc, dbgIdPesAltFem})
    grid->SetLocateFields(QStringLiteral("NRIDADEFIN;NRIDADEINI"));

  // The height-weight table: no key-down handler, so the grid's own
  // Ctrl+Delete asks and deletes, and the after-delete sends.
  cdsPesAlt->BeforePost = [this](fw::Dataset& ds) { cdsPesAltBeforePost(ds); };
  cdsPesAlt->AfterPost = [this](fw::Dataset& ds) { cdsPesAltAfterPost(ds); };
  cdsPesAlt->AfterDelete = [this](fw::Dataset& ds) { cdsPesAltAfterDelete(ds); };
  dbgPesAlt->OnColExit = [this](fw::DBGrid* g) { dbgPesAltColExit(g); };
  dbgPesAlt->OnKeyPress = [this](fw::DBGrid* g, QChar& key) { dbgPesAltKeyPress(g, key); };
  dbgPesAlt->SetLocateFields(QStringLiteral("VRALTURA"));

  // A block pasted into any rows grid is spread over its cells.
  for (fw::DBGrid* grid :
       {dbgIdPesAltMasc, dbgIdPesAltFem, dbgPesAlt, dbgPesAltMascNCHS, dbgPesAltFemnNCHS})
    grid->OnPasteBlock = [this](fw::DBGrid* g, const QString& text) { ColaBloco(g, text); };

  // The NCHS 2000 table, each grid with handlers of its own.
  cdsPesAltNCHS->BeforePost = [this](fw::Dataset& ds) { cdsPesAltNCHSBeforePost(ds); };
  cdsPesAltNCHS->AfterPost = [this](fw::Dataset& ds) { cdsPesAltNCHSAfterPost(ds); };
  cdsPesAltNCHS->AfterCancel = [this](fw::Dataset& ds) { cdsPesAltNCHSAfterCancel(ds); };
  cdsPesAltNCHS->AfterDelete = [this](fw::Dataset& ds) { cdsPesAltNCHSAfterDelete(ds); };
  dbgPesAltMascNCHS->OnColExit = [this](fw::DBGrid* g) { dbgPesAltMascNCHSColExit(g); };
  dbgPesAltFemnNCHS->OnColExit = [this](fw::DBGrid* g) { dbgPesAltFemnNCHSColExit(g); };
  dbgPesAltMascNCHS->OnKeyPress = [this](fw::DBGrid* g, QChar& key) {
    dbgPesAltMascNCHSKeyPress(g, key);
  };
  dbgPesAltFemnNCHS->OnKeyPress = [this](fw::DBGrid* g, QChar& key) {
    dbgPesAltFemnNCHSKeyPress(g, key);
  };
  dbgPesAltMascNCHS->OnKeyDown = [this](fw::DBGrid* g, int& key, Qt::KeyboardModifiers shift) {
    dbgPesAltMascNCHSKeyDown(g, key, shift);
  };
  dbgPesAltFemnNCHS->OnKeyDown = [this](fw::DBGrid* g, int& key, Qt::KeyboardModifiers shift) {
    dbgPesAltFemnNCHSKeyDown(g, key, shift);
  };
  for (fw::DBGrid* grid : {dbgPesAltMascNCHS, dbgPesAltFemnNCHS})
    grid->SetLocateFields(QStringLiteral("VRALTURAN2"));

  // Where a new or edited row puts the user.
  cdsIdPesAlt->BeforeInsert = [this](fw::Dataset& ds) { cdsIdPesAltBeforeInsert(ds); };
  cdsIdPesAlt->BeforeEdit = [this](fw::Dataset& ds) { cdsIdPesAltBeforeEdit(ds); };
  cdsPesAlt->BeforeInsert = [this](fw::Dataset& ds) { cdsPesAltBeforeInsert(ds); };
  cdsPesAlt->BeforeEdit = [this](fw::Dataset& ds) { cdsPesAltBeforeEdit(ds); };
  cdsPesAltNCHS->BeforeInsert = [this](fw::Dataset& ds) { cdsPesAltNCHSBeforeInsert(ds); };
  cdsPesAltNCHS->BeforeEdit = [this](fw::Dataset& ds) { cdsPesAltNCHSBeforeEdit(ds); };

  // Grids taking the focus.
  dbgPercIdade->OnEnter = [this](fw::DBGrid* g) { dbgPercIdadeEnter(g); };
  dbgPercAltura->OnEnter = [this](fw::DBGrid* g) { dbgPercAlturaEnter(g); };
  dbgPercAlturaNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPercAlturaNCHSEnter(g); };
  // The female age grid shares the male grid's enter handler.
  dbgIdPesAltMasc->OnEnter = [this](fw::DBGrid* g) { dbgIdPesAltMascEnter(g); };
  dbgIdPesAltFem->OnEnter = [this](fw::DBGrid* g) { dbgIdPesAltMascEnter(g); };
  dbgPesAlt->OnEnter = [this](fw::DBGrid* g) { dbgPesAltEnter(g); };
  dbgPesAltMascNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPesAltMascNCHSEnter(g); };
  dbgPesAltFemnNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPesAltFemnNCHSEnter(g); };
}

}  // namespace trp::tabrelpeso
