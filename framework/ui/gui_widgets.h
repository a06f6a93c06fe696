#pragma once
// The windows behind fw::GuiDialogs, usable on their own (and by tests):
// the pick list (one record or several ticked), the find dialog, the busy
// window and the help window.

#include "framework/ui/dialogs.h"

#include <QDialog>
#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTextBrowser;

namespace fw {

// Lists the dataset's visible records (`grdLista`) under a filter edit
// (`edtFiltro`): typing filters on every column, Up/Down move, Enter picks,
// Esc cancels, a double click picks. With `multi` each row has a tick box
// and Enter or OK confirms the ticks (Space ticks the current row).
class PickListDialog : public QDialog {
  Q_OBJECT
 public:
  PickListDialog(const PickRequest& request, bool multi, const QList<int>& ticked,
                 QWidget* parent = nullptr);

  int PickedRow() const;          // the dataset row picked, -1 when none
  QList<int> TickedRows() const;  // ascending dataset rows
  QLineEdit* FilterEdit() const { return filter_; }
  QTableView* Table() const { return table_; }
  int VisibleCount() const;  // rows left by the filter

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  void Pick();
  void MoveSelection(int delta);
  bool multi_;
  QLineEdit* filter_;
  QTableView* table_;
  QStandardItemModel* model_;
  QSortFilterProxyModel* proxy_;
  int picked_ = -1;
};

// Chooses a column (`cbbCampo`, the given columns in their order, or every
// visible field) and a value (`edtValor`); `Procurar` locates the record as
// LocateForFind does and closes; when nothing is found `lblMensagem` says so
// and the dialog stays.
class FindDialog : public QDialog {
  Q_OBJECT
 public:
  FindDialog(Dataset* dataset, const QString& title, QWidget* parent = nullptr);
  FindDialog(Dataset* dataset, const QString& title, const QList<FindColumn>& columns,
             QWidget* parent = nullptr);
  bool Search();  // what the Procurar button does; true when found
  QComboBox* FieldCombo() const { return fields_; }
  QLineEdit* ValueEdit() const { return value_; }
  QLabel* MessageLabel() const { return message_; }

 private:
  Dataset* dataset_;
  QComboBox* fields_;
  QLineEdit* value_;
  QLabel* message_;
};

// Small frameless window with a running bar and a caption per kind.
class BusyWindow : public QWidget {
  Q_OBJECT
 public:
  explicit BusyWindow(QWidget* over);
  void SetKind(int kind);
  QString Caption() const;
  void ShowOver(QWidget* window);

 private:
  QLabel* caption_;
  QProgressBar* bar_;
};

// Shows a help page: HTML files named after the context ("11153600.html") in
// the host's help folder (or a folder named after the help file inside it).
class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  HelpWindow(const QString& helpFile, int context, QWidget* parent = nullptr);
  bool Found() const { return found_; }
  QTextBrowser* Browser() const { return browser_; }
  static QString PagePath(const QString& helpFile, int context);  // empty when absent

 private:
  QTextBrowser* browser_;
  bool found_ = false;
};

}  // namespace fw
