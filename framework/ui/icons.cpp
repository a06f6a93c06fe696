#include "framework/ui/icons.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace fw {

namespace {

constexpr int kSize = 32;  // drawn large, scaled down by the button

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  paint(p);
  p.end();
  return QIcon(pixmap);
}

QPen Pen(const QColor& color, qreal width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor kGreen(0x2E, 0x8B, 0x2E);
const QColor kRed(0xC0, 0x28, 0x28);
const QColor kBlue(0x1F, 0x5F, 0xB0);
const QColor kDark(0x40, 0x40, 0x40);

void Sheet(QPainter& p, const QRectF& r) {
  p.setPen(Pen(kDark, 2));
  p.setBrush(Qt::white);
  p.drawRect(r);
  p.setPen(Pen(QColor(0xA0, 0xA0, 0xA0), 1.5));
  for (qreal y = r.top() + 6; y < r.bottom() - 3; y += 5)
    p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

QIcon DrawToolIcon(const QString& operation) {
  const QString op = operation.toLower();
  if (op == QLatin1String("incluir"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kGreen, 6));
      p.drawLine(16, 5, 16, 27);
      p.drawLine(5, 16, 27, 16);
    });
  if (op == QLatin1String("excluir"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kRed, 6));
      p.drawLine(5, 16, 27, 16);
    });
  if (op == QLatin1String("alterar"))
    return Draw([](QPainter& p) {
      QPainterPath pencil;
      pencil.moveTo(6, 26);
      pencil.lineTo(8, 19);
      pencil.lineTo(22, 5);
      pencil.lineTo(27, 10);
      pencil.lineTo(13, 24);
      pencil.closeSubpath();
      p.setPen(Pen(kDark, 2));
      p.setBrush(QColor(0xE8, 0xB8, 0x30));
      p.drawPath(pencil);
    });
  if (op == QLatin1String("confirmar"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kGreen, 5));
      p.drawPolyline(QPolygonF({QPointF(5, 17), QPointF(13, 25), QPointF(27, 7)}));
    });
  if (op == QLatin1String("cancelar"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kRed, 5));
      p.drawLine(7, 7, 25, 25);
      p.drawLine(25, 7, 7, 25);
    });
  if (op == QLatin1String("verificar"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kBlue, 4));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 280 * 16);
      p.setBrush(kBlue);
      p.setPen(Qt::NoPen);
      p.drawPolygon(QPolygonF({QPointF(18, 2), QPointF(27, 7), QPointF(18, 12)}));
    });
  if (op == QLatin1String("procurar"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kDark, 4));
      p.setBrush(QColor(0xD8, 0xE8, 0xF8));
      p.drawEllipse(QRectF(5, 5, 15, 15));
      p.setPen(Pen(kDark, 5));
      p.drawLine(QPointF(18, 18), QPointF(27, 27));
    });
  if (op == QLatin1String("imprimir") || op == QLatin1String("visualizar"))
    return Draw([op](QPainter& p) {
      Sheet(p, QRectF(9, 3, 14, 12));
      p.setPen(Pen(kDark, 2));
      p.setBrush(QColor(0xC8, 0xC8, 0xC8));
      p.drawRoundedRect(QRectF(3, 13, 26, 12), 2, 2);
      if (op == QLatin1String("visualizar")) {
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(17, 17, 11, 11));
        p.setPen(Pen(kDark, 3));
        p.drawLine(QPointF(26, 26), QPointF(30, 30));
      }
    });
  if (op == QLatin1String("copiar"))
    return Draw([](QPainter& p) {
      Sheet(p, QRectF(4, 3, 16, 20));
      Sheet(p, QRectF(12, 9, 16, 20));
    });
  if (op == QLatin1String("grafico"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kDark, 2));
      p.drawPolyline(QPolygonF({QPointF(4, 3), QPointF(4, 28), QPointF(29, 28)}));
      p.setPen(Pen(kBlue, 2));
      p.drawPolyline(QPolygonF({QPointF(6, 24), QPointF(13, 17), QPointF(20, 13), QPointF(28, 11)}));
      p.setPen(Pen(kRed, 2.5));
      p.drawPolyline(QPolygonF({QPointF(6, 20), QPointF(13, 11), QPointF(20, 7), QPointF(28, 5)}));
    });
  if (op == QLatin1String("salvarcomo"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kDark, 2));
      p.setBrush(kBlue);
      p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 4, 14, 9));
      p.drawRect(QRectF(8, 18, 16, 10));
    });
  if (op == QLatin1String("fechar"))
    return Draw([](QPainter& p) {
      p.setPen(Pen(kDark, 2.5));
      p.setBrush(QColor(0xB0, 0x80, 0x50));
      p.drawRect(QRectF(5, 4, 13, 24));
      p.setPen(Pen(kRed, 4));
      p.drawLine(QPointF(14, 16), QPointF(28, 16));
      p.drawPolyline(QPolygonF({QPointF(23, 11), QPointF(28, 16), QPointF(23, 21)}));
    });
  const QString letter =
      op == QLatin1String("ajuda") ? QStringLiteral("?") : operation.left(1).toUpper();
  return Draw([letter, op](QPainter& p) {
    const QColor color = op == QLatin1String("ajuda") ? kBlue : kDark;
    if (op != QLatin1String("ajuda")) {
      p.setPen(Pen(color, 2));
      p.drawRoundedRect(QRectF(3, 3, 26, 26), 4, 4);
    }
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(24);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, letter);
  });
}

}  // namespace

QIcon ToolIcon(const QString& operation) {
  // Every screen asks for the same dozen icons; painting them is most of the
  // cost of building a toolbar, so each is drawn once per process.
  // The pixmaps go with the application object, not after it.
  static QHash<QString, QIcon> cache;
  static const bool cleanup = [] {
    qAddPostRoutine([] { cache.clear(); });
    return true;
  }();
  Q_UNUSED(cleanup);
  auto it = cache.constFind(operation);
  if (it == cache.constEnd()) it = cache.insert(operation, DrawToolIcon(operation));
  return *it;
}

}  // namespace fw
