// What the screen does: check the typed values, ask the server for every
// visit, show the answer and the child's points on the curves; any change
// of input clears what was shown.

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

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace trp::avaliacao {

namespace {

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

// The position combo's index for an age: 0 lying, 1 standing.
int PosicaoDaIdade(int dias) { return DeitadoNaIdade(dias) ? 0 : 1; }

bool DaOms(const QString& nome) {
  static const QRegularExpression oms(QStringLiteral("\\b(OMS|WHO)\\b|Organização Mundial"),
                                      QRegularExpression::CaseInsensitiveOption);
  return oms.match(nome).hasMatch();
}

const QString kChaveReferencias = QStringLiteral("frmAvaliacao/referencias");

}  // namespace

void TfrmAvaliacao::FormCreate(QObject* sender) {
  fw::TfrmPadraoGrid::FormCreate(sender);
  preenchendo_ = true;
  medMedicao->setText(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
  preenchendo_ = false;
  ListaReferencias();
  MostraVisitas();
  Desatualiza();
}

void TfrmAvaliacao::FormClose(QObject* sender, fw::CloseAction& action) {
  fw::TfrmPadraoGrid::FormClose(sender, action);
  tabrelpeso::MarcaNosGraficos({});
  netAvaliacao->SetConnected(false);
}

void TfrmAvaliacao::netAvaliacaoBeforeConnect(fw::TNetConnection& sender) {
  sender.SetHost(fw::WebURL());
  sender.SetPort(fw::WebPort());
  sender.SetToken(fw::Host::Instance().Token());
}

void TfrmAvaliacao::ListaReferencias() {
  const fw::DataPacket refs = services::PacketOf(fw::CheckResultServ(rdm_.GetReferencia()));
  const fw::DataPacket todas = services::PacketOf(fw::CheckResultServ(
      netAvaliacao->Call(QStringLiteral("GetTabela"), {QStringLiteral("REFEBIBL")})));
  for (qsizetype r = 0; r < todas.rowCount(); ++r)
    citacoes_.insert(todas.value(r, todas.fieldIndex(u"CDREFEBIBL")).toString(),
                     todas.value(r, todas.fieldIndex(u"DSCITACAO")).toString());
  const QString arquivo = fw::Host::Instance().WindowStateFile();
  const QVariant guardadas = arquivo.isEmpty() ? QVariant()
                                               : QSettings(arquivo, QSettings::IniFormat)
                                                     .value(kChaveReferencias);
  const QStringList escolhidas = guardadas.toString().split(u',', Qt::SkipEmptyParts);
  preenchendo_ = true;
  lstReferencias->clear();
  for (qsizetype r = 0; r < refs.rowCount(); ++r) {
    const QString codigo = refs.value(r, refs.fieldIndex(u"CDREFEBIBL")).toString();
    const QString nome = refs.value(r, refs.fieldIndex(u"NMREFEBIBL")).toString();
    auto* item = new QListWidgetItem(QStringLiteral("%1 - %2").arg(codigo, nome), lstReferencias);
    item->setData(Qt::UserRole, codigo);
    item->setData(Qt::UserRole + 1, nome);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    // Nothing kept for this user: the WHO's, as the Ministry's protocol uses.
    const bool marcada = guardadas.isValid() ? escolhidas.contains(codigo) : DaOms(nome);
    item->setCheckState(marcada ? Qt::Checked : Qt::Unchecked);
  }
  preenchendo_ = false;
}

QStringList TfrmAvaliacao::ReferenciasEscolhidas() const {
  QStringList codigos;
  for (int i = 0; i < lstReferencias->count(); ++i)
    if (lstReferencias->item(i)->checkState() == Qt::Checked)
      codigos << lstReferencias->item(i)->data(Qt::UserRole).toString();
  return codigos;
}

void TfrmAvaliacao::lstReferenciasChange(QObject* sender) {
  if (preenchendo_) return;
  // Kept with the user's window layout (no file: not kept).
  const QString arquivo = fw::Host::Instance().WindowStateFile();
  if (!arquivo.isEmpty())
    QSettings(arquivo, QSettings::IniFormat)
        .setValue(kChaveReferencias, ReferenciasEscolhidas().join(u','));
  EntradaChange(sender);
}

QDate TfrmAvaliacao::Nascimento() const { return DataDe(medNascimento); }

// The gestational age typed (days), nothing when blank; a message when wrong.
std::optional<int> TfrmAvaliacao::Gestacao() {
  if (edtSemanas->text().trimmed().isEmpty() && edtDiasGestacao->text().trimmed().isEmpty())
    return std::nullopt;
  const std::optional<int> dias = assess::ParseGestation(
      edtSemanas->text().trimmed() + u'+' +
      (edtDiasGestacao->text().trimmed().isEmpty() ? QStringLiteral("0")
                                                   : edtDiasGestacao->text().trimmed()));
  if (!dias)
    Recusa(edtSemanas->text().trimmed().isEmpty() ? edtSemanas
           : edtDiasGestacao->text().toInt() > 6  ? edtDiasGestacao
                                                  : edtSemanas,
           QStringLiteral("Idade gestacional inválida: informe de 20 a 44 semanas e de 0 a 6 "
                          "dias, ou deixe vazio para uma criança nascida a termo."));
  return dias;
}

void TfrmAvaliacao::medDatasChange(QObject* sender) {
  const QDate nascimento = Nascimento();
  const QDate medicao = DataDe(medMedicao);
  lblIdade->setText(assess::AgeText(nascimento, medicao));
  const std::optional<int> dias = assess::AgeDays(nascimento, medicao);
  const std::optional<int> gestacao = assess::ParseGestation(
      edtSemanas->text().trimmed() + u'+' +
      (edtDiasGestacao->text().trimmed().isEmpty() ? QStringLiteral("0")
                                                   : edtDiasGestacao->text().trimmed()));
  const std::optional<int> corrigida =
      gestacao ? assess::CorrectedAgeDays(nascimento, medicao, *gestacao) : std::nullopt;
  lblIdadeCorrigida->setText(corrigida ? QStringLiteral("Idade corrigida: %1 (avaliada por ela)")
                                             .arg(TextoIdade(nascimento, *corrigida))
                                       : QString());
  if (dias && !posicaoEscolhida_) {
    preenchendo_ = true;
    cbbPosicao->setCurrentIndex(PosicaoDaIdade(corrigida.value_or(*dias)));
    preenchendo_ = false;
  }
  EntradaChange(sender);
}

void TfrmAvaliacao::cbbPosicaoActivated(QObject* sender) {
  posicaoEscolhida_ = true;
  EntradaChange(sender);
}

void TfrmAvaliacao::EntradaChange(QObject*) {
  const std::optional<int> dias = assess::AgeDays(Nascimento(), DataDe(medMedicao));
  const bool diferente = dias && cbbPosicao->currentIndex() != PosicaoDaIdade(*dias);
  lblPosicao->setText(diferente ? QStringLiteral("⚠ Posição alterada: para esta idade mede-se %1.")
                                      .arg(PosicaoDaIdade(*dias) == 0 ? QStringLiteral("deitado")
                                                                      : QStringLiteral("em pé"))
                                : QString());
  if (!preenchendo_) Desatualiza();
}

void TfrmAvaliacao::Desatualiza() {
  const bool havia = avaliada_.has_value();
  avaliada_.reset();
  if (havia) MarcaCurvas();
  if (cdsAvaliacao->Active()) cdsAvaliacao->Close();
  grfCrianca->SetData({});
  lblSituacao->setText(havia ? QStringLiteral("Os dados mudaram: clique em Avaliar para ver os "
                                              "resultados.")
                             : QStringLiteral("Informe os dados e clique em Avaliar."));
}

VisitaLaudo TfrmAvaliacao::VisitaDigitada() {
  if (DataVazia(medMedicao) || !DataDe(medMedicao).isValid())
    Recusa(medMedicao, QStringLiteral("Informe a data da medição (dd/mm/aaaa)."));
  const std::optional<int> dias = assess::AgeDays(Nascimento(), DataDe(medMedicao));
  if (!dias)
    Recusa(medMedicao, QStringLiteral("A data da medição é anterior à data de nascimento."));
  VisitaLaudo v;
  v.data = DataDe(medMedicao);
  v.idadeDias = *dias;
  v.peso = Numero(edtPeso, QStringLiteral("Peso"));
  v.medida = Numero(edtMedida, QStringLiteral("Comprimento/estatura"));
  v.perimetro = Numero(edtPerimetro, QStringLiteral("Perímetro cefálico"));
  v.deitado = cbbPosicao->currentIndex() == 0;
  if (!v.peso && !v.medida && !v.perimetro)
    Recusa(edtPeso, QStringLiteral("Informe ao menos o peso, o comprimento/estatura ou o "
                                   "perímetro cefálico."));
  return v;
}

void TfrmAvaliacao::btnAvaliarClick(QObject*) {
  if (cbbSexo->currentIndex() < 0) Recusa(cbbSexo, QStringLiteral("Escolha o sexo da criança."));
  if (DataVazia(medNascimento) || !Nascimento().isValid())
    Recusa(medNascimento, QStringLiteral("Informe a data de nascimento (dd/mm/aaaa)."));
  const std::optional<int> gestacao = Gestacao();
  VisitaLaudo atual = VisitaDigitada();
  const QStringList refs = ReferenciasEscolhidas();
  if (refs.isEmpty())
    Recusa(lstReferencias, QStringLiteral("Marque ao menos uma referência para a avaliação."));
  Laudo laudo;
  laudo.nome = edtNome->text();
  laudo.prontuario = edtProntuario->text();
  laudo.masculino = cbbSexo->currentIndex() == 0;
  laudo.nascimento = Nascimento();
  laudo.gestacaoDias = gestacao;
  for (const VisitaLaudo& v : visitas_)
    if (v.data != atual.data) laudo.visitas << v;
  laudo.visitas << atual;
  std::sort(laudo.visitas.begin(), laudo.visitas.end(),
            [](const VisitaLaudo& a, const VisitaLaudo& b) { return a.data < b.data; });
  for (VisitaLaudo& v : laudo.visitas) {
    const std::optional<int> dias = assess::AgeDays(laudo.nascimento, v.data);
    if (!dias)
      Recusa(dbgVisitas, QStringLiteral("A visita de %1 é anterior à data de nascimento.")
                             .arg(v.data.toString(QStringLiteral("dd/MM/yyyy"))));
    v.idadeDias = *dias;
    v.idadeCorrigidaDias =
        gestacao ? assess::CorrectedAgeDays(laudo.nascimento, v.data, *gestacao) : std::nullopt;
    v.linhas = LinhasDaResposta(services::PacketOf(
        fw::CheckResultServ(rdm_.AvaliaMedida(ArgumentosAvaliacao(laudo.masculino, v, refs)))));
  }
  for (int i = 0; i < lstReferencias->count(); ++i) {
    const QString codigo = lstReferencias->item(i)->data(Qt::UserRole).toString();
    if (refs.contains(codigo))
      laudo.referencias << ReferenciaLaudo{
          codigo, lstReferencias->item(i)->data(Qt::UserRole + 1).toString(),
          citacoes_.value(codigo)};
  }
  laudo.curvas = [this, m = laudo.masculino](const QString& ref, const QString& ind) {
    return Curvas(ref, ind, m);
  };
  // What the grid shows: the typed visit.
  const VisitaLaudo* mostrada = nullptr;
  for (const VisitaLaudo& v : laudo.visitas)
    if (v.data == atual.data) mostrada = &v;
  fw::DataPacket rows({{QStringLiteral("CDREFEBIBL"), fw::FieldType::String, 2},
                       {QStringLiteral("CDINDICADOR"), fw::FieldType::String, 20},
                       {QStringLiteral("DSINDICADOR"), fw::FieldType::String, 40},
                       {QStringLiteral("VRZ"), fw::FieldType::Float, 0},
                       {QStringLiteral("VRPERCENTIL"), fw::FieldType::Float, 0},
                       {QStringLiteral("DSFAIXA"), fw::FieldType::String, 40},
                       {QStringLiteral("DSCLASSIFICACAO"), fw::FieldType::String, 40},
                       {QStringLiteral("DSALERTA"), fw::FieldType::String, 100}});
  for (const LinhaLaudo& l : mostrada->linhas)
    rows.appendRow(QVariantList{l.referencia, l.indicador, NomeIndicador(l.indicador), Ou(l.z),
                                Ou(l.percentil), l.faixa, l.classificacao, l.alerta});
  avaliada_ = laudo;
  cdsAvaliacao->Close();
  cdsAvaliacao->SetData(rows);
  // As the WHO's tools show them: z at two decimals, the percentile at one.
  cdsAvaliacao->FieldByName(u"VRZ")->SetDisplayFormat(QStringLiteral("0.00"));
  cdsAvaliacao->FieldByName(u"VRPERCENTIL")->SetDisplayFormat(QStringLiteral("0.0"));
  // A class or an alert is read whole, never cut.
  const QAbstractItemModel* model = dbgPadrao->model();
  for (int c = 0; c < model->columnCount(); ++c) {
    int largura = 0;
    for (int r = 0; r < model->rowCount(); ++r)
      largura = std::max(largura, dbgPadrao->fontMetrics().horizontalAdvance(
                                      model->index(r, c).data().toString()));
    if (dbgPadrao->columnWidth(c) < largura + 12) dbgPadrao->setColumnWidth(c, largura + 12);
  }
  lblSituacao->setText(
      QStringLiteral("Avaliação de %1%2%3.")
          .arg(atual.data.toString(QStringLiteral("dd/MM/yyyy")),
               laudo.visitas.size() > 1
                   ? QStringLiteral(" (série de %1 visitas)").arg(laudo.visitas.size())
                   : QString(),
               mostrada->idadeCorrigidaDias
                   ? QStringLiteral(", pela idade corrigida de %1")
                         .arg(TextoIdade(laudo.nascimento, *mostrada->idadeCorrigidaDias))
                   : QString()));
  Redesenha();
  MarcaCurvas();
  if (rows.rowCount() == 0)
    fw::MensErro(QStringLiteral("Nenhuma referência tem valores para esta idade e estas medidas."),
                 false);
}

void TfrmAvaliacao::cdsAvaliacaoAfterScroll(fw::Dataset&) { Redesenha(); }

report::ChartData TfrmAvaliacao::Curvas(const QString& referencia, const QString& indicador,
                                        bool masculino) {
  const FonteCurvas fonte = FonteDasCurvas(indicador);
  if (fonte.lms) {
    const QString chave = referencia + (masculino ? u'M' : u'F');
    if (!imc_.contains(chave))
      imc_.insert(
          chave,
          services::PacketOf(fw::CheckResultServ(rdm_.GetCurvaLms(
              referencia, masculino ? QStringLiteral("M") : QStringLiteral("F"), indicador))));
    return CurvasLms(imc_.value(chave));
  }
  const bool porAltura = fonte.tabela == tabrelpeso::TabelaGrafico::Altura;
  std::optional<fw::DataPacket>& kept = porAltura ? altura_ : idade_;
  if (!kept)
    kept = services::PairOf(
               fw::CheckResultServ(porAltura ? rdm_.GetPercAltura() : rdm_.GetPercIdade()))
               .linhas;
  return tabrelpeso::CurvasDaTabela(*kept, fonte.tabela, referencia, QString(), masculino,
                                    fonte.medida);
}

void TfrmAvaliacao::Redesenha() {
  if (!avaliada_ || !cdsAvaliacao->Active() || cdsAvaliacao->IsEmpty()) {
    grfCrianca->SetData({});
    return;
  }
  const QString ref = cdsAvaliacao->FieldByName(u"CDREFEBIBL")->AsString();
  const QString key = cdsAvaliacao->FieldByName(u"CDINDICADOR")->AsString();
  report::ChartData data = GraficoDaCrianca(*avaliada_, ref, key);
  data.title = QStringLiteral("Referência %1 - %2").arg(ref, NomeIndicador(key));
  grfCrianca->SetData(std::move(data));
}

// The child's points also on the maintenance screen's curves window, for
// the table, measure and sex it shows; none while there is no result.
void TfrmAvaliacao::MarcaCurvas() {
  using tabrelpeso::MarcaGrafico;
  using tabrelpeso::Medida;
  using tabrelpeso::TabelaGrafico;
  QList<MarcaGrafico> marcas;
  if (avaliada_) {
    const std::pair<const char*, MarcaGrafico> tipos[] = {
        {"peso_idade", {TabelaGrafico::Idade, Medida::Peso, avaliada_->masculino, {}}},
        {"estatura_idade", {TabelaGrafico::Idade, Medida::Altura, avaliada_->masculino, {}}},
        {"pc_idade", {TabelaGrafico::Idade, Medida::PerimetroCefalico, avaliada_->masculino, {}}},
        {"peso_estatura", {TabelaGrafico::Altura, Medida::Peso, avaliada_->masculino, {}}}};
    for (auto [indicador, marca] : tipos) {
      for (const VisitaLaudo& v : avaliada_->visitas)
        if (const auto p = PontoDaVisita(v, QLatin1String(indicador))) marca.serie.points << *p;
      if (marca.serie.points.isEmpty()) continue;
      marca.serie.label = QStringLiteral("Criança");
      marca.serie.highlighted = marca.serie.markers = true;
      marcas << marca;
    }
  }
  tabrelpeso::MarcaNosGraficos(marcas);
}

}  // namespace trp::avaliacao
