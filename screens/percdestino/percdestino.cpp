// The automatic registration dialog: layout, loading of the offered lists,
// the check of the destination and the copy.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/guard.h"
#include "framework/ui/host_services.h"
#include "framework/ui/number_entry.h"
#include "model/datasets.h"
#include "model/messages.h"
#include "screens/percdestino/percdestino_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "services/framework_services.h"
#include "services/local_queries.h"

#include <QHBoxLayout>

namespace trp::percdestino {

bool boPrimVez = false;

namespace {

fw::Dataset* Build(const char* name, QObject* owner) {
  return model::BuildDataset(model::DatasetSpecByName(QString::fromLatin1(name)), owner);
}

}  // namespace

TfrmPercDestino::TfrmPercDestino(QWidget* parent)
    : fw::TfrmRotiGeral(QStringLiteral("frmPercDestino"), parent),
      netPercDestino(new fw::TNetConnection(QStringLiteral("netPercDestino"), this)),
      rdm_(*netPercDestino) {
  SetCaption(QStringLiteral("Cadastramento Automático"));
  SetCodTela(QStringLiteral("Qel53602"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153602);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  msgPadrao->SetLines(model::PercDestinoMessages());
  netPercDestino->SetServerName(QLatin1String(services::kServerName));

  cdsPercentilIdPesAlt = Build("cdsPercentilIdPesAlt", this);
  cdsPercentilPesAlt = Build("cdsPercentilPesAlt", this);
  cdsPercentilPesAltNCHS = Build("cdsPercentilPesAltNCHS", this);
  cdsValidaIdPesAlt = Build("cdsValidaIdPesAlt", this);
  cdsValidaPesAlt = Build("cdsValidaPesAlt", this);
  cdsValidaPesAltNCHS = Build("cdsValidaPesAltNCHS", this);
  qryPercentil =
      services::BuildQuery(model::Screen::PercDestino, QStringLiteral("qryPercentil"), this);
  dtsPercentil = new fw::DataSource(QStringLiteral("dtsPercentil"), this);

  grpPercentil = new QGroupBox(QStringLiteral("Percentil de Destino"), grbDadosRel);
  grpPercentil->setObjectName(QStringLiteral("grpPercentil"));
  grpPercentil->setMinimumSize(329, 86);
  auto* row = new QHBoxLayout(grpPercentil);
  medPercentil = new QLineEdit(grpPercentil);
  medPercentil->setObjectName(QStringLiteral("medPercentil"));
  fw::LimitToNumber(medPercentil, 3, 0);
  medPercentil->setFixedWidth(40);
  btpPercentil = new fw::TBtnPesquisa(QStringLiteral("btpPercentil"), grpPercentil);
  btpPercentil->setFixedSize(21, 21);
  btpPercentil->SetAssociate(medPercentil);
  btpPercentil->SetDataSource(dtsPercentil);
  btpPercentil->SetTitle(QStringLiteral("Percentil"));
  btpPercentil->SetEmptyText(QStringLiteral("Não há percentil a ser cadastrado."));
  edtPercentil = new QLineEdit(grpPercentil);
  edtPercentil->setObjectName(QStringLiteral("edtPercentil"));
  edtPercentil->setEnabled(false);
  edtPercentil->setMinimumWidth(236);
  row->addWidget(medPercentil);
  row->addWidget(btpPercentil);
  row->addWidget(edtPercentil, 1);
  auto* box = new QVBoxLayout(grbDadosRel);
  box->addWidget(grpPercentil);

  netPercDestino->BeforeConnect = [this](fw::TNetConnection& net) {
    netPercDestinoBeforeConnect(net);
  };
  connect(medPercentil, &QLineEdit::textChanged, this,
          [this] { fw::Guard([this] { medPercentilChange(medPercentil); }); });
  btpPercentil->OnBeforePesq = [this](fw::TBtnPesquisa* b) { btpPercentilBeforePesq(b); };
  btpPercentil->OnAfterPesq = [this](fw::TBtnPesquisa* b) { btpPercentilAfterPesq(b); };
}

TfrmPercDestino::~TfrmPercDestino() { btpPercentil->SetDataSource(nullptr); }

fw::Dataset* TfrmPercDestino::Oferecidos() const {
  if (stPaginaOrigem == QLatin1String("tshIdPesAlt")) return cdsPercentilIdPesAlt;
  if (stPaginaOrigem == QLatin1String("tshPesAlt")) return cdsPercentilPesAlt;
  return cdsPercentilPesAltNCHS;
}

fw::Dataset* TfrmPercDestino::Validacao() const {
  if (stPaginaOrigem == QLatin1String("tshIdPesAlt")) return cdsValidaIdPesAlt;
  if (stPaginaOrigem == QLatin1String("tshPesAlt")) return cdsValidaPesAlt;
  return cdsValidaPesAltNCHS;
}

void TfrmPercDestino::FormCreate(QObject* sender) {
  fw::TfrmRotiGeral::FormCreate(sender);
  boPrimVez = true;
}

void TfrmPercDestino::FormActivate(QObject* sender) {
  fw::TfrmRotiGeral::FormActivate(sender);  // repaints
  dtsPercentil->SetDataSet(Oferecidos());
  if (!boPrimVez) return;
  boPrimVez = false;
  const tabrelpeso::TfrmTabRelPeso* tela = tabrelpeso::frmTabRelPeso;
  if (!tela) return;
  const services::Busy busy(fw::bkLoading);
  netPercDestino->SetConnected(true);
  // Each list for the reference of its own table's percentile list; a list
  // the server refuses is said and left empty, the others still load.
  const auto carrega = [](fw::Dataset* lista, const fw::ServerResult& answer) {
    const QVariant packet = fw::CheckResultServ(answer, false, 0);
    if (packet.isValid()) lista->SetData(services::PacketOf(packet));
  };
  const auto referencia = [](const fw::Dataset* lista) {
    return lista->FieldByName(u"CDREFEBIBL")->AsString();
  };
  carrega(cdsPercentilIdPesAlt, rdm_.GetPercentilIdPesAlt(referencia(tela->cdsPercIdade)));
  carrega(cdsPercentilPesAlt, rdm_.GetPercentilPesAlt(referencia(tela->cdsPercAltura)));
  carrega(cdsPercentilPesAltNCHS, rdm_.GetPercentilPesAltNCHS(referencia(tela->cdsPercAlturaNCHS)));
}

void TfrmPercDestino::FormClose(QObject* sender, fw::CloseAction& action) {
  fw::TfrmRotiGeral::FormClose(sender, action);
  netPercDestino->SetConnected(false);
}

void TfrmPercDestino::netPercDestinoBeforeConnect(fw::TNetConnection& sender) {
  sender.SetHost(fw::WebURL());
  sender.SetPort(fw::WebPort());
  sender.SetToken(fw::Host::Instance().Token());
}

void TfrmPercDestino::medPercentilChange(QObject*) { edtPercentil->clear(); }

void TfrmPercDestino::btpPercentilBeforePesq(QObject*) {}

void TfrmPercDestino::btpPercentilAfterPesq(QObject*) {
  // The code first: its change clears the name, which comes next.
  const fw::Dataset* oferecidos = Oferecidos();
  medPercentil->setText(oferecidos->FieldByName(u"CDPERCENTIL")->EditText());
  edtPercentil->setText(oferecidos->FieldByName(u"NMPERCENTIL")->AsString());
}

void TfrmPercDestino::Vd_Percentil(bool obrigatorio) {
  try {
    if (fw::EmptyString(medPercentil->text())) {
      if (!obrigatorio) return;
      fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_deve")));
    }
    const QString code = fw::Ajusta(medPercentil->text(), 3);
    medPercentil->setText(code);
    qryPercentil->Close();
    qryPercentil->ParamByName(u"P_CDPERC")->SetAsString(code);
    qryPercentil->Open();
    if (qryPercentil->IsEmpty()) fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_Inv")));
    fw::Dataset* valida = Validacao();
    valida->SetData(Oferecidos()->Data());
    if (!valida->Locate(QStringLiteral("CDPERCENTIL"), code, fw::loCaseInsensitive))
      fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_NCad")));
    edtPercentil->setText(qryPercentil->DataSet()->FieldByName(u"NMPERCENTIL")->AsString());
  } catch (...) {
    medPercentil->setFocus();
    throw;
  }
}

void TfrmPercDestino::sbtConfirmaClick(QObject* sender) {
  Vd_Percentil(true);
  tabrelpeso::TfrmTabRelPeso* tela = tabrelpeso::frmTabRelPeso;
  if (!tela) return;
  services::ShowBusy(fw::bkSaving);
  try {
    const QString referencia = tela->cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString();
    const QString destino = medPercentil->text();
    if (stPaginaOrigem == QLatin1String("tshIdPesAlt")) {
      fw::CheckResultServ(
          rdm_.CopiaIdPesAlt(referencia, destino,
                             tela->cdsPercIdade->FieldByName(u"CDPERCENTIL")->AsString()),
          true, 0);
    } else if (stPaginaOrigem == QLatin1String("tshPesAlt")) {
      fw::CheckResultServ(
          rdm_.CopiaPesAlt(referencia, destino,
                           tela->cdsPercAltura->FieldByName(u"CDPERCENTIL")->AsString()),
          true, 0);
    } else {
      fw::CheckResultServ(
          rdm_.CopiaPesAltNCHS(referencia, destino,
                               tela->cdsPercAlturaNCHS->FieldByName(u"CDPERCENTIL")->AsString()),
          true, 0);
    }
    tela->RecarregaAposCopia(stPaginaOrigem, destino);
  } catch (...) {
    services::HideBusy();
    throw;
  }
  fw::TfrmRotiGeral::sbtConfirmaClick(sender);  // closes
  services::HideBusy();
}

}  // namespace trp::percdestino
