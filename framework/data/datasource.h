#pragma once
// DataSource: binds a dataset to controls and raises a state-change event
// whenever the dataset's state changes, synchronously inside the operation
// that changed it and before that operation's After hook.

#include "framework/data/dataset.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace fw {

class DataSource : public QObject {
  Q_OBJECT
 public:
  explicit DataSource(const QString& name, QObject* parent = nullptr);
  ~DataSource() override;

  Dataset* DataSet() const { return dataset_; }
  void SetDataSet(Dataset* dataset);  // nullptr unbinds
  // Inactive when there is no dataset.
  DatasetState State() const;

  // The state-change handler (sender: this data source). Exceptions it throws
  // propagate out of the dataset operation.
  std::function<void(DataSource*)> OnStateChange;

  // Called by the dataset; runs OnStateChange, then emits stateChanged.
  void NotifyStateChange();

 signals:
  void stateChanged(fw::DataSource* source);
  void dataSetChanged(fw::DataSource* source);  // rebound to another dataset

 private:
  QPointer<Dataset> dataset_;
};

}  // namespace fw
