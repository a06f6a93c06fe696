// The history window of the screen: from the toolbar, the Manutenção menu
// and the context menu of a reference, a percentile or a row; after a
// restore the screen reloads everything it shows.

#include "framework/ui/consiste.h"
#include "framework/ui/guard.h"
#include "screens/historico/historico_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <QKeySequence>
#include <QMenu>

namespace trp::tabrelpeso {

void TfrmTabRelPeso::BuildHistory() {
  // Before the copy and the curves, which end the menu.
  mnuHistorico =
      InsertMenuItem(mnuManutencao, QStringLiteral("mnuHistorico"), QStringLiteral("&Histórico"),
                     int(mnuManutencao->actions().indexOf(mnuCopiar)) - 1);
  mnuHistorico->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  sbtHistorico = AddToolButton(QStringLiteral("sbtHistorico"),
                               QStringLiteral("Histórico das alterações (Ctrl+H)"), mnuHistorico,
                               QStringLiteral("sbtAjuda"));
  BindAction(mnuHistorico, [this] { sbtHistoricoClick(sbtHistorico); });
  // The context menu of each grid: its reference, percentile or row.
  const QList<std::pair<fw::DBGrid*, char>> grades{
      {dbgPadrao, 'R'},         {dbgPercIdade, 'P'},      {dbgPercAltura, 'P'},
      {dbgPercAlturaNCHS, 'P'}, {dbgIdPesAltMasc, 'L'},   {dbgIdPesAltFem, 'L'},
      {dbgPesAlt, 'L'},         {dbgPesAltMascNCHS, 'L'}, {dbgPesAltFemnNCHS, 'L'}};
  for (const auto& [grade, abrangencia] : grades) {
    auto* menu = new QMenu(grade);
    menu->setObjectName(QStringLiteral("popHistorico"));
    QAction* item = menu->addAction(QStringLiteral("Histórico..."));
    item->setObjectName(QStringLiteral("mnuHistoricoContexto"));
    connect(item, &QAction::triggered, this,
            fw::Guarded([this, grade, abrangencia] { AbreHistorico(abrangencia, grade); }));
    grade->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grade, &QWidget::customContextMenuRequested, this,
            fw::Guarded([grade, menu](const QPoint& pos) {
              // The row under the mouse becomes current, as a click makes it.
              const QModelIndex at = grade->indexAt(pos);
              fw::Dataset* ds = grade->DataSet();
              if (at.isValid() && ds && ds->State() == fw::DatasetState::Browse)
                ds->SetRecNo(at.row());
              menu->popup(grade->viewport()->mapToGlobal(pos));
            }));
  }
}

QStringList TfrmTabRelPeso::PosicaoAtual() const {
  QStringList at{pgcPadrao->ActivePage()->objectName(), CurrentReference(),
                 ActiveControl() ? ActiveControl()->objectName() : QString()};
  for (const Tabela* t : {&idade_, &altura_, &nchs_})
    at << t->perc->FieldByName(u"CDPERCENTIL")->AsString() << QString::number(t->rows->RecNo());
  return at;
}

void TfrmTabRelPeso::LembraExclusao(char abrangencia, const QString& tabela,
                                    const QString& referencia, const QString& percentil,
                                    const QString& chave, const QString& descricao) {
  ultimaExclusao_ = {abrangencia, tabela, referencia, percentil, chave, descricao, PosicaoAtual()};
}

void TfrmTabRelPeso::sbtHistoricoClick(QObject*) {
  if (ultimaExclusao_.abrangencia && ultimaExclusao_.depois == PosicaoAtual()) {
    // Nothing moved since the deletion: its history, with the deletion on top.
    historico::Contexto c;
    c.abrangencia = QString(QLatin1Char(ultimaExclusao_.abrangencia));
    c.tabela = ultimaExclusao_.tabela;
    c.referencia = ultimaExclusao_.referencia;
    c.percentil = ultimaExclusao_.percentil;
    c.chave = ultimaExclusao_.chave;
    c.descricao = ultimaExclusao_.descricao;
    MostraHistorico(std::move(c));
    return;
  }
  fw::TabSheet* page = pgcPadrao->ActivePage();
  if (page == tshPadrao) {
    AbreHistorico('R', dbgPadrao);
    return;
  }
  const Tabela& table = TabelaDaPagina(page);
  fw::DBGrid* linhas = VisibleRowsGrid(table);
  const bool naLinha = ActiveControl() == linhas ||
                       table.rowGrids.contains(qobject_cast<fw::DBGrid*>(ActiveControl()));
  if (naLinha && !table.rows->IsEmpty())
    AbreHistorico('L', linhas);
  else
    AbreHistorico('P', table.percGrid);
}

void TfrmTabRelPeso::ColunasDoHistorico(historico::Contexto& c) const {
  for (const Tabela* t : {&idade_, &altura_, &nchs_}) {
    c.nomesTabelas.insert(t->cache, t->page->Caption());
    QStringList nomes;
    QHash<QString, QString> rotulos, formatos;
    for (fw::Field* f : t->rows->Fields()) {
      nomes << f->FieldName();
      rotulos.insert(f->FieldName(), historico::RotuloComSexo(f->FieldName(), f->DisplayLabel()));
      formatos.insert(f->FieldName(), f->DisplayFormat());
    }
    c.colunas.insert(t->cache, nomes);
    c.rotulos.insert(t->cache, rotulos);
    c.formatos.insert(t->cache, formatos);
  }
}

void TfrmTabRelPeso::AbreHistorico(char abrangencia, fw::DBGrid* grid) {
  historico::Contexto c;
  c.abrangencia = QString(QLatin1Char(abrangencia));
  c.referencia = CurrentReference();
  // With no reference left on the screen (all deleted) the history of every
  // one is still there to read and restore from.
  if (c.referencia.isEmpty() && abrangencia != 'R')
    fw::MensErro(QStringLiteral("Escolha uma referência para ver o histórico."));
  c.descricao = c.referencia.isEmpty()
                    ? QStringLiteral("de todas as referências")
                    : QStringLiteral("da referência %1 - %2")
                          .arg(c.referencia, cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString());
  if (abrangencia != 'R') {
    const Tabela* table = &idade_;
    for (const Tabela* t : {&idade_, &altura_, &nchs_})
      if (t->percGrid == grid || t->rowGrids.contains(grid)) table = t;
    c.tabela = table->cache;
    c.percentil = table->perc->FieldByName(u"CDPERCENTIL")->AsString();
    if (c.percentil.isEmpty()) {
      // An empty list: the table's history for the reference, its deletions included.
      c.abrangencia = QStringLiteral("R");
      c.descricao =
          QStringLiteral("da tabela %1, referência %2").arg(table->page->Caption(), c.referencia);
      MostraHistorico(std::move(c));
      return;
    }
    c.descricao = QStringLiteral("do percentil %1 da tabela %2, referência %3")
                      .arg(c.percentil, table->page->Caption(), c.referencia);
    if (abrangencia == 'L') {
      if (table->rows->IsEmpty())
        fw::MensErro(QStringLiteral("Escolha uma linha para ver o histórico."));
      QVariantMap linha;
      for (const QString& k : table->rowKeys) linha.insert(k, table->rows->FieldByName(k)->Value());
      c.chave = historico::ChaveDaLinha(c.tabela, linha);
      c.descricao = QStringLiteral("da linha de %1 do percentil %2 da tabela %3, referência %4")
                        .arg(historico::ChaveLegivel(c.tabela, c.chave), c.percentil,
                             table->page->Caption(), c.referencia);
    }
  }
  MostraHistorico(std::move(c));
}

void TfrmTabRelPeso::MostraHistorico(historico::Contexto c) {
  ColunasDoHistorico(c);
  if (frmHistorico) frmHistorico->close();
  frmHistorico = new historico::TfrmHistorico(*netTabRelPeso, std::move(c), this);
  frmHistorico->setWindowFlag(Qt::Window);
  frmHistorico->AposRestaurar = [this] {
    LoadTables();
    RegraPercentil(TabelaDaPagina(pgcPadrao->ActivePage()));
    dtsPadraoStateChange(dtsPadrao);
  };
  frmHistorico->Create();
  frmHistorico->show();
}

}  // namespace trp::tabrelpeso
