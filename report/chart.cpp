#include "report/chart.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace report {

namespace {

constexpr double kFontPt = 7.5;
constexpr double kTitlePt = 9;

double NiceStep(double span, int targetTicks) {
  if (!(span > 0)) return 1;
  const double raw = span / targetTicks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double fraction = raw / magnitude;
  const double nice = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 2.5 ? 2.5 : fraction <= 5 ? 5 : 10;
  return nice * magnitude;
}

double Pixels(QPaintDevice* device, double points) {
  return points / 72.0 * (device ? device->logicalDpiY() : 96);
}

QFont FontOf(QPaintDevice* device, double points, bool bold = false) {
  QFont font;
  font.setPointSizeF(points);
  font.setBold(bold);
  (void)device;
  return font;
}

struct Range {
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  void Add(double v) {
    if (std::isnan(v)) return;
    min = std::min(min, v);
    max = std::max(max, v);
  }
  bool Valid() const { return min <= max; }
};

// A dashed grey line at each boundary, its label on a white ground at the top.
void DrawBoundaries(QPainter& painter, const ChartGeometry& g, const ChartData& data,
                    const QFontMetricsF& metrics, double px) {
  for (const ChartBoundary& b : data.boundaries) {
    if (b.x < g.xMin || b.x > g.xMax) continue;
    const QPointF top = g.Map({b.x, g.yMax}), bottom = g.Map({b.x, g.yMin});
    painter.setPen(QPen(QColor(0x70, 0x70, 0x70), 0.8 * px, Qt::DashDotLine));
    painter.drawLine(top, bottom);
    const double w = metrics.horizontalAdvance(b.label) + metrics.height() * 0.6;
    QRectF box(top.x() - w / 2, top.y() + metrics.height() * 0.2, w, metrics.height() * 1.1);
    box.moveLeft(std::clamp(box.left(), g.plot.left(), g.plot.right() - w));
    painter.fillRect(box, Qt::white);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawText(box, Qt::AlignCenter, b.label);
  }
}

// Two sample lines with their names, at the plot's top left.
void DrawLegend(QPainter& painter, const ChartGeometry& g, const ChartData& data,
                const QFontMetricsF& metrics, double px) {
  if (data.legend.isEmpty()) return;
  const double line = metrics.height() * 1.2;
  const double sample = metrics.height() * 2.2;
  double width = 0;
  for (const QString& name : data.legend) width = std::max(width, metrics.horizontalAdvance(name));
  const QRectF box(g.plot.left() + line * 0.4, g.plot.top() + line * 1.6,
                   sample + width + line * 0.9, line * data.legend.size() + line * 0.3);
  painter.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 0.5 * px));
  painter.setBrush(Qt::white);
  painter.drawRect(box);
  painter.setBrush(Qt::NoBrush);
  for (int i = 0; i < data.legend.size(); ++i) {
    const double y = box.top() + line * (i + 0.65);
    const bool dashed = i > 0;
    painter.setPen(QPen(dashed ? QColor(0x2E, 0x7D, 0x32) : QColor(0x1F, 0x4E, 0x8C), 1.2 * px,
                        dashed ? Qt::DashLine : Qt::SolidLine));
    painter.drawLine(QPointF(box.left() + line * 0.3, y),
                     QPointF(box.left() + line * 0.3 + sample, y));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(box.left() + line * 0.6 + sample, y + metrics.ascent() / 2.5),
                     data.legend[i]);
  }
}

}  // namespace

bool ChartData::IsEmpty() const {
  for (const ChartSeries& s : series)
    for (const QPointF& p : s.points)
      if (!std::isnan(p.y())) return false;
  return true;
}

QString FormatTick(double value, double step) {
  int decimals = 0;
  for (double s = step; decimals < 4 && std::fabs(s - std::round(s)) > 1e-9; s *= 10) ++decimals;
  if (std::fabs(value) < step * 1e-9) value = 0;
  return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', decimals);
}

QPointF ChartGeometry::Map(const QPointF& v) const {
  const double x = plot.left() + (v.x() - xMin) / (xMax - xMin) * plot.width();
  const double y = plot.bottom() - (v.y() - yMin) / (yMax - yMin) * plot.height();
  return {x, y};
}

QPointF ChartGeometry::Unmap(const QPointF& d) const {
  return {xMin + (d.x() - plot.left()) / plot.width() * (xMax - xMin),
          yMin + (plot.bottom() - d.y()) / plot.height() * (yMax - yMin)};
}

ChartGeometry LayoutChart(const QRectF& area, const ChartData& data, QPaintDevice* device) {
  Range xs, ys;
  for (const ChartSeries& s : data.series)
    for (const QPointF& p : s.points) {
      if (std::isnan(p.y())) continue;
      xs.Add(p.x());
      ys.Add(p.y());
    }
  ChartGeometry g;
  if (xs.Valid() && data.xMonths) {
    // Clinicians read growth charts in years; the first two in months.
    g.xYears = xs.max - xs.min > 24;
    const double span = xs.max - xs.min;
    g.xStep = g.xYears ? (span > 240 ? 24 : 12) : span > 12 ? 3 : 1;
    g.xMinor = g.xYears ? 1 : 0;
    g.xMin = std::floor(xs.min / g.xStep) * g.xStep;
    g.xMax = std::ceil(xs.max / g.xStep) * g.xStep;
    if (g.xMax <= g.xMin) g.xMax = g.xMin + g.xStep;
  } else if (xs.Valid()) {
    g.xStep = NiceStep(xs.max - xs.min, 10);
    g.xMin = std::floor(xs.min / g.xStep) * g.xStep;
    g.xMax = std::ceil(xs.max / g.xStep) * g.xStep;
    if (g.xMax <= g.xMin) g.xMax = g.xMin + g.xStep;
  }
  if (ys.Valid()) {
    g.yStep = NiceStep(ys.max - ys.min, 8);
    g.yMin = std::floor(ys.min / g.yStep) * g.yStep;
    g.yMax = std::ceil(ys.max / g.yStep) * g.yStep;
    if (g.yMax <= g.yMin) g.yMax = g.yMin + g.yStep;
  }
  const QFontMetricsF metrics(FontOf(device, kFontPt), device);
  const double line = metrics.height();
  const double titleHeight = Pixels(device, kTitlePt) * 1.8;
  double tickWidth = 0;
  for (double v = g.yMin; v <= g.yMax + g.yStep / 2; v += g.yStep)
    tickWidth = std::max(tickWidth, metrics.horizontalAdvance(FormatTick(v, g.yStep)));
  const double left = line * 1.6 + tickWidth + line * 0.5;
  const double right = metrics.horizontalAdvance(QStringLiteral("P97 ")) + line * 0.5;
  const double bottom = line * 2.8;
  g.plot = QRectF(area.left() + left, area.top() + titleHeight, area.width() - left - right,
                  area.height() - titleHeight - bottom);
  return g;
}

QPainterPath SeriesPath(const ChartGeometry& geometry, const ChartSeries& series) {
  QPainterPath path;
  bool open = false;
  for (const QPointF& p : series.points) {
    if (std::isnan(p.y())) {
      open = false;
      continue;
    }
    const QPointF d = geometry.Map(p);
    if (open) path.lineTo(d);
    else path.moveTo(d);
    open = true;
  }
  return path;
}

void DrawChart(QPainter& painter, const QRectF& area, const ChartData& data) {
  QPaintDevice* device = painter.device();
  const ChartGeometry g = LayoutChart(area, data, device);
  const double px = Pixels(device, 1);  // one point in device pixels
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QFont font = FontOf(device, kFontPt);
  const QFontMetricsF metrics(font, device);

  painter.setPen(Qt::black);
  painter.setFont(FontOf(device, kTitlePt, true));
  painter.drawText(QRectF(area.left(), area.top(), area.width(), Pixels(device, kTitlePt) * 1.6),
                   Qt::AlignHCenter | Qt::AlignVCenter, data.title);
  painter.setFont(font);

  // Grid and ticks.
  const QPen grid(QColor(0xD8, 0xD8, 0xD8), 0.5 * px);
  const QPen axis(QColor(0x40, 0x40, 0x40), 0.8 * px);
  if (!data.IsEmpty()) {
    for (double x = g.xMin; x <= g.xMax + g.xStep / 2; x += g.xStep) {
      const QPointF top = g.Map({x, g.yMax}), bottom = g.Map({x, g.yMin});
      painter.setPen(grid);
      painter.drawLine(top, bottom);
      painter.setPen(Qt::black);
      const QString text = g.xYears ? FormatTick(x / 12, 1) : FormatTick(x, g.xStep);
      const double w = metrics.horizontalAdvance(text);
      painter.drawText(QPointF(bottom.x() - w / 2, bottom.y() + metrics.height()), text);
    }
    // Minor ticks inside the bottom edge, while they stay apart.
    const double minorPx = g.xMinor > 0 ? g.plot.width() * g.xMinor / (g.xMax - g.xMin) : 0;
    if (minorPx >= 2 * px) {
      painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 0.5 * px));
      for (double x = g.xMin; x <= g.xMax + g.xMinor / 2; x += g.xMinor) {
        const QPointF bottom = g.Map({x, g.yMin});
        painter.drawLine(bottom, bottom - QPointF(0, 2.5 * px));
      }
    }
    for (double y = g.yMin; y <= g.yMax + g.yStep / 2; y += g.yStep) {
      const QPointF left = g.Map({g.xMin, y}), right = g.Map({g.xMax, y});
      painter.setPen(grid);
      painter.drawLine(left, right);
      painter.setPen(Qt::black);
      const QString text = FormatTick(y, g.yStep);
      const double w = metrics.horizontalAdvance(text);
      painter.drawText(QPointF(left.x() - w - metrics.height() * 0.3,
                               left.y() + metrics.ascent() / 2.5),
                       text);
    }
  }
  painter.setPen(axis);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(g.plot);

  // Axis titles.
  painter.setPen(Qt::black);
  QString xTitle = data.xTitle;
  if (g.xYears) xTitle.replace(QStringLiteral("(meses)"), QStringLiteral("(anos)"));
  painter.drawText(QRectF(g.plot.left(), g.plot.bottom() + metrics.height() * 1.3, g.plot.width(),
                          metrics.height() * 1.4),
                   Qt::AlignHCenter | Qt::AlignVCenter, xTitle);
  painter.save();
  painter.translate(area.left() + metrics.height() * 0.9, g.plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-g.plot.height() / 2, -metrics.height(), g.plot.height(),
                          metrics.height() * 1.4),
                   Qt::AlignHCenter | Qt::AlignVCenter, data.yTitle);
  painter.restore();

  // Curves, the highlighted one last (on top), then their labels.
  struct Label {
    QString text;
    double y;
    double x;
  };
  QList<Label> labels;
  auto drawSeries = [&](const ChartSeries& s) {
    const QPainterPath path = SeriesPath(g, s);
    const QColor color = s.highlighted ? QColor(0xB0, 0x1E, 0x1E)
                         : s.dashed    ? QColor(0x2E, 0x7D, 0x32)
                                       : QColor(0x1F, 0x4E, 0x8C);
    painter.setPen(
        QPen(color, (s.highlighted ? 1.8 : 0.8) * px, s.dashed ? Qt::DashLine : Qt::SolidLine));
    painter.drawPath(path);
    // A point without neighbours has no line through it: a dot shows it.
    for (int i = 0; i < s.points.size(); ++i) {
      if (std::isnan(s.points[i].y())) continue;
      const bool before = i > 0 && !std::isnan(s.points[i - 1].y());
      const bool after = i + 1 < s.points.size() && !std::isnan(s.points[i + 1].y());
      if ((before || after) && !s.markers) continue;
      painter.setBrush(color);
      painter.drawEllipse(g.Map(s.points[i]), (s.markers ? 2.5 : 1.5) * px, (s.markers ? 2.5 : 1.5) * px);
      painter.setBrush(Qt::NoBrush);
    }
    // The compared curves are named by the legend, not at their ends; a
    // person's points are not a curve to name.
    for (auto it = s.points.crbegin(); !s.dashed && !s.markers && it != s.points.crend(); ++it)
      if (!std::isnan(it->y())) {
        const QPointF end = g.Map(*it);
        labels << Label{s.label, end.y(), end.x()};
        break;
      }
  };
  painter.setClipRect(g.plot.adjusted(-2 * px, -2 * px, 2 * px, 2 * px));
  for (const ChartSeries& s : data.series)
    if (!s.highlighted) drawSeries(s);
  for (const ChartSeries& s : data.series)
    if (s.highlighted) drawSeries(s);
  DrawBoundaries(painter, g, data, metrics, px);
  painter.setClipping(false);
  DrawLegend(painter, g, data, metrics, px);
  // Labels kept apart by at least a line, in their curves' order.
  std::sort(labels.begin(), labels.end(), [](const Label& a, const Label& b) { return a.y < b.y; });
  const double gap = metrics.height() * 0.95;
  for (int i = 1; i < labels.size(); ++i)
    labels[i].y = std::max(labels[i].y, labels[i - 1].y + gap);
  painter.setPen(Qt::black);
  for (const Label& l : labels)
    painter.drawText(QPointF(g.plot.right() + metrics.height() * 0.3, l.y + metrics.ascent() / 2.5),
                     l.text);
  painter.restore();
}

std::optional<ChartHit> NearestPoint(const ChartGeometry& geometry, const ChartData& data,
                                     const QPointF& device, double radius) {
  std::optional<ChartHit> best;
  double bestDistance = radius * radius;
  for (int s = 0; s < data.series.size(); ++s) {
    const QVector<QPointF>& points = data.series[s].points;
    for (int p = 0; p < points.size(); ++p) {
      if (std::isnan(points[p].y())) continue;
      const QPointF d = geometry.Map(points[p]) - device;
      const double distance = d.x() * d.x() + d.y() * d.y();
      if (distance <= bestDistance) {
        bestDistance = distance;
        best = ChartHit{s, p};
      }
    }
  }
  return best;
}

}  // namespace report
