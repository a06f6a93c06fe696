#include "screens/historico/historico_form.h"

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/net/checkresult.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSplitter>
#include <QVBoxLayout>

namespace trp::historico {

namespace {

// The history is read a page at a time: enough for a screenful and more.
constexpr int kPagina = 200;

QString Texto(const QJsonValue& v, const QString& formato) {
  if (v.isDouble()) return fw::FormatFloat(v.toDouble(), formato);
  if (v.isString()) return v.toString();
  return {};
}

// The master tables and their columns, as the registration screen names them.
const QHash<QString, QString>& NomesMestres() {
  static const QHash<QString, QString> nomes{
      {QStringLiteral("REFEBIBL"), QStringLiteral("Referência bibliográfica")},
      {QStringLiteral("PERCENTIL"), QStringLiteral("Percentil")},
      {QStringLiteral("LMSREFERENCIA"), QStringLiteral("L, M e S (avaliação)")}};
  return nomes;
}

const QHash<QString, QHash<QString, QString>>& RotulosMestres() {
  static const QHash<QString, QHash<QString, QString>> rotulos{
      {QStringLiteral("REFEBIBL"),
       {{QStringLiteral("CDREFEBIBL"), QStringLiteral("Código")},
        {QStringLiteral("NMREFEBIBL"), QStringLiteral("Nome")},
        {QStringLiteral("DSCITACAO"), QStringLiteral("Citação")},
        {QStringLiteral("DSFONTE"), QStringLiteral("Fonte")},
        {QStringLiteral("DSLICENCA"), QStringLiteral("Licença")}}},
      {QStringLiteral("PERCENTIL"),
       {{QStringLiteral("CDPERCENTIL"), QStringLiteral("Código")},
        {QStringLiteral("NMPERCENTIL"), QStringLiteral("Nome")},
        {QStringLiteral("VRPERCENTIL"), QStringLiteral("Valor")}}},
      {QStringLiteral("LMSREFERENCIA"),
       {{QStringLiteral("CDREFEBIBL"), QStringLiteral("Referência")},
        {QStringLiteral("pontos"), QStringLiteral("Pontos de L, M e S importados")}}}};
  return rotulos;
}

const QHash<QString, QStringList>& ColunasMestres() {
  static const QHash<QString, QStringList> colunas{
      {QStringLiteral("REFEBIBL"),
       {QStringLiteral("CDREFEBIBL"), QStringLiteral("NMREFEBIBL"), QStringLiteral("DSCITACAO"),
        QStringLiteral("DSFONTE"), QStringLiteral("DSLICENCA")}},
      {QStringLiteral("PERCENTIL"),
       {QStringLiteral("CDPERCENTIL"), QStringLiteral("NMPERCENTIL"),
        QStringLiteral("VRPERCENTIL")}}};
  return colunas;
}

bool TabelaDeLinhas(const QString& tabela) {
  return tabela == u"PESALTIDADE" || tabela == u"PESOALTU" || tabela == u"PEALNCHS2000";
}

QJsonObject Objeto(const QString& json) { return QJsonDocument::fromJson(json.toUtf8()).object(); }

QString Operacao(const QString& tipo, const QString& metodo) {
  if (tipo == u"I")
    return metodo == u"RestauraExclusao" ? QStringLiteral("Incluído (restauração)")
                                         : QStringLiteral("Incluído");
  return tipo == u"E" ? QStringLiteral("Excluído") : QStringLiteral("Alterado");
}

QString Quando(const QString& utc) {
  const QDateTime t = QDateTime::fromString(utc, Qt::ISODateWithMs);
  return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : utc;
}

}  // namespace

QString ChaveLegivel(const QString& tabela, const QString& chave) {
  if (chave.isEmpty()) return {};
  if (tabela == u"PESALTIDADE") {
    const QStringList partes = chave.split(u'/');
    if (partes.size() == 2)
      return QStringLiteral("%1 ano(s) e %2 mês(es)").arg(partes[0], partes[1]);
  }
  return QString(chave).replace(u'.', u',') + QStringLiteral(" cm");
}

QString RotuloComSexo(const QString& campo, const QString& rotulo) {
  // Value columns are VR + four letters + MAS or FEM + the table's suffix.
  const QString sexo = campo.startsWith(u"VR") ? campo.mid(6, 3) : QString();
  const QString limpo = rotulo.simplified();
  if (sexo == u"MAS" && !limpo.contains(u"masc", Qt::CaseInsensitive))
    return limpo + QStringLiteral(", masculino");
  if (sexo == u"FEM" && !limpo.contains(u"fem", Qt::CaseInsensitive))
    return limpo + QStringLiteral(", feminino");
  return limpo;
}

QString AbrangenciaDaLinha(const QVariantMap& registro) {
  const QString metodo = registro.value(QStringLiteral("NMMETODO")).toString();
  // The screen sends one group id with each of the three calls that delete
  // a whole reference; a percentile's deletion is one call without it.
  if (metodo.startsWith(u"Deleta"))
    return registro.value(QStringLiteral("DSGRUPO")).toString().isEmpty() ? QStringLiteral("P")
                                                                          : QStringLiteral("R");
  return QStringLiteral("L");
}

namespace {

QTableWidget* Grade(const QString& nome, const QStringList& titulos, QWidget* parent) {
  auto* grade = new QTableWidget(0, int(titulos.size()), parent);
  grade->setObjectName(nome);
  grade->setHorizontalHeaderLabels(titulos);
  grade->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grade->setSelectionBehavior(QAbstractItemView::SelectRows);
  grade->setSelectionMode(QAbstractItemView::SingleSelection);
  grade->verticalHeader()->setVisible(false);
  grade->horizontalHeader()->setStretchLastSection(true);
  return grade;
}

QPushButton* Botao(const QString& nome, const QString& texto, QWidget* parent) {
  auto* b = new QPushButton(texto, parent);
  b->setObjectName(nome);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

QList<Valor> ComparaValores(const QString& antes, const QString& depois, const QStringList& ordem,
                            const QHash<QString, QString>& formatos) {
  const QJsonObject a = Objeto(antes), d = Objeto(depois);
  QStringList campos;
  for (const QString& c : ordem)
    if (a.contains(c) || d.contains(c)) campos << c;
  QStringList outros = a.keys() + d.keys();
  outros.removeDuplicates();
  outros.sort();
  for (const QString& c : outros)
    if (!campos.contains(c)) campos << c;
  const bool ambos = !a.isEmpty() && !d.isEmpty();
  QList<Valor> out;
  for (const QString& c : campos) {
    const QJsonValue va = a.value(c), vd = d.value(c);
    const QString formato = formatos.value(c);
    out.append({c, Texto(va, formato), Texto(vd, formato), !ambos || va != vd});
  }
  return out;
}

QString ChaveDaLinha(const QString& tabela, const QVariantMap& linha) {
  auto numero = [](const QVariant& v) {
    return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
  };
  if (tabela == u"PESALTIDADE")
    return QString::number(qRound64(linha.value(QStringLiteral("NRIDADEINI")).toDouble())) + u'/' +
           QString::number(qRound64(linha.value(QStringLiteral("NRIDADEFIN")).toDouble()));
  if (tabela == u"PESOALTU") return numero(linha.value(QStringLiteral("VRALTURA")));
  return numero(linha.value(QStringLiteral("VRALTURAN2")));
}

TfrmHistorico::TfrmHistorico(fw::TNetConnection& net, Contexto contexto, QWidget* parent)
    : fw::TfrmDialogBase(QStringLiteral("frmHistorico"), parent),
      net_(net),
      contexto_(std::move(contexto)) {
  for (auto it = NomesMestres().cbegin(); it != NomesMestres().cend(); ++it)
    if (!contexto_.nomesTabelas.contains(it.key())) contexto_.nomesTabelas.insert(it.key(), *it);
  for (auto it = RotulosMestres().cbegin(); it != RotulosMestres().cend(); ++it)
    if (!contexto_.rotulos.contains(it.key())) contexto_.rotulos.insert(it.key(), *it);
  for (auto it = ColunasMestres().cbegin(); it != ColunasMestres().cend(); ++it)
    if (!contexto_.colunas.contains(it.key())) contexto_.colunas.insert(it.key(), *it);
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  SetCaption(QStringLiteral("Histórico ") + contexto_.descricao);
  SetCodTela(QStringLiteral("Qel53611"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153611);
  resize(820, 520);
  auto* layout = static_cast<QVBoxLayout*>(this->layout());
  lblContexto = fw::MakeLabel(QStringLiteral("lblContexto"),
                              QStringLiteral("Histórico ") + contexto_.descricao, this, true);
  layout->addWidget(lblContexto);
  auto* filtros = new QHBoxLayout;
  auto filtro = [&](const QString& nome, const QString& rotulo, const QString& valor, int largura) {
    auto* edit = new QLineEdit(valor, this);
    edit->setObjectName(nome);
    edit->setMaximumWidth(largura);
    filtros->addWidget(fw::MakeLabel(nome + QStringLiteral("Rotulo"), rotulo, this));
    filtros->addWidget(edit);
    connect(edit, &QLineEdit::returnPressed, this, fw::Guarded([this] { btnFiltrarClick(); }));
    return edit;
  };
  edtReferencia = filtro(QStringLiteral("edtReferencia"), QStringLiteral("Referência"),
                         contexto_.referencia, 40);
  edtReferencia->setMaxLength(2);
  edtPercentil =
      filtro(QStringLiteral("edtPercentil"), QStringLiteral("Percentil"), contexto_.percentil, 50);
  edtPercentil->setMaxLength(3);
  edtUsuario =
      filtro(QStringLiteral("edtUsuario"), QStringLiteral("Usuário"), contexto_.usuario, 140);
  edtDesde = filtro(QStringLiteral("edtDesde"), QStringLiteral("Desde"), contexto_.desde, 100);
  edtDesde->setPlaceholderText(QStringLiteral("DD/MM/AAAA"));
  btnFiltrar = Botao(QStringLiteral("btnFiltrar"), QStringLiteral("Filtrar"), this);
  filtros->addWidget(btnFiltrar);
  filtros->addStretch(1);
  layout->addLayout(filtros);
  auto* divisor = new QSplitter(Qt::Vertical, this);
  grdHistorico = Grade(QStringLiteral("grdHistorico"),
                       {QStringLiteral("Quando"), QStringLiteral("Quem"), QStringLiteral("O quê"),
                        QStringLiteral("Tabela"), QStringLiteral("Referência"),
                        QStringLiteral("Percentil"), QStringLiteral("Linha")},
                       divisor);
  grdValores =
      Grade(QStringLiteral("grdValores"),
            {QStringLiteral("Campo"), QStringLiteral("Antes"), QStringLiteral("Depois")}, divisor);
  divisor->addWidget(grdHistorico);
  divisor->addWidget(grdValores);
  layout->addWidget(divisor, 1);
  auto* botoes = new QHBoxLayout;
  btnMaisAntigos = Botao(QStringLiteral("btnMaisAntigos"), QStringLiteral("Mais antigos"), this);
  btnRestaurar = Botao(QStringLiteral("btnRestaurar"), QStringLiteral("Restaurar"), this);
  btnRestaurar->setToolTip(
      QStringLiteral("Põe de volta as linhas removidas pela exclusão selecionada, como estavam"));
  btnAjuda = Botao(QStringLiteral("btnAjuda"), QStringLiteral("Ajuda"), this);
  btnFechar = Botao(QStringLiteral("btnFechar"), QStringLiteral("Fechar"), this);
  botoes->addWidget(btnMaisAntigos);
  botoes->addWidget(btnRestaurar);
  botoes->addStretch(1);
  botoes->addWidget(btnAjuda);
  botoes->addWidget(btnFechar);
  layout->addLayout(botoes);
  layout->addWidget(lblCodTela);
  btnRestaurar->setVisible(false);
  btnRestaurar->setEnabled(false);
  btnMaisAntigos->setEnabled(false);

  connect(btnFiltrar, &QPushButton::clicked, this, fw::Guarded([this] { btnFiltrarClick(); }));
  connect(btnMaisAntigos, &QPushButton::clicked, this,
          fw::Guarded([this] { btnMaisAntigosClick(); }));
  connect(btnRestaurar, &QPushButton::clicked, this, fw::Guarded([this] { btnRestaurarClick(); }));
  connect(btnAjuda, &QPushButton::clicked, this,
          fw::Guarded([this] { fw::Dialogs().ShowHelp(HelpFile(), HelpContext()); }));
  connect(btnFechar, &QPushButton::clicked, this, &QDialog::close);
  connect(grdHistorico, &QTableWidget::itemSelectionChanged, this,
          fw::Guarded([this] { grdHistoricoSelecao(); }));
}

void TfrmHistorico::FormCreate(QObject*) { Carrega(); }

void TfrmHistorico::Carrega() {
  CarregaPagina(0);
  if (grdHistorico->rowCount() > 0) grdHistorico->selectRow(0);
}

void TfrmHistorico::btnFiltrarClick() {
  const QString referencia = edtReferencia->text().trimmed();
  const QString percentil = edtPercentil->text().trimmed();
  if (referencia != contexto_.referencia || percentil != contexto_.percentil) {
    contexto_.referencia = referencia;
    contexto_.percentil = percentil;
    contexto_.chave.clear();
    if (percentil.isEmpty()) contexto_.tabela.clear();
    contexto_.abrangencia = percentil.isEmpty() ? QStringLiteral("R") : QStringLiteral("P");
    contexto_.descricao =
        referencia.isEmpty() ? QStringLiteral("de todas as referências")
        : percentil.isEmpty()
            ? QStringLiteral("da referência %1").arg(referencia)
            : QStringLiteral("do percentil %1 da referência %2").arg(percentil, referencia);
    SetCaption(QStringLiteral("Histórico ") + contexto_.descricao);
    lblContexto->setText(windowTitle());
  }
  contexto_.usuario = edtUsuario->text().trimmed();
  contexto_.desde = edtDesde->text().trimmed();
  Carrega();
}

void TfrmHistorico::btnMaisAntigosClick() {
  if (proximo_ > 0) CarregaPagina(proximo_);
}

void TfrmHistorico::CarregaPagina(qint64 antes) {
  const QVariant resposta = fw::CheckResultServ(
      net_.Call(QStringLiteral("GetHistorico"),
                {contexto_.tabela, contexto_.referencia, contexto_.percentil, contexto_.chave,
                 contexto_.usuario, contexto_.desde, QString(), antes, kPagina}),
      true, 0);
  const QVariantList partes = resposta.toList();
  if (partes.size() != 3 || partes[0].metaType() != QMetaType::fromType<fw::DataPacket>())
    throw fw::Error(
        QStringLiteral("O servidor de aplicação respondeu ao histórico sem as linhas "
                       "esperadas; nada foi mostrado."));
  // Only a good answer replaces what is shown.
  if (antes == 0) {
    grdHistorico->setRowCount(0);
    grdValores->setRowCount(0);
    registros_.clear();
  }
  podeRestaurar_ = partes[1].toBool();
  proximo_ = partes[2].isValid() ? partes[2].toLongLong() : 0;
  btnRestaurar->setVisible(podeRestaurar_);
  btnMaisAntigos->setEnabled(proximo_ > 0);
  Acrescenta(partes[0].value<fw::DataPacket>());
}

void TfrmHistorico::Acrescenta(const fw::DataPacket& pagina) {
  for (qsizetype r = 0; r < pagina.rowCount(); ++r) {
    QVariantMap registro;
    for (int c = 0; c < pagina.fields().size(); ++c)
      registro.insert(pagina.fields()[c].name, pagina.value(r, c));
    const QString tabela = registro.value(QStringLiteral("NMTABELA")).toString();
    const QStringList celulas{
        Quando(registro.value(QStringLiteral("DTAUDITORIA")).toString()),
        registro.value(QStringLiteral("NMUSUARIO")).toString(),
        Operacao(registro.value(QStringLiteral("TPOPERACAO")).toString(),
                 registro.value(QStringLiteral("NMMETODO")).toString()),
        contexto_.nomesTabelas.value(tabela, tabela),
        registro.value(QStringLiteral("CDREFEBIBL")).toString(),
        registro.value(QStringLiteral("CDPERCENTIL")).toString(),
        ChaveLegivel(tabela, registro.value(QStringLiteral("DSCHAVE")).toString())};
    const int linha = grdHistorico->rowCount();
    grdHistorico->insertRow(linha);
    for (int c = 0; c < celulas.size(); ++c)
      grdHistorico->setItem(linha, c, new QTableWidgetItem(celulas[c]));
    registros_.append(registro);
  }
  grdHistorico->resizeColumnsToContents();
}

void TfrmHistorico::grdHistoricoSelecao() {
  const int linha = grdHistorico->currentRow();
  grdValores->setRowCount(0);
  const bool valida = linha >= 0 && linha < registros_.size();
  btnRestaurar->setEnabled(
      valida && podeRestaurar_ &&
      registros_[valida ? linha : 0].value(QStringLiteral("TPOPERACAO")).toString() == u"E" &&
      TabelaDeLinhas(registros_[valida ? linha : 0].value(QStringLiteral("NMTABELA")).toString()));
  if (!valida) return;
  const QVariantMap& r = registros_[linha];
  const QString tabela = r.value(QStringLiteral("NMTABELA")).toString();
  const QList<Valor> valores =
      ComparaValores(r.value(QStringLiteral("DSANTERIOR")).toString(),
                     r.value(QStringLiteral("DSNOVO")).toString(), contexto_.colunas.value(tabela),
                     contexto_.formatos.value(tabela));
  const QHash<QString, QString> rotulos = contexto_.rotulos.value(tabela);
  grdValores->setRowCount(int(valores.size()));
  for (int i = 0; i < valores.size(); ++i) {
    const Valor& v = valores[i];
    const QString campo = rotulos.value(v.campo, v.campo);
    const QStringList celulas{campo, v.antes, v.depois};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(celulas[c]);
      // Changed values in bold on a pale background: seen at a glance.
      if (v.alterado && r.value(QStringLiteral("TPOPERACAO")).toString() == u"A") {
        QFont f = item->font();
        f.setBold(true);
        item->setFont(f);
        item->setBackground(QColor(255, 243, 176));
        item->setToolTip(QStringLiteral("Valor alterado"));
      }
      grdValores->setItem(i, c, item);
    }
  }
  grdValores->resizeColumnsToContents();
}

void TfrmHistorico::btnRestaurarClick() {
  const int linha = grdHistorico->currentRow();
  if (!podeRestaurar_ || linha < 0 || linha >= registros_.size()) return;
  const QVariantMap& r = registros_[linha];
  if (r.value(QStringLiteral("TPOPERACAO")).toString() != u"E" ||
      !TabelaDeLinhas(r.value(QStringLiteral("NMTABELA")).toString()))
    return;
  if (fw::Dialogs().Message(PerguntaRestaurar(r), fw::MsgType::Confirmation, fw::mbYesNo, 0) !=
      fw::mbYes)
    return;
  // What the selected deletion removed decides what comes back, whatever
  // the window was opened on.
  fw::CheckResultServ(
      net_.Call(QStringLiteral("RestauraExclusao"),
                {r.value(QStringLiteral("NRAUDITORIA")).toLongLong(), AbrangenciaDaLinha(r)}),
      true, 0);
  if (AposRestaurar) AposRestaurar();
  Carrega();
  fw::Dialogs().Message(QStringLiteral("Restauração concluída."), fw::MsgType::Information,
                        fw::mbOK, 0);
}

QString TfrmHistorico::PerguntaRestaurar(const QVariantMap& r) const {
  const QString tabela = r.value(QStringLiteral("NMTABELA")).toString();
  const QString referencia = r.value(QStringLiteral("CDREFEBIBL")).toString();
  const QString percentil = r.value(QStringLiteral("CDPERCENTIL")).toString();
  const QString quando = Quando(r.value(QStringLiteral("DTAUDITORIA")).toString());
  const QString abrangencia = AbrangenciaDaLinha(r);
  QString oque;
  if (abrangencia == u"R")
    oque = QStringLiteral("as linhas das três tabelas da referência %1, excluída inteira em %2")
               .arg(referencia, quando);
  else if (abrangencia == u"P")
    oque = QStringLiteral("as linhas do percentil %1 da tabela %2, referência %3, excluídas em %4")
               .arg(percentil, contexto_.nomesTabelas.value(tabela, tabela), referencia, quando);
  else
    return QStringLiteral(
               "Restaurar a linha de %1 do percentil %2 da tabela %3, referência %4, "
               "excluída em %5, exatamente como estava?")
        .arg(ChaveLegivel(tabela, r.value(QStringLiteral("DSCHAVE")).toString()), percentil,
             contexto_.nomesTabelas.value(tabela, tabela), referencia, quando);
  return QStringLiteral("Restaurar %1, exatamente como estavam?").arg(oque);
}

}  // namespace trp::historico
