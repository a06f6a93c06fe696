#include "report/chart_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace report {

ChartView::ChartView(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  setMouseTracking(true);
  setMinimumSize(360, 260);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void ChartView::SetData(ChartData data) {
  data_ = std::move(data);
  update();
}

ChartGeometry ChartView::Geometry() const {
  return LayoutChart(QRectF(rect()).adjusted(6, 6, -6, -6), data_, const_cast<ChartView*>(this));
}

QString ChartView::TextAt(const QPointF& position) const {
  const std::optional<ChartHit> hit = NearestPoint(Geometry(), data_, position, 8);
  if (!hit) return {};
  const ChartSeries& s = data_.series[hit->series];
  const QPointF& p = s.points[hit->point];
  if (Describe) return Describe(s, p);
  const QString name = s.source.isEmpty() ? s.label : s.source + QStringLiteral(", ") + s.label;
  return QStringLiteral("%1: %2; %3").arg(name, FormatTick(p.x(), 0.01), FormatTick(p.y(), 0.001));
}

void ChartView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawChart(painter, QRectF(rect()).adjusted(6, 6, -6, -6), data_);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  const QString text = TextAt(event->position());
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

}  // namespace report
