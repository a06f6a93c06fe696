// What the screen does: check the typed values, ask the server, show the
// answer and the child's point on the curves.

#include "assess/age.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/forms.h"
#include "framework/ui/host_services.h"
#include "screens/avaliacao/avaliacao_form.h"
#include "screens/tabrelpeso/tabrelpeso_chart.h"
#include "services/framework_services.h"

#include <cmath>

namespace trp::avaliacao {

namespace {

constexpr double kDiasPorMes = 30.4375;

QDate DataDe(const QLineEdit* edit) {
  return QDate::fromString(edit->text(), QStringLiteral("dd/MM/yyyy"));
}

bool DataVazia(const QLineEdit* edit) { return edit->text().remove(u'/').trimmed().isEmpty(); }

[[noreturn]] void Recusa(QWidget* control, const QString& text) {
  fw::ActiveControlTracker::TakeFocus(control);
  fw::MensErro(text);
  throw fw::EAbort();  // MensErro aborts; this keeps the compiler sure of it
}

// A positive number typed in `edit` ("12,5"), or nothing when blank.
std::optional<double> Numero(QLineEdit* edit, const QString& what) {
  bool ok = true;
  const std::optional<double> v = fw::ParseFloat(edit->text(), &ok);
  if (!ok || (v && !(*v > 0)))
    Recusa(edit, QStringLiteral("%1 inválido: '%2'. Informe um número positivo, como 12,5.")
                     .arg(what, edit->text()));
  return v;
}

QVariant Ou(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); }

// The alert column: the implausibility mark and the server's other flag (a
// standing height before 9 months).
QString Alerta(bool implausivel, const QString& sinalizacao) {
  QStringList partes;
  if (implausivel) partes << QStringLiteral("implausível");
  if (!sinalizacao.isEmpty()) partes << sinalizacao;
  return partes.isEmpty() ? QString() : QStringLiteral("⚠ ") + partes.join(QStringLiteral("; "));
}

}  // namespace

QString NomeIndicador(const QString& key) {
  if (key == QLatin1String("peso_idade")) return QStringLiteral("Peso para a idade");
  if (key == QLatin1String("estatura_idade"))
    return QStringLiteral("Comprimento/estatura para a idade");
  if (key == QLatin1String("peso_estatura"))
    return QStringLiteral("Peso para o comprimento/estatura");
  if (key == QLatin1String("imc_idade")) return QStringLiteral("IMC para a idade");
  if (key == QLatin1String("pc_idade")) return QStringLiteral("Perímetro cefálico para a idade");
  return key;
}

void TfrmAvaliacao::FormCreate(QObject* sender) {
  fw::TfrmPadraoGrid::FormCreate(sender);
  medMedicao->setText(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
}

void TfrmAvaliacao::FormClose(QObject* sender, fw::CloseAction& action) {
  fw::TfrmPadraoGrid::FormClose(sender, action);
  netAvaliacao->SetConnected(false);
}

void TfrmAvaliacao::netAvaliacaoBeforeConnect(fw::TNetConnection& sender) {
  sender.SetHost(fw::WebURL());
  sender.SetPort(fw::WebPort());
  sender.SetToken(fw::Host::Instance().Token());
}

void TfrmAvaliacao::medDatasChange(QObject*) {
  lblIdade->setText(assess::AgeText(DataDe(medNascimento), DataDe(medMedicao)));
}

void TfrmAvaliacao::btnAvaliarClick(QObject*) {
  if (DataVazia(medNascimento) || !DataDe(medNascimento).isValid())
    Recusa(medNascimento, QStringLiteral("Informe a data de nascimento (dd/mm/aaaa)."));
  if (DataVazia(medMedicao) || !DataDe(medMedicao).isValid())
    Recusa(medMedicao, QStringLiteral("Informe a data da medição (dd/mm/aaaa)."));
  const std::optional<int> dias = assess::AgeDays(DataDe(medNascimento), DataDe(medMedicao));
  if (!dias)
    Recusa(medMedicao, QStringLiteral("A data da medição é anterior à data de nascimento."));
  Crianca c;
  c.masculino = cbbSexo->currentIndex() == 0;
  c.idadeDias = *dias;
  c.idadeTexto = lblIdade->text();
  c.peso = Numero(edtPeso, QStringLiteral("Peso"));
  c.medida = Numero(edtMedida, QStringLiteral("Comprimento/estatura"));
  c.perimetro = Numero(edtPerimetro, QStringLiteral("Perímetro cefálico"));
  c.deitado = cbbPosicao->currentIndex() == 0;
  if (!c.peso && !c.medida && !c.perimetro)
    Recusa(edtPeso, QStringLiteral("Informe ao menos o peso, o comprimento/estatura ou o "
                                   "perímetro cefálico."));

  QVariantList args{c.masculino ? QStringLiteral("M") : QStringLiteral("F"),
                    double(c.idadeDias),
                    QVariant(),
                    QVariant(),
                    Ou(c.peso),
                    Ou(c.medida),
                    c.medida ? (c.deitado ? QStringLiteral("D") : QStringLiteral("P")) : QString(),
                    Ou(c.perimetro),
                    QString()};
  const fw::DataPacket answer = services::PacketOf(fw::CheckResultServ(rdm_.AvaliaMedida(args)));
  // What the grid shows: readable indicator names and the implausible mark.
  fw::DataPacket rows({{QStringLiteral("CDREFEBIBL"), fw::FieldType::String, 2},
                       {QStringLiteral("NMREFEBIBL"), fw::FieldType::String, 60},
                       {QStringLiteral("CDINDICADOR"), fw::FieldType::String, 20},
                       {QStringLiteral("DSINDICADOR"), fw::FieldType::String, 40},
                       {QStringLiteral("VRZ"), fw::FieldType::Float, 0},
                       {QStringLiteral("VRPERCENTIL"), fw::FieldType::Float, 0},
                       {QStringLiteral("DSFAIXA"), fw::FieldType::String, 40},
                       {QStringLiteral("DSCLASSIFICACAO"), fw::FieldType::String, 40},
                       {QStringLiteral("DSALERTA"), fw::FieldType::String, 100}});
  const auto col = [&](const char* name) { return answer.fieldIndex(QString::fromLatin1(name)); };
  for (qsizetype r = 0; r < answer.rowCount(); ++r) {
    const QString key = answer.value(r, col("CDINDICADOR")).toString();
    rows.appendRow(QVariantList{
        answer.value(r, col("CDREFEBIBL")), answer.value(r, col("NMREFEBIBL")), key,
        NomeIndicador(key), answer.value(r, col("VRZ")), answer.value(r, col("VRPERCENTIL")),
        answer.value(r, col("DSFAIXA")), answer.value(r, col("DSCLASSIFICACAO")),
        Alerta(answer.value(r, col("FLIMPLAUSIVEL")).toString() == QLatin1String("S"),
               col("DSSINALIZACAO") < 0 ? QString()
                                        : answer.value(r, col("DSSINALIZACAO")).toString())});
  }
  avaliada_ = c;
  resultado_ = rows;
  cdsAvaliacao->Close();
  cdsAvaliacao->SetData(rows);
  for (const char* f : {"VRZ", "VRPERCENTIL"})
    cdsAvaliacao->FieldByName(QString::fromLatin1(f))->SetDisplayFormat(QStringLiteral("0.00"));
  Redesenha();
  if (rows.rowCount() == 0)
    fw::MensErro(QStringLiteral("Nenhuma referência tem valores para esta idade e estas medidas."),
                 false);
}

void TfrmAvaliacao::cdsAvaliacaoAfterScroll(fw::Dataset&) { Redesenha(); }

void TfrmAvaliacao::Redesenha() {
  if (!avaliada_ || !cdsAvaliacao->Active() || cdsAvaliacao->IsEmpty()) {
    grfCrianca->SetData({});
    return;
  }
  const QString ref = cdsAvaliacao->FieldByName(u"CDREFEBIBL")->AsString();
  const QString key = cdsAvaliacao->FieldByName(u"CDINDICADOR")->AsString();
  const Crianca& c = *avaliada_;
  using tabrelpeso::Medida;
  using tabrelpeso::TabelaGrafico;
  const bool porAltura = key == QLatin1String("peso_estatura");
  std::optional<fw::DataPacket>& kept = porAltura ? altura_ : idade_;
  if (!kept)
    kept = services::PairOf(
               fw::CheckResultServ(porAltura ? rdm_.GetPercAltura() : rdm_.GetPercIdade()))
               .linhas;
  const Medida medida = key == QLatin1String("pc_idade")         ? Medida::PerimetroCefalico
                        : key == QLatin1String("estatura_idade") ? Medida::Altura
                                                                 : Medida::Peso;
  report::ChartData data =
      key == QLatin1String("imc_idade")
          ? report::ChartData{}
          : tabrelpeso::CurvasDaTabela(*kept,
                                       porAltura ? TabelaGrafico::Altura : TabelaGrafico::Idade,
                                       ref, QString(), c.masculino, medida);
  data.title = QStringLiteral("Referência %1 - %2").arg(ref, NomeIndicador(key));
  const double meses = c.idadeDias / kDiasPorMes;
  std::optional<QPointF> ponto;
  if (key == QLatin1String("peso_idade") && c.peso) ponto = QPointF(meses, *c.peso);
  if (key == QLatin1String("estatura_idade") && c.medida) ponto = QPointF(meses, *c.medida);
  if (key == QLatin1String("pc_idade") && c.perimetro) ponto = QPointF(meses, *c.perimetro);
  if (porAltura && c.medida && c.peso) ponto = QPointF(*c.medida, *c.peso);
  if (key == QLatin1String("imc_idade") && c.medida && c.peso) {
    data.xTitle = QStringLiteral("Idade (meses)");
    data.yTitle = QStringLiteral("IMC (kg/m²)");
    ponto = QPointF(meses, *c.peso / std::pow(*c.medida / 100, 2));
  }
  if (ponto) data.series.append({QStringLiteral("Criança"), {*ponto}, true});
  grfCrianca->SetData(std::move(data));
}

}  // namespace trp::avaliacao
