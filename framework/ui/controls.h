#pragma once
// Controls of the screen framework. Every control carries its name as
// objectName; handlers are std::function members run inside fw::Guard.

#include "framework/data/datasource.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

#include <functional>

namespace fw {

// --- tool buttons and their menu twins
// A toolbar operation is a QAction (the menu item, e.g. `mnuIncluir`) shared
// by a QToolButton (e.g. `sbtIncluir`): the button takes the action's enabled
// state, so setting the menu item enabled sets the button. A click on either
// triggers the action.
QAction* MakeAction(const QString& name, const QString& caption, QObject* parent);
// The button's icon comes from its name (sbtIncluir: fw::ToolIcon("Incluir"))
// unless the twin already has one; the hint becomes the tool tip.
QToolButton* MakeToolButton(const QString& name, QAction* twin, const QString& hint,
                            QWidget* parent);

// --- page control
class TabSheet;

// Pages are TabSheet widgets. OnChange is raised when the user picks a tab
// (mouse or keyboard), never by SetActivePage from code.
class PageControl : public QTabWidget {
  Q_OBJECT
 public:
  explicit PageControl(const QString& name, QWidget* parent = nullptr);

  TabSheet* AddPage(const QString& name, const QString& caption);
  TabSheet* Page(int index) const;
  TabSheet* PageByName(const QString& name) const;  // nullptr when absent
  int PageCount() const { return count(); }
  TabSheet* ActivePage() const;
  // Makes a page current without raising OnChange (works on a disabled
  // page). A page of another control is ignored; an unknown name throws
  // fw::Error naming it.
  void SetActivePage(TabSheet* page);
  void SetActivePage(const QString& name);

  // Raised inside the guard: an exception is shown, the page stays changed.
  std::function<void(PageControl*)> OnChange;

 private:
  void CurrentChanged(int index);
  int settingFromCode_ = 0;
};

// A page of a PageControl. Disabling the sheet greys and locks its tab.
class TabSheet : public QWidget {
  Q_OBJECT
 public:
  explicit TabSheet(const QString& name, QWidget* parent = nullptr);
  QString Caption() const;
  void SetCaption(const QString& caption);
  PageControl* PageControlOf() const;
  int PageIndex() const;

 protected:
  void changeEvent(QEvent* event) override;
};

// --- notebook
// Pages by name (objectName of each page widget).
class Notebook : public QStackedWidget {
  Q_OBJECT
 public:
  explicit Notebook(const QString& name, QWidget* parent = nullptr);
  QWidget* AddPage(const QString& pageName);
  QWidget* Page(const QString& pageName) const;  // nullptr when absent
  // Throws fw::Error when no page has that name.
  void SetActivePage(const QString& pageName);
  QString ActivePage() const;
};

// --- combo box
// OnChange is raised by the user's choice only, not by SetItemIndex.
class ComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit ComboBox(const QString& name, QWidget* parent = nullptr);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index);
  std::function<void(ComboBox*)> OnChange;
};

// --- panel and label
class Panel : public QFrame {
  Q_OBJECT
 public:
  explicit Panel(const QString& name, QWidget* parent = nullptr);
};

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent, bool bold = false);

// --- record navigator
// First, prior, next, last over a data source's dataset; rebindable. The
// buttons are `nbFirst`, `nbPrior`, `nbNext`, `nbLast`; a move the dataset
// refuses is shown by the guard.
class DBNavigator : public QWidget {
  Q_OBJECT
 public:
  explicit DBNavigator(const QString& name, QWidget* parent = nullptr);
  fw::DataSource* DataSource() const { return source_; }
  void SetDataSource(fw::DataSource* source);
  QToolButton* Button(const QString& name) const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void Rebind();
  void UpdateButtons();
  QPointer<fw::DataSource> source_;
  QList<QMetaObject::Connection> connections_;
  QList<QMetaObject::Connection> datasetConnections_;
  QToolButton* first_;
  QToolButton* prior_;
  QToolButton* next_;
  QToolButton* last_;
};

// --- read-only data text ---------------------------------------------------------------------
// Shows the display text of one field of a data source's current record;
// empty when unbound, inactive or without the field.
class DBText : public QLabel {
  Q_OBJECT
 public:
  explicit DBText(const QString& name, QWidget* parent = nullptr);
  fw::DataSource* DataSource() const { return source_; }
  void SetDataSource(fw::DataSource* source);
  QString DataField() const { return fieldName_; }
  void SetDataField(const QString& fieldName);
  // A field shown before the data field, as "code - name" (empty: none).
  void SetCodeField(const QString& fieldName);

 private:
  void Rebind();
  void Refresh();
  QPointer<fw::DataSource> source_;
  QString fieldName_;
  QString codeName_;
  QList<QMetaObject::Connection> connections_;
  QList<QMetaObject::Connection> datasetConnections_;
};

// --- focus
// The control that stands for `widget` when it has the focus: a grid's cell
// editor counts as its grid; otherwise the widget itself.
QWidget* ControlOf(QWidget* widget);

}  // namespace fw
