#include "app/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace paddock {

namespace {

// Every picture is drawn on an 18 x 18 grid and rendered at 1x and 2x.
void drawHelmet(QPainter& p)
{
    QPainterPath shell;
    shell.moveTo(2, 13);
    shell.cubicTo(1, 5, 7, 1, 11, 2);
    shell.cubicTo(16, 3, 17, 8, 16, 13);
    shell.lineTo(16, 15);
    shell.lineTo(4, 15);
    shell.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(210, 30, 30));
    p.drawPath(shell);
    p.setBrush(QColor(30, 40, 70));
    p.drawRoundedRect(QRectF(8.5, 6.5, 8, 4), 1.5, 1.5);
    p.setPen(QPen(Qt::white, 1.2));
    p.drawLine(QPointF(3, 11), QPointF(8, 12));
}

void drawCar(QPainter& p)
{
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    p.setBrush(QColor(20, 90, 200));
    QPainterPath body;
    body.moveTo(1, 11);
    body.lineTo(5, 9);
    body.lineTo(9, 8);
    body.lineTo(11, 6);
    body.lineTo(13, 8);
    body.lineTo(17, 9);
    body.lineTo(17, 12);
    body.lineTo(1, 12);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(25, 25, 25));
    p.drawEllipse(QPointF(4.5, 12.5), 2.3, 2.3);
    p.drawEllipse(QPointF(14, 12.5), 2.3, 2.3);
    // A brush stroke of fresh paint above the car.
    p.setPen(QPen(QColor(250, 200, 0), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 4), QPointF(8, 2.5));
    p.setPen(QPen(QColor(230, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 3.5), QPointF(15, 2));
}

void drawArchive(QPainter& p)
{
    p.setPen(QPen(QColor(90, 60, 20), 1));
    p.setBrush(QColor(214, 170, 100));
    p.drawRect(QRectF(2.5, 6.5, 13, 9));
    p.setBrush(QColor(236, 196, 128));
    p.drawRect(QRectF(1.5, 3.5, 15, 3));
    p.setPen(QPen(QColor(90, 60, 20), 1.4));
    p.drawLine(QPointF(7, 9.5), QPointF(11, 9.5));
}

void drawTexture(QPainter& p)
{
    const QColor colours[4] = {QColor(220, 40, 40), QColor(250, 250, 250), QColor(250, 250, 250), QColor(30, 80, 200)};
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(2 + (i % 2) * 7, 2 + (i / 2) * 7, 7, 7), colours[i]);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 1.5, 15, 15));
    p.setPen(QPen(QColor(20, 160, 60), 1.6));
    p.drawLine(QPointF(4, 14), QPointF(14, 4));
}

void drawGear(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 95, 105));
    const QPointF c(9, 9);
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotateRadians(a);
        teeth.addPolygon(t.map(QPolygonF(QRectF(-1.6, -8.2, 3.2, 4))));
    }
    p.drawPath(teeth);
    p.drawEllipse(c, 5.6, 5.6);
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(c, 2.2, 2.2);
}

QPixmap render(ToolIcon which, int scale)
{
    QPixmap pixmap(18 * scale, 18 * scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    switch (which) {
    case ToolIcon::TeamsAndDrivers: drawHelmet(p); break;
    case ToolIcon::CarTextures: drawCar(p); break;
    case ToolIcon::WADWorkshop: drawArchive(p); break;
    case ToolIcon::TEXWorkshop: drawTexture(p); break;
    case ToolIcon::Configure: drawGear(p); break;
    }
    p.end();
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

} // namespace

QIcon MakeToolIcon(ToolIcon which)
{
    QIcon icon;
    icon.addPixmap(render(which, 1));
    icon.addPixmap(render(which, 2));
    return icon;
}

QPixmap DrawProgramIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // A chequered flag on a pole.
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawLine(QPointF(5, 3), QPointF(5, 30));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            p.fillRect(QRectF(6 + x * 4, 4 + y * 4, 4, 4), (x + y) % 2 ? Qt::white : Qt::black);
    p.setPen(QPen(QColor(200, 20, 20), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(6, 4, 24, 16));
    p.end();
    return pixmap;
}

QIcon MakeProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 64})
        icon.addPixmap(DrawProgramIcon(size));
    return icon;
}

} // namespace paddock
