// Paints the shapes of sarnavel.svg into a 32 x 32 PNG: draw_icon OUTPUT.PNG
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <cstdio>
#include <initializer_list>

namespace {

QPolygonF polygon(std::initializer_list<QPointF> points) { return QPolygonF(QList<QPointF>(points)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: draw_icon OUTPUT.PNG\n", stderr);
    return 2;
  }
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);

  painter.setBrush(QColor(0x1d, 0x5f, 0x7a));
  painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

  painter.setBrush(Qt::white);
  painter.drawPolygon(polygon({{7, 4}, {19, 4}, {24, 9}, {24, 27}, {7, 27}}));
  painter.setBrush(QColor(0xb8, 0xd3, 0xde));
  painter.drawPolygon(polygon({{19, 4}, {19, 9}, {24, 9}}));

  painter.setBrush(QColor(0x7f, 0xa6, 0xb6));
  painter.drawRect(QRectF(10, 12, 11, 2));
  painter.drawRect(QRectF(10, 16, 8, 2));
  painter.drawRect(QRectF(10, 20, 5, 2));

  painter.setPen(QPen(Qt::white, 1.5));
  painter.setBrush(QColor(0xe4, 0x57, 0x2e));
  painter.drawEllipse(QPointF(23, 23), 7.5, 7.5);

  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPolygon(
      polygon({{18.5, 19.5}, {24, 19.5}, {24, 17.5}, {27.5, 20.5}, {24, 23.5}, {24, 21.5}, {18.5, 21.5}}));
  painter.drawPolygon(
      polygon({{27.5, 24.5}, {22, 24.5}, {22, 22.5}, {18.5, 25.5}, {22, 28.5}, {22, 26.5}, {27.5, 26.5}}));
  painter.end();

  return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
