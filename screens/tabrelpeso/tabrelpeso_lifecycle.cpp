// The screen's life: creation, the first activation's load, the connection,
// closing, the page change with its menus and the two sex selectors.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/host_services.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

namespace {

// Fields typed only into a new record (the grids' key handlers test the tag).
constexpr const char* kKeyFields[] = {
    "cdsIdPesAltNRIDADEINI",    "cdsIdPesAltNRIDADEFIN",        "cdsPercIdadeCDPERCENTIL",
    "cdsPercAlturaCDPERCENTIL", "cdsPercAlturaNCHSCDPERCENTIL", "cdsPesAltNCHSVRALTURAN2",
    "cdsPesAltVRALTURA",        "cdsReferenciaCDREFEBIBL",      "cdsReferenciaNMREFEBIBL"};

constexpr int kKeyFieldTag = 1;

}  // namespace

void TfrmTabRelPeso::FormCreate(QObject* sender) {
  fw::TfrmPadraoGrid::FormCreate(sender);
  boPrimVez = true;
  // Chosen by code, so the page change does not run and the navigator keeps
  // its first binding.
  pgcPadrao->SetActivePage(tshPadrao);
  cdsIdPesAlt->FieldByName(u"NRIDADEINI")->SetEditMask(QStringLiteral("999;0; "));
  cdsIdPesAlt->FieldByName(u"NRIDADEFIN")->SetEditMask(QStringLiteral("99;0; "));
  for (const char* name : kKeyFields) {
    auto* field = findChild<fw::Field*>(QLatin1String(name));
    if (!field)
      throw fw::Error(QStringLiteral("Campo %1 não encontrado na tela.").arg(QLatin1String(name)));
    field->SetTag(kKeyFieldTag);
  }
  // An editor opens with what can be typed over: an imported value's
  // decimals cut to the column's.
  const auto casas = [](fw::Dataset* rows, const QHash<QString, int>& decimals) {
    for (auto it = decimals.begin(); it != decimals.end(); ++it)
      rows->FieldByName(it.key())->SetEditDecimals(it.value());
  };
  casas(cdsIdPesAlt, DecimaisIdade("MAS"));
  casas(cdsIdPesAlt, DecimaisIdade("FEM"));
  casas(cdsPesAlt, DecimaisAltura());
  casas(cdsPesAltNCHS, DecimaisNCHS("MAS"));
  casas(cdsPesAltNCHS, DecimaisNCHS("FEM"));
}

void TfrmTabRelPeso::FormActivate(QObject* sender) {
  fw::TfrmPadraoGrid::FormActivate(sender);  // repaints
  if (!boPrimVez) return;
  boPrimVez = false;
  services::Busy busy(fw::bkLoading);
  netTabRelPeso->SetConnected(true);
  olePercIdade = services::EmptyPair();
  olePercAltura = services::EmptyPair();
  olePercAlturaNCHS = services::EmptyPair();
  LoadTables();
}

void TfrmTabRelPeso::LoadTables() {
  // The table datasets get their packets only once all four calls succeeded:
  // a failure leaves the references loaded and the tables closed.
  cdsReferencia->SetData(services::PacketOf(fw::CheckResultServ(rdm_.GetReferencia(), true, 0)));
  olePercIdade = fw::CheckResultServ(rdm_.GetPercIdade(), true, 0);
  olePercAltura = fw::CheckResultServ(rdm_.GetPercAltura(), true, 0);
  olePercAlturaNCHS = fw::CheckResultServ(rdm_.GetPercAlturaNCHS(), true, 0);

  const services::PercPair idade = services::PairOf(olePercIdade);
  const services::PercPair altura = services::PairOf(olePercAltura);
  const services::PercPair nchs = services::PairOf(olePercAlturaNCHS);
  // Each list opens on its first row, whose after-scroll filters the rows
  // before they arrive.
  cdsPercIdade->SetData(idade.percentis);
  cdsIdPesAlt->SetData(idade.linhas);
  cdsPercAltura->SetData(altura.percentis);
  cdsPesAlt->SetData(altura.linhas);
  cdsPercAlturaNCHS->SetData(nchs.percentis);
  cdsPesAltNCHS->SetData(nchs.linhas);
}

void TfrmTabRelPeso::netTabRelPesoBeforeConnect(fw::TNetConnection& sender) {
  sender.SetHost(fw::WebURL());
  sender.SetPort(fw::WebPort());
  sender.SetToken(fw::Host::Instance().Token());
}

void TfrmTabRelPeso::FormClose(QObject* sender, fw::CloseAction& action) {
  fw::TfrmPadraoGrid::FormClose(sender, action);
  AvisaSemLinhas(true);
  boStCriado = false;
  netTabRelPeso->SetConnected(false);
}

void TfrmTabRelPeso::pgcPadraoChange(QObject*) {
  fw::TabSheet* page = pgcPadrao->ActivePage();
  AvisaSemLinhas(false);
  mnuReferncia->setChecked(page == tshPadrao);
  mnuIdPesAlt->setChecked(page == tshIdPesAlt);
  mnuPesAlt->setChecked(page == tshPesAlt);
  mnuPesAltNCHS->setChecked(page == tshPesAltNCHS);

  if (page == tshPadrao) {
    dtsPadraoStateChange(dtsPadrao);
    dbnPadrao->SetDataSource(dtsPadrao);
  } else if (page == tshIdPesAlt) {
    EnterTablePage(idade_, cbbSexoIdPesAlt);
  } else if (page == tshPesAltNCHS) {
    EnterTablePage(nchs_, cbbSexoPesAltNCHS);
  } else {
    EnterTablePage(altura_, nullptr);
  }
  // The page's master takes the focus: the reference grid, or the page's
  // percentile list, so the toolbar acts on what the page shows first.
  fw::DBGrid* master = page == tshPadrao     ? dbgPadrao
                       : page == tshIdPesAlt ? dbgPercIdade
                       : page == tshPesAlt   ? dbgPercAltura
                                             : dbgPercAlturaNCHS;
  fw::ActiveControlTracker::TakeFocus(master);
  AtualizaGrafico();
}

void TfrmTabRelPeso::EnterTablePage(const Tabela& table, fw::ComboBox* sexSelector) {
  if (sexSelector == cbbSexoIdPesAlt) {
    cbbSexoIdPesAlt->SetItemIndex(0);
    cbbSexoIdPesAltChange(cbbSexoIdPesAlt);
  } else if (sexSelector == cbbSexoPesAltNCHS) {
    cbbSexoPesAltNCHS->SetItemIndex(0);
    cbbSexoPesAltNCHSChange(cbbSexoPesAltNCHS);
  }
  // The list shows the current reference's percentiles; standing on the
  // first of them refilters the rows.
  table.perc->SetFiltered(false);
  table.perc->SetFilter(services::FilterEquals(
      {{QStringLiteral("CDREFEBIBL"), cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString()}}));
  table.perc->SetFiltered(true);
  dbnPadrao->SetDataSource(table.percSource);
  // Bound without a dataset, the name display would stay empty on every
  // page, and two references' tables would look alike.
  if (!dtsReferencia->DataSet()) dtsReferencia->SetDataSet(cdsReferencia);
  RegraPercentil(table);
  table.rowGrids.first()->setEnabled(!table.perc->IsEmpty());
}

void TfrmTabRelPeso::mnuRefernciaClick(QObject*) {
  pgcPadrao->SetActivePage(tshPadrao);
  pgcPadraoChange(pgcPadrao);
}

void TfrmTabRelPeso::mnuIdPesAltClick(QObject*) {
  pgcPadrao->SetActivePage(tshIdPesAlt);
  pgcPadraoChange(pgcPadrao);
}

void TfrmTabRelPeso::mnuPesAltClick(QObject*) {
  pgcPadrao->SetActivePage(tshPesAlt);
  pgcPadraoChange(pgcPadrao);
}

void TfrmTabRelPeso::mnuPesAltNCHSClick(QObject*) {
  pgcPadrao->SetActivePage(tshPesAltNCHS);
  pgcPadraoChange(pgcPadrao);
}

void TfrmTabRelPeso::cbbSexoIdPesAltChange(QObject*) {
  nbkIdPesAlt->SetActivePage(cbbSexoIdPesAlt->ItemIndex() == 0 ? QStringLiteral("pgMasculino")
                                                               : QStringLiteral("pgFeminino"));
}

void TfrmTabRelPeso::cbbSexoPesAltNCHSChange(QObject*) {
  nbkPesAltNCHS->SetActivePage(cbbSexoPesAltNCHS->ItemIndex() == 0
                                   ? QStringLiteral("pgMasculinoNCHS")
                                   : QStringLiteral("pgFemininoNCHS"));
}

}  // namespace trp::tabrelpeso
