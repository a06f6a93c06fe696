#pragma once
// Private to the grid's own files: the table model, the cell delegate and a
// helper they share. Screens include dbgrid.h only.

#include "framework/ui/dbgrid.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

namespace fw {

inline bool IsNumeric(const Field* field) {
  return field &&
         (field->DataType() == FieldType::Float || field->DataType() == FieldType::Integer);
}

// The table model over a dataset's visible records and a grid's columns.
class DatasetTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit DatasetTableModel(DBGrid* grid);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The dataset or the columns changed. Without `reset` only the dataset is
  // taken and the caller owes a ColumnsChanged.
  void Rebind(bool reset = true);
  void ColumnsChanged();

 private:
  DBGrid* grid_;
  QPointer<Dataset> dataset_;
  int rows_ = 0;
  int markerRow_ = -1;
  QList<QMetaObject::Connection> connections_;
};

// Creates the cell editor and hands every way of typing into it to the grid.
class DBGridDelegate : public QStyledItemDelegate {
 public:
  explicit DBGridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override;
  // The editor is filled once, when it opens; later changes of the record
  // must not overwrite what the user is typing.
  void setEditorData(QWidget*, const QModelIndex&) const override {}
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  DBGrid* grid_;
};

}  // namespace fw
