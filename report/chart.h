#pragma once
// Growth curves as a line chart: one routine draws it on the screen, on the
// printer and in the PDF. Axes with "nice" ticks and grid lines, numbers in
// the Brazilian format, one curve per series labelled at its right end, the
// highlighted series drawn heavier. A series without points draws nothing.

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

#include <limits>
#include <optional>

class QPainter;
class QPaintDevice;

namespace report {

struct ChartSeries {
  QString label;            // "P50"
  QVector<QPointF> points;  // in x order; NaN y leaves a gap
  bool highlighted = false;
  bool dashed = false;   // a compared set of curves, named by the legend's second entry
  bool markers = false;  // a dot at every point: a person's measurements
  QString source{};      // whose curve ("01 - CDC 2000"): named by the hover text
};

// A vertical mark where the data change source or method.
struct ChartBoundary {
  double x = 0;
  QString label;  // "OMS 2006 | OMS 2007"
};

struct ChartData {
  QString title;
  QString xTitle;  // with the unit: "Idade (meses)"
  QString yTitle;  // "Peso (kg)"
  QList<ChartSeries> series;
  // x is an age in months: over 2 years the axis reads in years ("Idade
  // (anos)") with a minor tick each month; up to 2 years, in months.
  bool xMonths = false;
  QList<ChartBoundary> boundaries;
  // The names of the solid and of the dashed curves; empty: no legend.
  QStringList legend;
  // The x range drawn (a zoom); NaN at either end: the data's own. The y
  // axis then fits the points inside it.
  double xFrom = std::numeric_limits<double>::quiet_NaN();
  double xTo = std::numeric_limits<double>::quiet_NaN();

  bool IsEmpty() const;
};

// Where the data land in an area: the plot rectangle and the axis ranges.
struct ChartGeometry {
  QRectF plot;
  double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
  double xStep = 1, yStep = 1;  // tick spacing
  double xMinor = 0;            // minor tick spacing; 0: none
  bool xYears = false;          // x in months, labelled in years

  QPointF Map(const QPointF& value) const;     // value -> device
  QPointF Unmap(const QPointF& device) const;  // device -> value
  bool Shows(double x) const;                  // x inside the drawn range
};

// The geometry of `data` drawn in `area` on `device` (fonts in points).
ChartGeometry LayoutChart(const QRectF& area, const ChartData& data, QPaintDevice* device);

// The painted path of one series (subpaths split at gaps).
QPainterPath SeriesPath(const ChartGeometry& geometry, const ChartSeries& series);

// The name of a curve where it ends in the drawn range: the label's box,
// left of which the curve's last shown point lies. Labels of one column (the
// curves of one kind ending at one x) are kept a line apart; the compared
// curves' column stands beside the first one's when both end together.
struct ChartLabel {
  int series = -1;
  QString text;
  QPointF end;  // the curve's last shown point, in device pixels
  QRectF box;
};
QList<ChartLabel> ChartLabels(const ChartGeometry& geometry, const ChartData& data,
                              QPaintDevice* device);

// Draws the chart in `area`. An empty chart draws its frame and title only.
void DrawChart(QPainter& painter, const QRectF& area, const ChartData& data);

struct ChartHit {
  int series = -1;
  int point = -1;
};
// The point nearest to `device` within `radius` device pixels, if any.
std::optional<ChartHit> NearestPoint(const ChartGeometry& geometry, const ChartData& data,
                                     const QPointF& device, double radius);

// "1,5", "12", "0,25": a tick value in the Brazilian format.
QString FormatTick(double value, double step);

}  // namespace report
