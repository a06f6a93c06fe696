// Creating, activating, loading and closing the maintenance screen; the page
// change, its menus and the sex selectors.

#include "framework/ui/dialogs.h"
#include "framework/ui/host_services.h"
#include "framework/ui/window_state.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/storage.h"
#include "services/rdm_tabrelpeso.h"
#include "tests/screens/screen_fixture.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

const QStringList kFirstLoad{"GetReferencia", "GetPercIdade", "GetPercAltura", "GetPercAlturaNCHS"};

bool Loaded(TfrmTabRelPeso* f) {
  for (fw::Dataset* ds : {f->cdsReferencia, f->cdsPercIdade, f->cdsIdPesAlt, f->cdsPercAltura,
                          f->cdsPesAlt, f->cdsPercAlturaNCHS, f->cdsPesAltNCHS})
    if (!ds->Active()) return false;
  return true;
}

using Lifecycle = ScreenTest;

TEST_F(Lifecycle, FirstActivationLoadsInOrderUnderTheBusyIndicator) {
  StartServer();
  StderrCapture log;
  TfrmTabRelPeso* f = Open();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(log.Calls(), kFirstLoad);
  EXPECT_TRUE(Loaded(f));
  EXPECT_FALSE(trp::tabrelpeso::boPrimVez);
  EXPECT_TRUE(trp::tabrelpeso::boStCriado);
  EXPECT_TRUE(f->netTabRelPeso->Connected());
  // The pairs stay in the module's variables, rows as loaded.
  const auto pair = trp::services::PairOf(trp::tabrelpeso::olePercIdade);
  EXPECT_GT(pair.linhas.rowCount(), 0);
  EXPECT_EQ(f->cdsIdPesAlt->Data().rowCount(), pair.linhas.rowCount());
  // Busy indicator kind 0, shown once and hidden again.
  ASSERT_EQ(dialogs_.BusyEvents().size(), 2);
  EXPECT_TRUE(dialogs_.BusyEvents()[0].show);
  EXPECT_EQ(dialogs_.BusyEvents()[0].kind, fw::bkLoading);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
  // Still on the first page; the navigator keeps its first binding.
  EXPECT_EQ(f->pgcPadrao->ActivePage(), f->tshPadrao);
  EXPECT_EQ(f->dbnPadrao->DataSource(), f->dtsReferencia);
  EXPECT_TRUE(f->dbtNome->text().isEmpty());
  // Every rows dataset opened already filtered to its list's first entry.
  EXPECT_EQ(f->cdsIdPesAlt->Filter(), QStringLiteral("CDREFEBIBL = '01' and CDPERCENTIL = '003'"));
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
}

TEST_F(Lifecycle, TwoCallsGiveOneScreenAndRestoreAMinimisedOne) {
  StartServer();
  TfrmTabRelPeso* first = Open();
  ASSERT_NE(first, nullptr);
  SubWindow()->showMinimized();
  Flush();
  ASSERT_TRUE(SubWindow()->isMinimized());
  StderrCapture log;
  IniProc();  // the same as CriaTabRelPeso
  Flush();
  EXPECT_EQ(trp::tabrelpeso::frmTabRelPeso, first);
  EXPECT_EQ(area_->subWindowList().size(), 1);
  EXPECT_FALSE(SubWindow()->isMinimized());
  EXPECT_FALSE(SubWindow()->isMaximized());
  EXPECT_EQ(area_->activeSubWindow(), SubWindow());
  EXPECT_TRUE(log.Calls().isEmpty()) << log.Calls().join(' ').toStdString();
}

TEST_F(Lifecycle, SwitchingToAnotherChildWindowAndBackCallsTheServerNoMore) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  ASSERT_TRUE(Loaded(f));
  auto* other = new QWidget;
  other->setObjectName(QStringLiteral("frmOutra"));
  QMdiSubWindow* otherSub = area_->addSubWindow(other);
  otherSub->show();
  StderrCapture log;
  for (int i = 0; i < 3; ++i) {
    area_->setActiveSubWindow(otherSub);
    Flush();
    ASSERT_EQ(area_->activeSubWindow(), otherSub);
    area_->setActiveSubWindow(SubWindow());
    Flush();
    ASSERT_EQ(area_->activeSubWindow(), SubWindow());
  }
  f->Activate();
  EXPECT_TRUE(log.Calls().isEmpty()) << log.Calls().join(' ').toStdString();
  EXPECT_TRUE(Loaded(f));
}

TEST_F(Lifecycle, CloseAndReopenLoadsAnew) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  ASSERT_TRUE(Loaded(f));
  CloseScreen();
  EXPECT_FALSE(trp::tabrelpeso::boStCriado);
  EXPECT_TRUE(trp::tabrelpeso::frmTabRelPeso.isNull());
  EXPECT_TRUE(area_->subWindowList().isEmpty());
  StderrCapture log;
  TfrmTabRelPeso* again = Open();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(log.Calls(), kFirstLoad);
  EXPECT_TRUE(Loaded(again));
  EXPECT_EQ(area_->subWindowList().size(), 1);
}

TEST_F(Lifecycle, AFailedFirstLoadKeepsTheReferencesAndDoesNotRetry) {
  // The height-weight table loses a column: GetPercAltura fails on the
  // server, the calls before it succeed.
  StartServer(Sample::Seeded, [](const QString& database) {
    srv::OpenDb(database)->script("ALTER TABLE PESOALTU DROP COLUMN VRPESOFEMALT");
  });
  StderrCapture log;
  TfrmTabRelPeso* f = Open();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(log.Calls(), (QStringList{"GetReferencia", "GetPercIdade", "GetPercAltura"}));
  EXPECT_TRUE(f->cdsReferencia->Active());
  EXPECT_EQ(f->cdsReferencia->RecordCount(), 4);
  for (fw::Dataset* ds : {f->cdsPercIdade, f->cdsIdPesAlt, f->cdsPercAltura, f->cdsPesAlt,
                          f->cdsPercAlturaNCHS, f->cdsPesAltNCHS})
    EXPECT_FALSE(ds->Active()) << ds->objectName().toStdString();
  ASSERT_EQ(dialogs_.Messages().size(), 1);
  EXPECT_EQ(dialogs_.LastMessage().type, fw::MsgType::Error);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
  // Later activations do not retry.
  f->Activate();
  area_->setActiveSubWindow(SubWindow());
  Flush();
  EXPECT_EQ(log.Calls().size(), 3);
  EXPECT_EQ(dialogs_.Messages().size(), 1);
}

TEST_F(Lifecycle, ServerAddressAndTokenComeFromTheHostAtConnection) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  ASSERT_TRUE(f->netTabRelPeso->Connected());
  EXPECT_EQ(f->netTabRelPeso->Host(), fw::WebURL());
  EXPECT_EQ(f->netTabRelPeso->Port(), fw::WebPort());
  EXPECT_EQ(f->netTabRelPeso->Token(), fw::Host::Instance().Token());
  EXPECT_EQ(f->netTabRelPeso->ServerName(), QStringLiteral("Qel53600.rdmTabRelPeso"));
}

// Size, position, maximized state, splitter and column widths come back
// after a close and reopen, through the host's window state file.
TEST_F(Lifecycle, TheLayoutIsKeptThroughACloseAndAReopen) {
  main_->resize(1366, 740);  // a 1366x768 screen under its panel
  StartServer();
  fw::Host::Instance().SetWindowStateFile(dir_->filePath(QStringLiteral("janelas.ini")));
  TfrmTabRelPeso* f = Open();
  ASSERT_NE(f, nullptr);
  // First open: every column of the age grid shows without scrolling.
  f->mnuIdPesAlt->trigger();
  Flush();
  EXPECT_FALSE(f->dbgIdPesAltMasc->horizontalScrollBar()->isVisible())
      << SubWindow()->width() << " " << f->width() << " " << f->dbgIdPesAltMasc->width() << " "
      << f->dbgIdPesAltMasc->horizontalHeader()->length() << " " << area_->viewport()->width()
      << " " << fw::WidthForAllColumns(*f, 0);
  const QRect geometry(30, 20, 640, 420);
  SubWindow()->setGeometry(geometry);
  Flush();
  f->Splitter1->setSizes({150, 200});
  f->dbgIdPesAltMasc->setColumnWidth(2, 123);
  const QList<int> splitter = f->Splitter1->sizes();
  CloseScreen();

  f = Open();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(SubWindow()->geometry(), geometry);
  EXPECT_FALSE(SubWindow()->isMaximized());
  f->mnuIdPesAlt->trigger();
  Flush();
  EXPECT_EQ(f->Splitter1->sizes(), splitter);
  EXPECT_EQ(f->dbgIdPesAltMasc->columnWidth(2), 123);  // after the data arrived

  // Maximized: reopened maximized, and back to the kept size when restored.
  SubWindow()->showMaximized();
  Flush();
  CloseScreen();
  Open();
  ASSERT_NE(SubWindow(), nullptr);
  EXPECT_TRUE(SubWindow()->isMaximized());
  SubWindow()->showNormal();
  Flush();
  EXPECT_EQ(SubWindow()->size(), geometry.size());
}

// --- pages ------------------------------------------------------------------------------

using Pages = ScreenTest;

TEST_F(Pages, MenuItemsSelectTheirPageAndCarryTheOnlyCheckMark) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  const QList<QPair<QAction*, fw::TabSheet*>> pages{{f->mnuIdPesAlt, f->tshIdPesAlt},
                                                    {f->mnuPesAlt, f->tshPesAlt},
                                                    {f->mnuPesAltNCHS, f->tshPesAltNCHS},
                                                    {f->mnuReferncia, f->tshPadrao}};
  const QList<fw::DataSource*> masters{f->dtsPercIdade, f->dtsPercAltura, f->dtsPercAlturaNCHS,
                                       f->dtsPadrao};
  for (int i = 0; i < pages.size(); ++i) {
    pages[i].first->trigger();
    Flush();
    EXPECT_EQ(f->pgcPadrao->ActivePage(), pages[i].second);
    for (const auto& [menu, page] : pages)
      EXPECT_EQ(menu->isChecked(), page == pages[i].second)
          << menu->objectName().toStdString() << " on "
          << pages[i].second->objectName().toStdString();
    EXPECT_EQ(f->dbnPadrao->DataSource(), masters[i]);
  }
}

TEST_F(Pages, EnteringAPageShowsTheCurrentReferencesPercentilesFirstCurrent) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  ASSERT_TRUE(f->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  f->mnuPesAlt->trigger();
  Flush();
  ASSERT_EQ(f->cdsPercAltura->RecordCount(), 1);
  EXPECT_EQ(f->cdsPercAltura->RecNo(), 0);
  EXPECT_EQ(f->cdsPercAltura->FieldByName(u"CDPERCENTIL")->AsString(), QStringLiteral("050"));
  ASSERT_EQ(f->cdsPesAlt->RecordCount(), 1);
  EXPECT_EQ(f->cdsPesAlt->FieldByName(u"VRALTURA")->AsFloat(), 110.5);
  EXPECT_TRUE(f->dbgPesAlt->isEnabled());

  // Back to reference 01: its percentiles, rows of the first one.
  f->mnuReferncia->trigger();
  ASSERT_TRUE(f->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  f->mnuPesAlt->trigger();
  Flush();
  EXPECT_GT(f->cdsPercAltura->RecordCount(), 1);
  EXPECT_EQ(f->cdsPercAltura->RecNo(), 0);
  const QString first = f->cdsPercAltura->FieldByName(u"CDPERCENTIL")->AsString();
  ASSERT_GT(f->cdsPesAlt->RecordCount(), 0);
  for (f->cdsPesAlt->First(); !f->cdsPesAlt->Eof(); f->cdsPesAlt->Next()) {
    ASSERT_EQ(f->cdsPesAlt->FieldByName(u"CDREFEBIBL")->AsString(), QStringLiteral("01"));
    ASSERT_EQ(f->cdsPesAlt->FieldByName(u"CDPERCENTIL")->AsString(), first);
  }
}

// The bold name display: the current reference's code and name on every
// table page, following the reference chosen on the first page.
TEST_F(Pages, TheNameDisplayFollowsTheReferenceOnEveryTablePage) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  for (const char* ref : {"01", "04", "02"}) {
    f->mnuReferncia->trigger();
    Flush();
    ASSERT_TRUE(f->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QLatin1String(ref)));
    const QString shown = QStringLiteral("%1 - %2").arg(
        QLatin1String(ref), f->cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString());
    for (QAction* page : {f->mnuIdPesAlt, f->mnuPesAlt, f->mnuPesAltNCHS}) {
      page->trigger();
      Flush();
      EXPECT_EQ(f->dbtNome->text(), shown) << page->objectName().toStdString();
      EXPECT_TRUE(f->dbtNome->isVisible());
    }
  }
}

TEST_F(Pages, AReferenceWithoutPercentilesLeavesTheRowsGridsDisabled) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  ASSERT_TRUE(f->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  struct Case {
    QAction* menu;
    fw::Dataset* list;
    QList<fw::DBGrid*> grids;
  };
  for (const Case& c :
       {Case{f->mnuIdPesAlt, f->cdsPercIdade, {f->dbgIdPesAltMasc, f->dbgIdPesAltFem}},
        Case{f->mnuPesAltNCHS,
             f->cdsPercAlturaNCHS,
             {f->dbgPesAltMascNCHS, f->dbgPesAltFemnNCHS}}}) {
    c.menu->trigger();
    Flush();
    EXPECT_TRUE(c.list->IsEmpty());
    for (fw::DBGrid* grid : c.grids)
      EXPECT_FALSE(grid->isEnabled()) << grid->objectName().toStdString();
  }
}

TEST_F(Pages, EnteringATablePageResetsItsSexSelectorToMasculino) {
  StartServer();
  TfrmTabRelPeso* f = Open();
  struct Case {
    QAction* menu;
    fw::ComboBox* selector;
    fw::Notebook* notebook;
    QString male, female;
  };
  for (const Case& c :
       {Case{f->mnuIdPesAlt, f->cbbSexoIdPesAlt, f->nbkIdPesAlt, "pgMasculino", "pgFeminino"},
        Case{f->mnuPesAltNCHS, f->cbbSexoPesAltNCHS, f->nbkPesAltNCHS, "pgMasculinoNCHS",
             "pgFemininoNCHS"}}) {
    c.menu->trigger();
    Flush();
    // The user picks "Feminino".
    c.selector->setCurrentIndex(1);
    emit c.selector->activated(1);
    EXPECT_EQ(c.notebook->ActivePage(), c.female);
    f->mnuReferncia->trigger();
    c.menu->trigger();
    Flush();
    EXPECT_EQ(c.selector->ItemIndex(), 0);
    EXPECT_EQ(c.selector->currentText(), QStringLiteral("Masculino"));
    EXPECT_EQ(c.notebook->ActivePage(), c.male);
  }
}

TEST_F(Pages, RowFilterFollowsThePercentileAndQuotesItsCodes) {
  // A master percentile whose code holds a quote.
  StartServer(Sample::Seeded, [](const QString& database) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
    db.setDatabaseName(database);
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(QSqlQuery(db).exec(
        QStringLiteral("INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES ('9''9', 'Percentil com aspa')")));
    db.close();
  });
  QSqlDatabase::removeDatabase(QStringLiteral("prep"));
  TfrmTabRelPeso* f = Open();
  f->mnuIdPesAlt->trigger();
  Flush();
  ASSERT_GT(f->cdsPercIdade->RecordCount(), 1);
  f->cdsPercIdade->SetRecNo(1);
  const QString second = f->cdsPercIdade->FieldByName(u"CDPERCENTIL")->AsString();
  EXPECT_EQ(f->cdsIdPesAlt->Filter(),
            QStringLiteral("CDREFEBIBL = '01' and CDPERCENTIL = '%1'").arg(second));
  ASSERT_GT(f->cdsIdPesAlt->RecordCount(), 0);
  EXPECT_EQ(f->cdsIdPesAlt->FieldByName(u"CDPERCENTIL")->AsString(), second);

  // A code holding a quote still gives a valid filter, which matches no row.
  f->cdsPercIdade->Append();
  f->cdsPercIdade->FieldByName(u"CDREFEBIBL")->SetAsString(QStringLiteral("01"));
  f->cdsPercIdade->FieldByName(u"CDPERCENTIL")->SetAsString(QStringLiteral("9'9"));
  f->cdsPercIdade->Post();
  ASSERT_TRUE(f->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("9'9")));
  EXPECT_EQ(f->cdsIdPesAlt->Filter(), QStringLiteral("CDREFEBIBL = '01' and CDPERCENTIL = '9''9'"));
  EXPECT_TRUE(f->cdsIdPesAlt->IsEmpty());
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
}

}  // namespace
}  // namespace screentest
