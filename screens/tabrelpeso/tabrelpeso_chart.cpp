// The curves window of the maintenance screen and the chart of a table.

#include "screens/tabrelpeso/tabrelpeso_chart.h"

#include "framework/ui/guard.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <map>

namespace trp::tabrelpeso {

namespace {

struct Colunas {
  const char* x;
  const char* yMas;
  const char* yFem;
  const char* yTitle;
};

Colunas ColunasDe(TabelaGrafico tabela, Medida medida) {
  switch (tabela) {
    case TabelaGrafico::Altura:
      return {"VRALTURA", "VRPESOMASALT", "VRPESOFEMALT", "Peso (kg)"};
    case TabelaGrafico::AlturaNCHS:
      return {"VRALTURAN2", "VRPESOMASN2", "VRPESOFEMN2", "Peso (kg)"};
    case TabelaGrafico::Idade:
      break;
  }
  switch (medida) {
    case Medida::Altura:
      return {nullptr, "VRALTUMASIDA", "VRALTUFEMIDA", "Altura (cm)"};
    case Medida::PerimetroCefalico:
      return {nullptr, "VRPMCFMASIDA", "VRPMCFFEMIDA", "Perímetro cefálico (cm)"};
    case Medida::Peso:
      break;
  }
  return {nullptr, "VRPESOMASIDA", "VRPESOFEMIDA", "Peso (kg)"};
}

QString Rotulo(const QString& percentil) {
  bool ok = false;
  const int n = percentil.toInt(&ok);
  return QStringLiteral("P") + (ok ? QString::number(n) : percentil);
}

QString Numero(double value, int decimals) {
  return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', decimals);
}

}  // namespace

report::ChartData CurvasDaTabela(const fw::DataPacket& rows, TabelaGrafico tabela,
                                 const QString& referencia, const QString& percentil,
                                 bool masculino, Medida medida) {
  const Colunas c = ColunasDe(tabela, medida);
  report::ChartData data;
  const bool idade = tabela == TabelaGrafico::Idade;
  data.xTitle = idade ? QStringLiteral("Idade (meses)") : QStringLiteral("Altura (cm)");
  data.yTitle = QString::fromUtf8(c.yTitle);
  const QString sexo = masculino ? QStringLiteral("masculino") : QStringLiteral("feminino");
  data.title = (idade ? data.yTitle.section(QLatin1Char(' '), 0, -2) + QStringLiteral(" por idade")
                      : QStringLiteral("Peso por altura")) +
               QStringLiteral(" - ") + sexo;
  const int ref = rows.fieldIndex(u"CDREFEBIBL");
  const int perc = rows.fieldIndex(u"CDPERCENTIL");
  const int y = rows.fieldIndex(QString::fromLatin1(masculino ? c.yMas : c.yFem));
  const int x = idade ? -1 : rows.fieldIndex(QString::fromLatin1(c.x));
  const int anos = rows.fieldIndex(u"NRIDADEINI");
  const int meses = rows.fieldIndex(u"NRIDADEFIN");
  if (ref < 0 || perc < 0 || y < 0 || (idade ? anos < 0 || meses < 0 : x < 0)) return data;
  std::map<QString, QVector<QPointF>> curves;  // by code: the codes' order
  for (qsizetype r = 0; r < rows.rowCount(); ++r) {
    if (rows.value(r, ref).toString() != referencia) continue;
    const QVariant key = idade ? QVariant(rows.value(r, anos).toDouble() * 12 +
                                          rows.value(r, meses).toDouble())
                               : rows.value(r, x);
    if (key.isNull()) continue;
    const QVariant value = rows.value(r, y);
    curves[rows.value(r, perc).toString()] << QPointF(
        key.toDouble(), value.isNull() ? std::nan("") : value.toDouble());
  }
  for (auto& [code, points] : curves) {
    std::sort(points.begin(), points.end(),
              [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    data.series << report::ChartSeries{Rotulo(code), points, code == percentil};
  }
  return data;
}

TfrmGrafico::TfrmGrafico(TfrmTabRelPeso* screen) : QDialog(screen), screen_(screen) {
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
  grfCurvas = new report::ChartView(QStringLiteral("grfCurvas"), this);
  grfCurvas->Describe = [this](const report::ChartSeries& s, const QPointF& p) {
    const QString chave =
        tabela_ == TabelaGrafico::Idade
            ? QStringLiteral("%1 meses (%2 a %3 m)")
                  .arg(Numero(p.x(), 0), Numero(std::floor(p.x() / 12), 0),
                       Numero(std::fmod(p.x(), 12), 0))
            : QStringLiteral("%1 cm").arg(Numero(p.x(), 2));
    const QString unidade = grfCurvas->Data().yTitle.section(QLatin1Char('('), 1).chopped(1);
    return QStringLiteral("%1 - %2: %3 %4").arg(s.label, chave, Numero(p.y(), 3), unidade);
  };
  auto* top = new QHBoxLayout;
  top->addWidget(lblTabela, 1);
  top->addWidget(cbbMedidaGrafico);
  top->addWidget(cbbSexoGrafico);
  auto* box = new QVBoxLayout(this);
  box->addLayout(top);
  box->addWidget(grfCurvas, 1);
  resize(760, 520);

  connect(cbbSexoGrafico, &QComboBox::currentIndexChanged, this, [this] { Redesenha(); });
  connect(cbbMedidaGrafico, &QComboBox::currentIndexChanged, this, [this] { Redesenha(); });
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
  const QString referencia =
      screen_->cdsReferencia->Active() && !screen_->cdsReferencia->IsEmpty()
          ? screen_->cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString()
          : QString();
  const QString nomeRef = referencia.isEmpty()
                              ? QString()
                              : screen_->cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString();
  const QString percentil = perc->Active() && !perc->IsEmpty()
                                ? perc->FieldByName(u"CDPERCENTIL")->AsString()
                                : QString();
  lblTabela->setText(QStringLiteral("%1 - %2 %3").arg(nome, referencia, nomeRef));
  grfCurvas->SetData(CurvasDaTabela(rows->Active() ? rows->Data() : fw::DataPacket(), tabela_,
                                    referencia, percentil, cbbSexoGrafico->currentIndex() == 0,
                                    Medida(std::max(0, cbbMedidaGrafico->currentIndex()))));
}

void TfrmTabRelPeso::sbtGraficoClick(QObject*) {
  if (!frmGrafico) {
    frmGrafico = new TfrmGrafico(this);
    const fw::TabSheet* page = pgcPadrao->ActivePage();
    if (page == tshIdPesAlt) frmGrafico->cbbSexoGrafico->setCurrentIndex(cbbSexoIdPesAlt->ItemIndex());
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
