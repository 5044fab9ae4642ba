// Draws the main window's images (status lamps, logo, window icon) into the
// folder given as argument. Not part of the build: run it once after changing
// a drawing and commit the PNGs it writes, e.g.
//   g++ -std=c++17 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw_images
//   QT_QPA_PLATFORM=offscreen ./draw_images src/ui/resources

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A round lamp lit in `colour`, with a darker rim and a highlight.
QImage lamp(const QColor& colour)
{
    QImage image = canvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(6.0, 5.5), 9.0);
    glow.setColorAt(0.0, colour.lighter(170));
    glow.setColorAt(0.45, colour);
    glow.setColorAt(1.0, colour.darker(160));
    p.setBrush(glow);
    p.setPen(QPen(colour.darker(220), 1.0));
    p.drawEllipse(QRectF(1.0, 1.0, 14.0, 14.0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QRectF(4.0, 3.5, 4.0, 3.0));
    return image;
}

// A thermometer on a blue rounded square; `waves` adds the signal lines of
// the logo, which the small icon leaves out.
QImage badge(int size, bool waves)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 64.0;
    p.scale(s, s);

    QLinearGradient back(0, 0, 0, 64);
    back.setColorAt(0.0, QColor(52, 120, 196));
    back.setColorAt(1.0, QColor(20, 62, 128));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);

    const qreal cx = waves ? 22 : 32;
    QPainterPath glass;
    glass.addRoundedRect(QRectF(cx - 5, 9, 10, 34), 5, 5);
    glass.addEllipse(QPointF(cx, 46), 9, 9);
    p.setBrush(Qt::white);
    p.drawPath(glass.simplified());

    p.setBrush(QColor(214, 48, 40));
    p.drawEllipse(QPointF(cx, 46), 6, 6);
    p.drawRoundedRect(QRectF(cx - 2, 22, 4, 22), 2, 2);

    p.setPen(QPen(QColor(20, 62, 128), 1.2));
    for (int y = 14; y <= 34; y += 5)
        p.drawLine(QPointF(cx + 1.5, y), QPointF(cx + 4.0, y));

    if (waves) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(230, 240, 255), 3.0, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 3; ++i) {
            const qreal y = 22 + i * 10;
            QPainterPath wave(QPointF(34, y));
            wave.cubicTo(QPointF(39, y - 5), QPointF(44, y + 5), QPointF(49, y));
            wave.cubicTo(QPointF(52, y - 3), QPointF(55, y - 3), QPointF(57, y));
            p.drawPath(wave);
        }
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = lamp(QColor(30, 190, 40)).save(out.filePath("lamp_green.png"));
    ok = lamp(QColor(240, 200, 0)).save(out.filePath("lamp_yellow.png")) && ok;
    ok = lamp(QColor(220, 30, 30)).save(out.filePath("lamp_red.png")) && ok;
    ok = badge(160, true).save(out.filePath("logo.png")) && ok;
    ok = badge(64, false).save(out.filePath("icon.png")) && ok;
    return ok ? 0 : 1;
}
