#pragma once
// Search dialogs over datasets, through the dialog seam.

#include "framework/data/datasource.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/find_locate.h"

#include <QLineEdit>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QToolButton>

#include <functional>

namespace fw {

class DBGrid;

// Pick list over the data source's dataset. `titleAndEmpty` is the title, a
// "|" and the text shown when there is no record. With `pickSingle` a dataset
// of exactly one record is picked without asking; with `reportEmpty` an empty
// (or closed) dataset shows the empty-list text as a message. Returns true
// when a record was picked; it is then the dataset's current record.
bool Pesquisar(DataSource* source, const QString& titleAndEmpty, bool pickSingle = false,
               bool reportEmpty = true);

// Lets the user tick several records; on a confirmed choice `list` receives
// the key values joined by "," in the order shown (with `append`, added to
// the codes already in `list`). Returns false and leaves `list` as it was when
// cancelled or when there is no record (the empty-list text is shown).
bool PesquisaLista(DataSource* source, const QString& keyField, const QString& titleAndEmpty,
                   bool append, QString& list);

// The find dialog over `dataset`: the user chooses a column and a value; the
// record found becomes current. Returns whether one was found.
bool Procura(Dataset* dataset, const QString& title = {});
// The same, offering `columns` (in their order, by their labels).
bool Procura(Dataset* dataset, const QList<FindColumn>& columns, const QString& title = {});

// The find columns of grids over one dataset, each paired with a qualifier
// ("Masculino"): grid order, then column order, a field listed once (by the
// first grid showing it). A field missing from some grid of the list is
// labelled with its grid's qualifier, "Peso (Masculino)", so the sexes'
// columns of the same title can be told apart; an empty qualifier adds
// nothing. Null grids are skipped.
QList<FindColumn> FindColumnsOf(const QList<QPair<DBGrid*, QString>>& grids);

// TBtnPesquisa: a search button tied to an edit (`Associate`), a data source,
// a title and an empty-list text. A click raises OnBeforePesq, runs Pesquisar
// and, after a pick, OnAfterPesq, all inside the guard. With OnClick set the
// click runs that instead (for a screen doing its own search).
class TBtnPesquisa : public QToolButton {
  Q_OBJECT
 public:
  explicit TBtnPesquisa(const QString& name, QWidget* parent = nullptr);

  QWidget* Associate() const { return associate_; }
  void SetAssociate(QWidget* widget) { associate_ = widget; }
  fw::DataSource* DataSource() const { return source_; }
  void SetDataSource(fw::DataSource* source) { source_ = source; }
  QString Title() const { return title_; }
  void SetTitle(const QString& title) { title_ = title; }
  QString EmptyText() const { return emptyText_; }
  void SetEmptyText(const QString& text) { emptyText_ = text; }

  // Runs the search as a click does. Returns whether a record was picked.
  // Exceptions of the handlers pass to the caller (an abort in OnBeforePesq
  // stops the search); a click runs it inside the guard.
  bool Execute();

  std::function<void(TBtnPesquisa*)> OnBeforePesq;
  std::function<void(TBtnPesquisa*)> OnAfterPesq;
  std::function<void(TBtnPesquisa*)> OnClick;

 private:
  QPointer<QWidget> associate_;
  QPointer<fw::DataSource> source_;
  QString title_;
  QString emptyText_;
};

}  // namespace fw
