#pragma once
// A chart on screen: draws ChartData with the printer's routine and shows
// the key and value of the point under the mouse.

#include "report/chart.h"

#include <QWidget>

#include <functional>

namespace report {

class ChartView : public QWidget {
  Q_OBJECT
 public:
  explicit ChartView(const QString& name, QWidget* parent = nullptr);

  void SetData(ChartData data);
  const ChartData& Data() const { return data_; }
  // The geometry of the last paint (or of the current size).
  ChartGeometry Geometry() const;
  // The hover text of a point; the default gives "label: x; y".
  std::function<QString(const ChartSeries&, const QPointF&)> Describe;
  // The text shown for the point under `position` (empty: none).
  QString TextAt(const QPointF& position) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  ChartData data_;
};

}  // namespace report
