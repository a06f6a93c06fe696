// The curves window of the maintenance screen and the chart of a table.

#include "screens/tabrelpeso/tabrelpeso_chart.h"

#include "framework/ui/guard.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace trp::tabrelpeso {

namespace {

QString Numero(double value, int decimals) {
  return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', decimals);
}

}  // namespace

void SobrepoeReferencia(report::ChartData& data, const fw::DataPacket& rows, TabelaGrafico tabela,
                        const QString& outra, bool masculino, Medida medida,
                        const QString& nomeAtual, const QString& nomeOutra) {
  const report::ChartData other = CurvasDaTabela(rows, tabela, outra, {}, masculino, medida);
  QStringList shared;
  for (const report::ChartSeries& s : data.series) shared << s.label;
  bool any = false;
  for (const report::ChartSeries& s : other.series) any = any || shared.contains(s.label);
  for (report::ChartSeries s : other.series) {
    if (any && !shared.contains(s.label)) continue;
    s.dashed = true;
    s.source = nomeOutra;
    data.series << s;
  }
  data.legend = QStringList{nomeAtual, nomeOutra};
}

namespace {

QList<MarcaGrafico>& Marcas() {
  static QList<MarcaGrafico> marcas;
  return marcas;
}

QList<QPointer<TfrmGrafico>>& Abertos() {
  static QList<QPointer<TfrmGrafico>> abertos;
  return abertos;
}

}  // namespace

void MarcaNosGraficos(const QList<MarcaGrafico>& marcas) {
  Marcas() = marcas;
  Abertos().removeAll(nullptr);
  for (const QPointer<TfrmGrafico>& w : Abertos()) w->Atualiza();
}

TfrmGrafico::TfrmGrafico(TfrmTabRelPeso* screen) : QDialog(screen), screen_(screen) {
  Abertos() << this;
  setObjectName(QStringLiteral("frmGrafico"));
  setWindowTitle(QStringLiteral("Curvas da tabela"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMaximizeButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  lblTabela = new QLabel(this);
  lblTabela->setObjectName(QStringLiteral("lblTabela"));
  cbbSexoGrafico = new fw::ComboBox(QStringLiteral("cbbSexoGrafico"), this);
  cbbSexoGrafico->addItems({QStringLiteral("Masculino"), QStringLiteral("Feminino")});
  cbbSexoGrafico->setToolTip(QStringLiteral("Sexo das curvas"));
  cbbMedidaGrafico = new fw::ComboBox(QStringLiteral("cbbMedidaGrafico"), this);
  cbbMedidaGrafico->addItems(
      {QStringLiteral("Peso"), QStringLiteral("Altura"), QStringLiteral("Perímetro cefálico")});
  cbbMedidaGrafico->setToolTip(QStringLiteral("Medida das curvas por idade"));
  cbbCompararGrafico = new fw::ComboBox(QStringLiteral("cbbCompararGrafico"), this);
  cbbCompararGrafico->setToolTip(
      QStringLiteral("Outra referência, desenhada tracejada sobre as curvas da atual"));
  cbbCompararGrafico->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* lblComparar = new QLabel(QStringLiteral("Comparar com:"), this);
  lblComparar->setObjectName(QStringLiteral("lblComparar"));
  lblComparar->setBuddy(cbbCompararGrafico);
  grfCurvas = new report::ChartView(QStringLiteral("grfCurvas"), this);
  grfCurvas->Describe = [this](const report::ChartSeries& s, const QPointF& p) {
    const QString chave = tabela_ == TabelaGrafico::Idade
                              ? QStringLiteral("%1 meses (%2 a %3 m)")
                                    .arg(Numero(p.x(), 0), Numero(std::floor(p.x() / 12), 0),
                                         Numero(std::fmod(p.x(), 12), 0))
                              : QStringLiteral("%1 cm").arg(Numero(p.x(), 2));
    const QString unidade = grfCurvas->Data().yTitle.section(QLatin1Char('('), 1).chopped(1);
    const QString rotulo = s.source.isEmpty() ? s.label : s.source + QStringLiteral(", ") + s.label;
    return QStringLiteral("%1 - %2: %3 %4").arg(rotulo, chave, Numero(p.y(), 3), unidade);
  };
  lblFaixa = new QLabel(this);
  lblFaixa->setObjectName(QStringLiteral("lblFaixa"));
  auto faixa = [this](const char* name, const char* hint) {
    auto* spin = new QDoubleSpinBox(this);
    spin->setObjectName(QLatin1String(name));
    spin->setToolTip(QString::fromUtf8(hint));
    spin->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // Typing redraws once, on Enter or on leaving the box.
    spin->setKeyboardTracking(false);
    spin->setAccelerated(true);
    connect(spin, &QDoubleSpinBox::valueChanged, this, [this] {
      faixaEscolhida_ = true;
      Redesenha();
    });
    return spin;
  };
  spnFaixaDe = faixa("spnFaixaDe", "Início da faixa desenhada");
  spnFaixaAte = faixa("spnFaixaAte", "Fim da faixa desenhada");
  lblFaixa->setBuddy(spnFaixaDe);
  auto* lblFaixaAte = new QLabel(QStringLiteral("a"), this);
  lblFaixaAte->setObjectName(QStringLiteral("lblFaixaAte"));
  btnFaixaTudo = new QPushButton(QStringLiteral("&Tudo"), this);
  btnFaixaTudo->setObjectName(QStringLiteral("btnFaixaTudo"));
  btnFaixaTudo->setToolTip(QStringLiteral("Desenha a faixa inteira das curvas"));
  btnFaixaTudo->setAutoDefault(false);
  connect(btnFaixaTudo, &QPushButton::clicked, this, [this] {
    faixaEscolhida_ = false;
    Redesenha();
  });
  btnExportarGrafico = new QPushButton(QStringLiteral("E&xportar..."), this);
  btnExportarGrafico->setObjectName(QStringLiteral("btnExportarGrafico"));
  btnExportarGrafico->setToolTip(
      QStringLiteral("A referência desenhada em XLSX ou ODS, ou a tabela desenhada em CSV"));
  btnExportarGrafico->setAutoDefault(false);
  fw::GuardedConnect(btnExportarGrafico, &QPushButton::clicked, this, [this] {
    static const char* const kTabelas[] = {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"};
    screen_->ExportaReferenciaAtual(QString::fromLatin1(kTabelas[int(tabela_)]));
  });
  auto* top = new QHBoxLayout;
  top->addWidget(lblTabela, 1);
  top->addWidget(lblComparar);
  top->addWidget(cbbCompararGrafico);
  top->addWidget(cbbMedidaGrafico);
  top->addWidget(cbbSexoGrafico);
  auto* range = new QHBoxLayout;
  range->addWidget(lblFaixa);
  range->addWidget(spnFaixaDe);
  range->addWidget(lblFaixaAte);
  range->addWidget(spnFaixaAte);
  range->addWidget(btnFaixaTudo);
  range->addStretch(1);
  range->addWidget(btnExportarGrafico);
  auto* box = new QVBoxLayout(this);
  box->addLayout(top);
  box->addLayout(range);
  box->addWidget(grfCurvas, 1);
  resize(900, 560);

  connect(cbbSexoGrafico, &QComboBox::currentIndexChanged, this, [this] { Redesenha(); });
  connect(cbbMedidaGrafico, &QComboBox::currentIndexChanged, this, [this] { Redesenha(); });
  connect(cbbCompararGrafico, &QComboBox::currentIndexChanged, this, [this] { Redesenha(); });
  // The screen's sex selectors lead: the window shows the sex the grids show.
  for (fw::ComboBox* sexo : {screen_->cbbSexoIdPesAlt, screen_->cbbSexoPesAltNCHS})
    connect(sexo, &QComboBox::currentIndexChanged, this,
            [this](int index) { cbbSexoGrafico->setCurrentIndex(index); });
  const QList<fw::Dataset*> datasets{screen_->cdsReferencia, screen_->cdsPercIdade,
                                     screen_->cdsPercAltura, screen_->cdsPercAlturaNCHS,
                                     screen_->cdsIdPesAlt,   screen_->cdsPesAlt,
                                     screen_->cdsPesAltNCHS};
  for (fw::Dataset* ds : datasets) {
    connect(ds, &fw::Dataset::contentReset, this, [this] { Atualiza(); });
    connect(ds, &fw::Dataset::currentChanged, this, [this] { Atualiza(); });
    connect(ds, &fw::Dataset::rowChanged, this, [this] { Atualiza(); });
    connect(ds, &fw::Dataset::rowInserted, this, [this] { Atualiza(); });
    connect(ds, &fw::Dataset::rowRemoved, this, [this] { Atualiza(); });
  }
  Redesenha();
}

void TfrmGrafico::Atualiza() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    Redesenha();
  });
}

void TfrmGrafico::Redesenha() {
  const fw::TabSheet* page = screen_->pgcPadrao->ActivePage();
  fw::Dataset* rows = screen_->cdsIdPesAlt;
  fw::Dataset* perc = screen_->cdsPercIdade;
  tabela_ = TabelaGrafico::Idade;
  QString nome = QStringLiteral("Idade/Peso/Altura");
  if (page == screen_->tshPesAlt) {
    rows = screen_->cdsPesAlt, perc = screen_->cdsPercAltura, tabela_ = TabelaGrafico::Altura;
    nome = QStringLiteral("Peso/Altura");
  } else if (page == screen_->tshPesAltNCHS) {
    rows = screen_->cdsPesAltNCHS, perc = screen_->cdsPercAlturaNCHS;
    tabela_ = TabelaGrafico::AlturaNCHS;
    nome = QStringLiteral("Peso/Altura (NCHS 2000)");
  }
  cbbMedidaGrafico->setVisible(tabela_ == TabelaGrafico::Idade);
  const QString referencia = screen_->cdsReferencia->Active() && !screen_->cdsReferencia->IsEmpty()
                                 ? screen_->cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString()
                                 : QString();
  const QString nomeRef = referencia.isEmpty()
                              ? QString()
                              : screen_->cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString();
  const QString percentil = perc->Active() && !perc->IsEmpty()
                                ? perc->FieldByName(u"CDPERCENTIL")->AsString()
                                : QString();
  lblTabela->setText(QStringLiteral("%1 - %2 %3").arg(nome, referencia, nomeRef));
  ListaComparacao(referencia);
  const fw::DataPacket packet = rows->Active() ? rows->Data() : fw::DataPacket();
  const bool masculino = cbbSexoGrafico->currentIndex() == 0;
  const Medida medida = Medida(std::max(0, cbbMedidaGrafico->currentIndex()));
  report::ChartData data =
      CurvasDaTabela(packet, tabela_, referencia, percentil, masculino, medida);
  data.xMonths = tabela_ == TabelaGrafico::Idade;
  const QString nomeAtual = QStringLiteral("%1 - %2").arg(referencia, nomeRef);
  for (report::ChartSeries& s : data.series) s.source = nomeAtual;
  if (!referencia.isEmpty()) data.legend = QStringList{nomeAtual};
  if (!referencia.isEmpty())
    data.boundaries = FronteirasDe(screen_->CitacaoDe(referencia), tabela_);
  const QString outra = cbbCompararGrafico->currentData().toString();
  if (!outra.isEmpty()) {
    SobrepoeReferencia(data, packet, tabela_, outra, masculino, medida, nomeAtual,
                       cbbCompararGrafico->currentText());
    for (const report::ChartBoundary& b : FronteirasDe(screen_->CitacaoDe(outra), tabela_))
      if (data.boundaries.isEmpty() || data.boundaries.first().x != b.x) data.boundaries << b;
  }
  for (const MarcaGrafico& m : Marcas())
    if (m.tabela == tabela_ && m.masculino == masculino &&
        (tabela_ != TabelaGrafico::Idade || m.medida == medida))
      data.series << m.serie;
  AplicaFaixa(data);
  grfCurvas->SetData(data);
}

void TfrmGrafico::AplicaFaixa(report::ChartData& data) {
  if (tabelaFaixa_ != tabela_) faixaEscolhida_ = false;
  tabelaFaixa_ = tabela_;
  double menor = std::numeric_limits<double>::infinity(), maior = -menor;
  for (const report::ChartSeries& s : data.series)
    for (const QPointF& p : s.points)
      if (!std::isnan(p.y())) menor = std::min(menor, p.x()), maior = std::max(maior, p.x());
  const bool idade = tabela_ == TabelaGrafico::Idade;
  lblFaixa->setText(idade ? QStringLiteral("&Idade de") : QStringLiteral("&Altura de"));
  const bool vazio = !(menor < maior);
  for (QDoubleSpinBox* spin : {spnFaixaDe, spnFaixaAte}) {
    const QSignalBlocker quiet(spin);
    spin->setDecimals(idade ? 0 : 1);
    spin->setSingleStep(idade ? 1 : 0.5);
    spin->setSuffix(idade ? QStringLiteral(" meses") : QStringLiteral(" cm"));
    spin->setEnabled(!vazio);
    if (!vazio) spin->setRange(menor, maior);
  }
  btnFaixaTudo->setEnabled(!vazio && faixaEscolhida_);
  if (vazio) return;
  if (!faixaEscolhida_) {
    const QSignalBlocker quietDe(spnFaixaDe), quietAte(spnFaixaAte);
    spnFaixaDe->setValue(menor);
    spnFaixaAte->setValue(maior);
    return;
  }
  // An empty or reversed range draws the whole one.
  if (spnFaixaDe->value() < spnFaixaAte->value()) {
    data.xFrom = spnFaixaDe->value();
    data.xTo = spnFaixaAte->value();
  }
}

void TfrmGrafico::ListaComparacao(const QString& atual) {
  const QString escolhida = cbbCompararGrafico->currentData().toString();
  QStringList codes{QString()}, names{QStringLiteral("(nenhuma)")};
  fw::Dataset* refs = screen_->cdsReferencia;
  if (refs->Active()) {
    const fw::DataPacket all = refs->Data();
    const int code = all.fieldIndex(u"CDREFEBIBL"), name = all.fieldIndex(u"NMREFEBIBL");
    for (qsizetype r = 0; code >= 0 && name >= 0 && r < all.rowCount(); ++r) {
      const QString c = all.value(r, code).toString();
      if (c.isEmpty() || c == atual) continue;
      codes << c;
      names << QStringLiteral("%1 - %2").arg(c, all.value(r, name).toString());
    }
  }
  const QSignalBlocker quiet(cbbCompararGrafico);
  cbbCompararGrafico->clear();
  for (int i = 0; i < codes.size(); ++i) cbbCompararGrafico->addItem(names[i], codes[i]);
  cbbCompararGrafico->setCurrentIndex(std::max(0, int(codes.indexOf(escolhida))));
}

void TfrmTabRelPeso::sbtGraficoClick(QObject*) {
  if (!frmGrafico) {
    frmGrafico = new TfrmGrafico(this);
    const fw::TabSheet* page = pgcPadrao->ActivePage();
    if (page == tshIdPesAlt)
      frmGrafico->cbbSexoGrafico->setCurrentIndex(cbbSexoIdPesAlt->ItemIndex());
    if (page == tshPesAltNCHS)
      frmGrafico->cbbSexoGrafico->setCurrentIndex(cbbSexoPesAltNCHS->ItemIndex());
  }
  frmGrafico->Redesenha();
  frmGrafico->show();
  frmGrafico->raise();
}

void TfrmTabRelPeso::AtualizaGrafico() {
  if (frmGrafico) frmGrafico->Atualiza();
}

}  // namespace trp::tabrelpeso
