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
  const double nice = fraction <= 1     ? 1
                      : fraction <= 2   ? 2
                      : fraction <= 2.5 ? 2.5
                      : fraction <= 5   ? 5
                                        : 10;
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

// The multiples of `step` from `min` to `max`, computed, not accumulated.
QList<double> Ticks(double min, double max, double step) {
  QList<double> ticks;
  if (!(step > 0) || !(max >= min)) return ticks;
  const double first = std::ceil(min / step - 1e-9) * step;
  for (int i = 0; i < 10000; ++i) {
    const double v = first + i * step;
    if (v > max + step * 1e-6) break;
    ticks << v;
  }
  return ticks;
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

bool ChartGeometry::Shows(double x) const {
  const double slack = (xMax - xMin) * 1e-9;
  return x >= xMin - slack && x <= xMax + slack;
}

QPointF ChartGeometry::Unmap(const QPointF& d) const {
  return {xMin + (d.x() - plot.left()) / plot.width() * (xMax - xMin),
          yMin + (plot.bottom() - d.y()) / plot.height() * (yMax - yMin)};
}

ChartGeometry LayoutChart(const QRectF& area, const ChartData& data, QPaintDevice* device) {
  Range xs;
  for (const ChartSeries& s : data.series)
    for (const QPointF& p : s.points)
      if (!std::isnan(p.y())) xs.Add(p.x());
  // A zoom replaces either end; the y axis fits what is inside it.
  const bool zoom = !std::isnan(data.xFrom) || !std::isnan(data.xTo);
  double from = std::isnan(data.xFrom) ? xs.min : data.xFrom;
  double to = std::isnan(data.xTo) ? xs.max : data.xTo;
  if (from > to) std::swap(from, to);
  Range ys;
  for (const ChartSeries& s : data.series)
    for (const QPointF& p : s.points)
      if (!std::isnan(p.y()) && p.x() >= from && p.x() <= to) ys.Add(p.y());
  ChartGeometry g;
  const bool xValid = from <= to && std::isfinite(from) && std::isfinite(to);
  if (xValid) {
    const double span = to - from;
    if (data.xMonths) {
      // Clinicians read growth charts in years; the first two in months.
      g.xYears = span > 24;
      g.xStep = g.xYears ? (span > 240 ? 24 : 12) : span > 12 ? 3 : 1;
      g.xMinor = g.xYears ? 1 : 0;
    } else {
      g.xStep = NiceStep(span, 10);
    }
    g.xMin = zoom ? from : std::floor(from / g.xStep) * g.xStep;
    g.xMax = zoom ? to : std::ceil(to / g.xStep) * g.xStep;
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
  for (double v : Ticks(g.yMin, g.yMax, g.yStep))
    tickWidth = std::max(tickWidth, metrics.horizontalAdvance(FormatTick(v, g.yStep)));
  const double left = line * 1.6 + tickWidth + line * 0.5;
  // Room for the curves' names: a second column when a compared set is named
  // beside the first.
  double solid = metrics.horizontalAdvance(QStringLiteral("P97")), dashed = 0;
  for (const ChartSeries& s : data.series)
    if (!s.markers)
      (s.dashed ? dashed : solid) =
          std::max(s.dashed ? dashed : solid, metrics.horizontalAdvance(s.label));
  const double right = line * 0.8 + solid + (dashed > 0 ? dashed + line * 0.4 : 0);
  const double bottom = line * 2.8;
  g.plot = QRectF(area.left() + left, area.top() + titleHeight, area.width() - left - right,
                  area.height() - titleHeight - bottom);
  return g;
}

QList<ChartLabel> ChartLabels(const ChartGeometry& g, const ChartData& data, QPaintDevice* device) {
  const QFontMetricsF metrics(FontOf(device, kFontPt), device);
  const double line = metrics.height();
  QList<ChartLabel> labels;
  // A person's points are not a curve to name.
  for (int i = 0; i < data.series.size(); ++i) {
    const ChartSeries& s = data.series[i];
    if (s.markers || s.label.isEmpty()) continue;
    for (auto it = s.points.crbegin(); it != s.points.crend(); ++it)
      if (!std::isnan(it->y()) && g.Shows(it->x())) {
        const QPointF end = g.Map(*it);
        labels << ChartLabel{i, s.label, end,
                             QRectF(end.x() + line * 0.3, end.y() - line / 2,
                                    metrics.horizontalAdvance(s.label), line)};
        break;
      }
  }
  // Columns: the labels of one kind (solid or dashed) whose curves end at one x.
  auto dashed = [&](const ChartLabel& l) { return data.series[l.series].dashed; };
  std::sort(labels.begin(), labels.end(), [&](const ChartLabel& a, const ChartLabel& b) {
    if (dashed(a) != dashed(b)) return !dashed(a);
    return a.end.x() < b.end.x() - line / 2 ||
           (std::fabs(a.end.x() - b.end.x()) < line / 2 && a.end.y() < b.end.y());
  });
  struct Column {
    qsizetype first, last;  // [first, last)
    bool dashed;
    double left, right;
  };
  QList<Column> columns;
  for (qsizetype i = 0; i < labels.size(); ++i) {
    const ChartLabel& l = labels[i];
    if (columns.isEmpty() || columns.last().dashed != dashed(l) ||
        std::fabs(labels[columns.last().first].end.x() - l.end.x()) >= line / 2)
      columns << Column{i, i, dashed(l), l.box.left(), l.box.right()};
    Column& c = columns.last();
    c.last = i + 1;
    c.right = std::max(c.right, l.box.right());
  }
  // The compared set's column steps aside from a first one it would cover.
  for (Column& d : columns) {
    if (!d.dashed) continue;
    for (const Column& c : columns)
      if (!c.dashed && d.left < c.right + line * 0.4 && d.right > c.left) {
        const double shift = c.right + line * 0.4 - d.left;
        for (qsizetype i = d.first; i < d.last; ++i) labels[i].box.translate(shift, 0);
        d.left += shift;
        d.right += shift;
      }
  }
  // A line apart, in their curves' order, inside the plot's height.
  const double gap = line;
  for (const Column& c : columns) {
    for (qsizetype i = c.first + 1; i < c.last; ++i)
      if (labels[i].box.center().y() < labels[i - 1].box.center().y() + gap)
        labels[i].box.moveTop(labels[i - 1].box.top() + gap);
    if (c.last > c.first && labels[c.last - 1].box.bottom() > g.plot.bottom() + line / 2)
      labels[c.last - 1].box.moveBottom(g.plot.bottom() + line / 2);
    for (qsizetype i = c.last - 2; i >= c.first; --i)
      if (labels[i].box.top() > labels[i + 1].box.top() - gap)
        labels[i].box.moveTop(labels[i + 1].box.top() - gap);
  }
  std::sort(labels.begin(), labels.end(),
            [](const ChartLabel& a, const ChartLabel& b) { return a.series < b.series; });
  return labels;
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
    if (open)
      path.lineTo(d);
    else
      path.moveTo(d);
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
    for (double x : Ticks(g.xMin, g.xMax, g.xStep)) {
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
      for (double x : Ticks(g.xMin, g.xMax, g.xMinor)) {
        const QPointF bottom = g.Map({x, g.yMin});
        painter.drawLine(bottom, bottom - QPointF(0, 2.5 * px));
      }
    }
    for (double y : Ticks(g.yMin, g.yMax, g.yStep)) {
      const QPointF left = g.Map({g.xMin, y}), right = g.Map({g.xMax, y});
      painter.setPen(grid);
      painter.drawLine(left, right);
      painter.setPen(Qt::black);
      const QString text = FormatTick(y, g.yStep);
      const double w = metrics.horizontalAdvance(text);
      painter.drawText(
          QPointF(left.x() - w - metrics.height() * 0.3, left.y() + metrics.ascent() / 2.5), text);
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
  painter.drawText(
      QRectF(-g.plot.height() / 2, -metrics.height(), g.plot.height(), metrics.height() * 1.4),
      Qt::AlignHCenter | Qt::AlignVCenter, data.yTitle);
  painter.restore();

  // Curves, the highlighted one last (on top), then their names.
  auto colorOf = [](const ChartSeries& s) {
    return s.highlighted ? QColor(0xB0, 0x1E, 0x1E)
           : s.dashed    ? QColor(0x2E, 0x7D, 0x32)
                         : QColor(0x1F, 0x4E, 0x8C);
  };
  auto drawSeries = [&](const ChartSeries& s) {
    const QPainterPath path = SeriesPath(g, s);
    const QColor color = colorOf(s);
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
      painter.drawEllipse(g.Map(s.points[i]), (s.markers ? 2.5 : 1.5) * px,
                          (s.markers ? 2.5 : 1.5) * px);
      painter.setBrush(Qt::NoBrush);
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
  // A name inside the plot (a curve ending before the axis does) on a white
  // ground, the compared set's in its curves' colour.
  for (const ChartLabel& l : ChartLabels(g, data, device)) {
    const ChartSeries& s = data.series[l.series];
    if (l.box.left() < g.plot.right())
      painter.fillRect(l.box.adjusted(-px, 0, px, 0), QColor(255, 255, 255, 220));
    painter.setPen(s.dashed ? colorOf(s) : QColor(Qt::black));
    painter.drawText(l.box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, l.text);
  }
  painter.restore();
}

std::optional<ChartHit> NearestPoint(const ChartGeometry& geometry, const ChartData& data,
                                     const QPointF& device, double radius) {
  std::optional<ChartHit> best;
  double bestDistance = radius * radius;
  for (int s = 0; s < data.series.size(); ++s) {
    const QVector<QPointF>& points = data.series[s].points;
    for (int p = 0; p < points.size(); ++p) {
      if (std::isnan(points[p].y()) || !geometry.Shows(points[p].x())) continue;
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
