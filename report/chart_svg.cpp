#include "report/chart_svg.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>

namespace report {

QByteArray ChartSvg(const ChartData& data, QSize size, const QString& title) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setResolution(96);
  svg.setTitle(title);
  {
    QPainter painter(&svg);
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    DrawChart(painter, QRectF(QPointF(6, 6), QSizeF(size) - QSizeF(12, 12)), data);
  }
  return buffer.data();
}

}  // namespace report
