#include "framework/data/datasource.h"

namespace fw {

DataSource::DataSource(const QString& name, QObject* parent) : QObject(parent) {
  setObjectName(name);
}

DataSource::~DataSource() {
  if (dataset_) dataset_->DetachDataSource(this);
}

void DataSource::SetDataSet(Dataset* dataset) {
  if (dataset_ == dataset) return;
  if (dataset_) dataset_->DetachDataSource(this);
  dataset_ = dataset;
  if (dataset_) dataset_->AttachDataSource(this);
  emit dataSetChanged(this);
}

DatasetState DataSource::State() const {
  return dataset_ ? dataset_->State() : DatasetState::Inactive;
}

void DataSource::NotifyStateChange() {
  if (OnStateChange) OnStateChange(this);
  emit stateChanged(this);
}

}  // namespace fw
