// The wizard's handlers: the file read, the columns proposed, the preview,
// the import through the server.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/busy.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/host_services.h"
#include "import/sheet.h"
#include "screens/importacao/importacao_form.h"
#include "screens/importacao/importacao_p.h"
#include "services/rdm_master_data.h"
#include "services/rdm_tabrelpeso.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QUuid>

#include <set>

namespace trp::importacao {

using tableimport::Key;
using tableimport::Measure;
using tableimport::Table;

void TfrmImportacao::FormCreate(QObject* sender) {
  fw::TfrmPadraoGrid::FormCreate(sender);
  ListaReferencias();
  AtualizaEstado();
}

void TfrmImportacao::netImportacaoBeforeConnect(fw::TNetConnection& sender) {
  sender.SetHost(fw::WebURL());
  sender.SetPort(fw::WebPort());
  sender.SetToken(fw::Host::Instance().Token());
}

void TfrmImportacao::ListaReferencias() {
  const fw::DataPacket refs = services::PacketOf(fw::CheckResultServ(
      netImportacao->Call(QStringLiteral("GetTabela"), {QStringLiteral("REFEBIBL")})));
  preenchendo_ = true;
  const QString atual = cbbReferencia->currentData().toString();
  cbbReferencia->clear();
  cbbReferencia->addItem(QStringLiteral("(nova referência)"), QString());
  for (qsizetype r = 0; r < refs.rowCount(); ++r) {
    const QString code = refs.value(r, refs.fieldIndex(u"CDREFEBIBL")).toString();
    cbbReferencia->addItem(
        code + QStringLiteral(" - ") + refs.value(r, refs.fieldIndex(u"NMREFEBIBL")).toString(),
        code);
  }
  cbbReferencia->setCurrentIndex(std::max(0, cbbReferencia->findData(atual)));
  preenchendo_ = false;
  cbbReferenciaChange(cbbReferencia);
}

void TfrmImportacao::btnAbrirClick(QObject*) {
  QString path;
  if (!fw::Dialogs().OpenFileName(
          QStringLiteral("Abrir planilha"),
          QStringLiteral("Planilhas (*.xlsx *.ods *.csv *.txt);;Todos os arquivos (*)"), path))
    return;
  sheet::Workbook book;
  try {
    fw::BusyScope busy(this, fw::bkLoading);
    book = sheet::ReadWorkbook(path);
  } catch (const std::exception& e) {
    fw::MensErro(QString::fromUtf8(e.what()) +
                 QStringLiteral(" Nada foi importado; a planilha anterior continua na tela."));
  }
  Carrega(std::move(book), path);
}

void TfrmImportacao::btnColarClick(QObject*) {
  const QString text = QGuiApplication::clipboard()->text();
  if (text.trimmed().isEmpty())
    fw::MensErro(
        QStringLiteral("A área de transferência está vazia: copie as células na "
                       "planilha (com o cabeçalho) e cole de novo."));
  sheet::Workbook book;
  book.format = QStringLiteral("texto");
  book.sheets.append(sheet::ReadPasted(text));
  Carrega(std::move(book), QStringLiteral("(área de transferência)"));
}

void TfrmImportacao::Carrega(sheet::Workbook book, const QString& origem) {
  book_ = std::move(book);
  preenchendo_ = true;
  edtArquivo->setText(origem);
  cbbPlanilha->clear();
  cbbPlanilha->addItem(QStringLiteral("(todas)"));
  for (const sheet::Sheet& s : book_->sheets) cbbPlanilha->addItem(s.name);
  preenchendo_ = false;
  Propoe();
  Desatualiza();
}

void TfrmImportacao::cbbPlanilhaChange(QObject*) {
  if (preenchendo_ || !book_) return;
  Propoe();
  Desatualiza();
}

void TfrmImportacao::Propoe() {
  preenchendo_ = true;
  const bool exportado = tableimport::IsExported(*book_);
  for (QWidget* w : {static_cast<QWidget*>(cbbTabela), static_cast<QWidget*>(cbbChave),
                     static_cast<QWidget*>(cbbMedida), static_cast<QWidget*>(cbbSexo),
                     static_cast<QWidget*>(edtColunas)})
    w->setEnabled(!exportado);
  if (exportado) {
    edtColunas->clear();
    lblMapa->setText(
        QStringLiteral("Arquivo gravado pela exportação do programa: as colunas são "
                       "as das tabelas, nada a mapear."));
    if (const auto c = tableimport::ReadCitation(*book_); c && cbbReferencia->currentIndex() == 0) {
      edtNome->setText(c->name);
      memCitacao->setPlainText(c->citation);
      edtFonte->setText(c->source);
      edtLicenca->setText(c->licence);
    }
    preenchendo_ = false;
    return;
  }
  const sheet::Sheet* s = nullptr;
  if (cbbPlanilha->currentIndex() > 0) s = &book_->sheets[cbbPlanilha->currentIndex() - 1];
  for (const sheet::Sheet& each : book_->sheets)
    if (!s && tableimport::Propose(each).headerLine > 0) s = &each;
  if (!s) s = &book_->sheets.front();
  const tableimport::Mapping m = tableimport::Propose(*s);
  cbbTabela->setCurrentIndex(int(m.table));
  cbbChave->setCurrentIndex(int(m.key));
  cbbMedida->setCurrentIndex(int(m.measure));
  cbbSexo->setCurrentIndex(0);
  QStringList colunas;
  for (const QString& part : m.Text(*s).split(u','))
    if (!part.startsWith(QLatin1String("sexo=")) && !part.startsWith(QLatin1String("medida=")))
      colunas << part;
  edtColunas->setText(colunas.join(u','));
  lblMapa->setText(
      m.headerLine > 0
          ? QStringLiteral("Cabeçalho na linha %1 da planilha %2%3: confira o papel "
                           "de cada coluna.")
                .arg(m.headerLine)
                .arg(s->name, m.sex ? (*m.sex == growth::kMale
                                           ? QStringLiteral(" (sexo masculino, pelo nome)")
                                           : QStringLiteral(" (sexo feminino, pelo nome)"))
                                    : QString())
          : QStringLiteral("Nenhum cabeçalho reconhecido: diga o papel de cada "
                           "coluna (por exemplo A=chave,B=sexo,C=P3)."));
  preenchendo_ = false;
}

void TfrmImportacao::cbbReferenciaChange(QObject* sender) {
  if (preenchendo_) return;
  const bool nova = cbbReferencia->currentIndex() <= 0;
  for (QWidget* w : {static_cast<QWidget*>(edtCodigo), static_cast<QWidget*>(edtNome),
                     static_cast<QWidget*>(memCitacao), static_cast<QWidget*>(edtFonte),
                     static_cast<QWidget*>(edtLicenca)})
    w->setEnabled(nova);
  EntradaChange(sender);
}

void TfrmImportacao::EntradaChange(QObject*) {
  if (preenchendo_) return;
  Desatualiza();
}

void TfrmImportacao::Desatualiza() {
  previa_.reset();
  tblPrevia->clear();
  tblPrevia->setRowCount(0);
  tblPrevia->setColumnCount(0);
  lstOcorrencias->clear();
  lblResumo->setText(book_ ? QStringLiteral("Confira as colunas e a referência e clique em "
                                            "Pré-visualizar.")
                           : QStringLiteral("Abra uma planilha ou cole células copiadas."));
  AtualizaEstado();
}

void TfrmImportacao::AtualizaEstado() {
  Twin(QStringLiteral("sbtImportar"))->setEnabled(previa_.has_value() && !ReadOnlyScreen());
  btnPrevia->setEnabled(book_.has_value());
}

QString TfrmImportacao::Referencia() const {
  if (cbbReferencia->currentIndex() > 0) return cbbReferencia->currentData().toString();
  return fw::Ajusta(edtCodigo->text(), 2);
}

tableimport::Options TfrmImportacao::Opcoes() const {
  tableimport::Options o;
  for (const QString& p : edtPercentis->text().split(
           QRegularExpression(QStringLiteral("[;\\s]+|,(?=\\s*\\d)")), Qt::SkipEmptyParts)) {
    bool ok = false;
    const double v = p.trimmed().toDouble(&ok);
    if (!ok || !(v > 0 && v < 100))
      fw::MensErro(QStringLiteral("Percentil de L, M e S inválido: '%1' (de 0 a 100, separados "
                                  "por vírgula).")
                       .arg(p));
    o.percentiles << v;
  }
  if (tableimport::IsExported(*book_)) return o;
  if (cbbPlanilha->currentIndex() > 0) o.sheet = cbbPlanilha->currentText();
  o.table = Table(cbbTabela->currentIndex());
  o.key = Key(cbbChave->currentIndex());
  QStringList map{edtColunas->text().trimmed()};
  if (o.table == Table::Age)
    map << QStringLiteral("medida=%1")
               .arg(QStringList{QStringLiteral("peso"), QStringLiteral("estatura"),
                                QStringLiteral("pc")}[cbbMedida->currentIndex()]);
  if (cbbSexo->currentIndex() > 0)
    map << (cbbSexo->currentIndex() == 1 ? QStringLiteral("sexo=masculino")
                                         : QStringLiteral("sexo=feminino"));
  map.removeAll(QString());
  o.map = map.join(u',');
  return o;
}

void TfrmImportacao::btnPreviaClick(QObject*) {
  if (!book_) fw::MensErro(QStringLiteral("Abra uma planilha ou cole as células antes."));
  const QString ref = Referencia();
  if (ref.isEmpty() ||
      (cbbReferencia->currentIndex() <= 0 && edtNome->text().trimmed().isEmpty())) {
    (ref.isEmpty() ? static_cast<QWidget*>(edtCodigo) : edtNome)->setFocus();
    fw::MensErro(
        QStringLiteral("Escolha a referência de destino, ou dê o código e o nome da "
                       "referência nova."));
  }
  if (cbbReferencia->currentIndex() <= 0 && cbbReferencia->findData(ref) > 0) {
    edtCodigo->setFocus();
    fw::MensErro(QStringLiteral("A referência '%1' já existe: escolha-a na lista para importar "
                                "nela, ou dê outro código.")
                     .arg(ref));
  }
  fw::BusyScope busy(this, fw::bkLoading);
  Previa p;
  p.reference = ref;
  try {
    p.result = tableimport::ReadBook(*book_, Opcoes());
  } catch (const std::exception& e) {
    fw::MensErro(QString::fromUtf8(e.what()));
  }
  if (!p.result.errors.empty()) {
    lstOcorrencias->clear();
    for (const tableimport::Note& n : p.result.errors)
      lstOcorrencias->addItem(n.Where().isEmpty() ? n.text
                                                  : n.Where() + QStringLiteral(": ") + n.text);
    lblResumo->setText(QStringLiteral("Planilha recusada: %1 erro(s) (abaixo, com a linha e a "
                                      "coluna). Nada será gravado; corrija a planilha ou as "
                                      "colunas.")
                           .arg(p.result.errors.size()));
    AtualizaEstado();
    return;
  }
  const QStringList mensagens = tableimport::CheckPlausibility(p.result);
  services::RdmMasterData master(*netImportacao);
  const fw::DataPacket percs = services::PacketOf(fw::CheckResultServ(master.GetCadPercentil()));
  std::vector<tableimport::KnownPercentile> known;
  for (qsizetype r = 0; r < percs.rowCount(); ++r) {
    const QVariant v = percs.value(r, 2);
    known.push_back({percs.value(r, 0).toString(), percs.value(r, 1).toString(),
                     v.isNull() ? std::nullopt : std::optional<double>(v.toDouble())});
  }
  try {
    p.codes = tableimport::ResolvePercentiles(p.result.percentiles, known, p.created);
  } catch (const std::exception& e) {
    fw::MensErro(QString::fromUtf8(e.what()));
  }
  tableimport::Recode(p.result.rows, p.codes);
  if (cbbReferencia->currentIndex() > 0)
    p.replaced = Substituidas(*netImportacao, ref, p.result.rows);
  previa_ = std::move(p);
  MostraPrevia();
  for (const QString& m : mensagens) lstOcorrencias->addItem(QStringLiteral("Verificação: ") + m);
  AtualizaEstado();
}

void TfrmImportacao::MostraPrevia() {
  const Previa& p = *previa_;
  PreencheTabela(*tblPrevia, p.result, p.codes);
  lstOcorrencias->clear();
  for (const tableimport::Finding& f : p.result.findings)
    lstOcorrencias->addItem(QStringLiteral("Linha %1, coluna %2 (%3, percentil %4, %5): %6")
                                .arg(f.line)
                                .arg(sheet::ColumnName(f.fileColumn), NomeTabela(f.table),
                                     p.codes.at(f.percentile), f.column, f.text));
  const auto& rows = p.result.rows;
  QStringList novos;
  for (const auto& n : p.created) novos << n.code;
  lblResumo->setText(
      QStringLiteral("%1 linha(s) por idade, %2 por altura, %3 NCHS 2000; %4 ponto(s) de L, M e "
                     "S%5; %6 linha(s) existente(s) da referência %7 serão substituídas; %8 "
                     "ocorrência(s) da verificação marcadas nas células.%9")
          .arg(rows.age.size())
          .arg(rows.height.size())
          .arg(rows.nchs.size())
          .arg(rows.lms.size())
          .arg(novos.isEmpty() ? QString()
                               : QStringLiteral("; percentis novos: %1").arg(novos.join(u',')))
          .arg(p.replaced)
          .arg(p.reference)
          .arg(p.result.findings.size())
          .arg(p.result.lmsOnlyLines
                   ? QStringLiteral(" %1 linha(s) só de L, M e S (fora dos meses inteiros).")
                         .arg(p.result.lmsOnlyLines)
                   : QString()));
}

void TfrmImportacao::sbtImportarClick(QObject*) {
  if (!previa_) fw::MensErro(QStringLiteral("Pré-visualize a importação antes de gravá-la."));
  const Previa& p = *previa_;
  const qsizetype total =
      p.result.rows.age.size() + p.result.rows.height.size() + p.result.rows.nchs.size();
  const QString pergunta =
      QStringLiteral(
          "Importar %1 linha(s) na referência %2?%3 Tudo é gravado numa só "
          "transação, que o histórico mostra e pode restaurar.")
          .arg(total)
          .arg(p.reference)
          .arg(p.replaced ? QStringLiteral(" %1 linha(s) existente(s) dos mesmos percentis serão "
                                           "substituídas.")
                                .arg(p.replaced)
                          : QString());
  if (fw::Dialogs().Message(pergunta, fw::MsgType::Confirmation, fw::mbYes | fw::mbNo, 0) !=
      fw::mbYes)
    return;
  std::optional<QStringList> nova;
  if (cbbReferencia->currentIndex() <= 0)
    nova = QStringList{edtNome->text().trimmed(), memCitacao->toPlainText(), edtFonte->text(),
                       edtLicenca->text()};
  const QVariantList args =
      ArgumentosImporta(p.reference, nova, p.created, p.result.rows, p.result.lmsOrigin,
                        QUuid::createUuid().toString(QUuid::WithoutBraces), p.replaced);
  QVariantList feito;
  {
    // The progress of the one long call: the framework's busy indicator.
    fw::BusyScope busy(this, fw::bkSaving);
    feito =
        fw::CheckResultServ(netImportacao->Call(QStringLiteral("ImportaTabela"), args)).toList();
  }
  const QString referencia = p.reference;
  fw::Dialogs().Message(
      QStringLiteral("Importação gravada na referência %1: %2 linha(s) incluída(s), %3 "
                     "substituída(s), %4 ponto(s) de L, M e S. O histórico mostra a importação.")
          .arg(referencia)
          .arg(feito.value(0).toLongLong())
          .arg(feito.value(1).toLongLong())
          .arg(feito.value(2).toLongLong()),
      fw::MsgType::Information, fw::mbOK, 0);
  ListaReferencias();
  cbbReferencia->setCurrentIndex(std::max(0, cbbReferencia->findData(referencia)));
  Desatualiza();
}

}  // namespace trp::importacao
