// Draws the toolbar images, the application icon and the start-up picture into a resource
// folder as PNG files. Every image is drawn in a 16-unit square scaled to the target size, so
// the small and the high-DPI sizes come from the same drawing.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(40, 44, 52);
const QColor kBlue(38, 110, 200);
const QColor kGreen(40, 160, 70);
const QColor kRed(205, 45, 40);
const QColor kYellow(238, 190, 60);
const QColor kPaper(250, 250, 246);
const QColor kChip(58, 62, 72);

QPen pen(const QColor& c, double w = 1.0)
{
    QPen p(c, w);
    p.setJoinStyle(Qt::RoundJoin);
    p.setCapStyle(Qt::RoundCap);
    return p;
}

void page(QPainter& p, QRectF r)
{
    p.setPen(pen(kInk, 0.8));
    p.setBrush(kPaper);
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 3, r.top());
    path.lineTo(r.right(), r.top() + 3);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void chip(QPainter& p, QRectF body, const QColor& fill)
{
    p.setPen(pen(QColor(150, 150, 150), 0.9));
    for (double x = body.left() + 1.5; x < body.right() - 0.5; x += 2.5) {
        p.drawLine(QPointF(x, body.top() - 1.5), QPointF(x, body.top()));
        p.drawLine(QPointF(x, body.bottom()), QPointF(x, body.bottom() + 1.5));
    }
    p.setPen(pen(kInk, 0.6));
    p.setBrush(fill);
    p.drawRoundedRect(body, 1, 1);
}

void arrowDown(QPainter& p, QPointF tip, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF a;
    a << QPointF(tip.x() - 3.5, tip.y() - 3.5) << QPointF(tip.x() - 1.3, tip.y() - 3.5)
      << QPointF(tip.x() - 1.3, tip.y() - 7) << QPointF(tip.x() + 1.3, tip.y() - 7)
      << QPointF(tip.x() + 1.3, tip.y() - 3.5) << QPointF(tip.x() + 3.5, tip.y() - 3.5) << tip;
    p.drawPolygon(a);
}

void check(QPainter& p, QPointF at, const QColor& c)
{
    p.setPen(pen(c, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{at + QPointF(-3, 0), at + QPointF(-1, 2.2), at + QPointF(3.2, -2.8)});
}

void cross(QPainter& p, QPointF at, double r, const QColor& c, double w)
{
    p.setPen(pen(c, w));
    p.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
    p.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
}

void dot(QPainter& p, QPointF c, double r, const QColor& color)
{
    QRadialGradient g(c - QPointF(r / 3, r / 3), r * 1.4);
    g.setColorAt(0, color.lighter(150));
    g.setColorAt(1, color.darker(115));
    p.setPen(pen(color.darker(150), 0.6));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
}

void play(QPainter& p, QRectF r, const QColor& c)
{
    p.setPen(pen(c.darker(140), 0.7));
    p.setBrush(c);
    p.drawPolygon(QPolygonF{r.topLeft(), QPointF(r.right(), r.center().y()), r.bottomLeft()});
}

void memoryRows(QPainter& p, QRectF r, int highlight)
{
    p.setPen(pen(kInk, 0.7));
    p.setBrush(kPaper);
    p.drawRect(r);
    const double rowH = r.height() / 4;
    for (int i = 0; i < 4; ++i) {
        const double y = r.top() + rowH * i + rowH / 2;
        p.setPen(pen(i == highlight ? kRed : kBlue, 1.1));
        p.drawLine(QPointF(r.left() + 1.5, y), QPointF(r.left() + 3.5, y));
        p.setPen(pen(i == highlight ? kRed : kInk.lighter(160), 1.1));
        p.drawLine(QPointF(r.left() + 5, y), QPointF(r.right() - 1.5, y));
    }
}

using Draw = std::function<void(QPainter&)>;

struct Icon {
    const char* name;
    Draw draw;
};

const Icon kIcons[] = {
    {"boot", [](QPainter& p) {
         chip(p, QRectF(2, 8.5, 12, 5.5), kChip);
         arrowDown(p, QPointF(8, 8), kGreen);
     }},
    {"open", [](QPainter& p) {
         p.setPen(pen(QColor(150, 110, 20), 0.8));
         p.setBrush(kYellow.darker(110));
         p.drawRect(QRectF(1.5, 4, 12, 9.5));
         page(p, QRectF(4, 2, 8, 8));
         p.setBrush(kYellow);
         QPolygonF front{QPointF(1.5, 13.5), QPointF(3.5, 7), QPointF(15, 7), QPointF(13.5, 13.5)};
         p.setPen(pen(QColor(150, 110, 20), 0.8));
         p.drawPolygon(front);
     }},
    {"verify", [](QPainter& p) {
         page(p, QRectF(2, 1.5, 10, 13));
         p.setPen(pen(kInk.lighter(170), 0.9));
         for (double y = 4.5; y < 9; y += 2)
             p.drawLine(QPointF(4, y), QPointF(10, y));
         check(p, QPointF(10.5, 11), kGreen);
     }},
    {"print", [](QPainter& p) {
         page(p, QRectF(4, 1.5, 8, 6));
         p.setPen(pen(kInk, 0.8));
         p.setBrush(QColor(200, 203, 210));
         p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.2, 1.2);
         p.setBrush(kPaper);
         p.drawRect(QRectF(4, 10.5, 8, 4));
         p.setPen(Qt::NoPen);
         p.setBrush(kGreen);
         p.drawEllipse(QPointF(12.5, 8.5), 0.8, 0.8);
     }},
    {"copy", [](QPainter& p) {
         page(p, QRectF(1.5, 1.5, 8, 10));
         page(p, QRectF(6.5, 4.5, 8, 10));
         p.setPen(pen(kBlue, 0.9));
         for (double y = 7.5; y < 13; y += 2)
             p.drawLine(QPointF(8.5, y), QPointF(12.5, y));
     }},
    {"memory", [](QPainter& p) { memoryRows(p, QRectF(1.5, 2, 13, 12), -1); }},
    {"setmem", [](QPainter& p) {
         memoryRows(p, QRectF(1.5, 2, 11, 12), 2);
         p.save();
         p.translate(12, 6);
         p.rotate(45);
         p.setPen(pen(kInk, 0.6));
         p.setBrush(kYellow);
         p.drawRect(QRectF(-1.2, -5, 2.4, 7.5));
         p.setBrush(kInk);
         p.drawPolygon(QPolygonF{QPointF(-1.2, 2.5), QPointF(1.2, 2.5), QPointF(0, 4.5)});
         p.restore();
     }},
    {"fill", [](QPainter& p) {
         p.setPen(pen(kInk, 0.7));
         p.setBrush(kPaper);
         p.drawRect(QRectF(1.5, 5, 13, 9));
         p.setBrush(kBlue.lighter(130));
         p.drawRect(QRectF(1.5, 9.5, 13, 4.5));
         p.setPen(pen(kInk.lighter(180), 0.6));
         for (double x = 4.75; x < 14; x += 3.25)
             p.drawLine(QPointF(x, 5), QPointF(x, 14));
         arrowDown(p, QPointF(8, 8.5), kBlue.darker(120));
     }},
    {"execute", [](QPainter& p) { play(p, QRectF(3.5, 2, 10, 12), kGreen); }},
    {"subroutine", [](QPainter& p) {
         play(p, QRectF(1.5, 4, 6, 8), kGreen);
         p.setPen(pen(kBlue, 1.4));
         p.setBrush(Qt::NoBrush);
         QPainterPath path;
         path.moveTo(9, 4);
         path.cubicTo(16, 4, 16, 12, 9.8, 12);
         p.drawPath(path);
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawPolygon(QPolygonF{QPointF(8, 12), QPointF(11, 9.5), QPointF(11, 14.5)});
     }},
    {"stop", [](QPainter& p) {
         p.setPen(pen(kRed.darker(140), 0.7));
         p.setBrush(kRed);
         p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
     }},
    {"breakpoint", [](QPainter& p) { dot(p, QPointF(8, 8), 5.5, kRed); }},
    {"clearbreaks", [](QPainter& p) {
         dot(p, QPointF(6.5, 7), 4.2, kRed);
         dot(p, QPointF(9.5, 9), 4.2, kRed);
         cross(p, QPointF(11.5, 11.5), 2.6, kInk, 1.8);
     }},
    {"trace", [](QPainter& p) {
         p.setPen(pen(kInk.lighter(160), 1.2));
         for (double y : {3.0, 7.0, 11.0, 14.0})
             p.drawLine(QPointF(7.5, y), QPointF(14.5, y));
         p.setPen(pen(kBlue, 1.5));
         p.setBrush(Qt::NoBrush);
         QPainterPath path;
         path.moveTo(2.5, 3);
         path.lineTo(2.5, 7);
         path.lineTo(4.5, 7);
         p.drawPath(path);
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawPolygon(QPolygonF{QPointF(7, 7), QPointF(4, 4.5), QPointF(4, 9.5)});
     }},
    {"togglebreak", [](QPainter& p) {
         // A breakpoint's dot in the gutter beside a line of code.
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(218, 221, 228));
         p.drawRect(QRectF(1, 1.5, 5.5, 13));
         p.setPen(pen(kInk.lighter(170), 1.2));
         for (double y : {3.5, 12.5})
             p.drawLine(QPointF(8.5, y), QPointF(14.5, y));
         p.setPen(pen(kInk, 1.4));
         p.drawLine(QPointF(8.5, 8), QPointF(14.5, 8));
         dot(p, QPointF(3.75, 8), 2.6, kRed);
     }},
    {"stepover", [](QPainter& p) {
         // An arrow arching over a call to the line after it.
         p.setPen(pen(kInk.lighter(170), 1.2));
         p.drawLine(QPointF(2, 14), QPointF(14, 14));
         dot(p, QPointF(8, 11.2), 1.6, kInk.lighter(140));
         p.setPen(pen(kBlue, 1.6));
         p.setBrush(Qt::NoBrush);
         QPainterPath path;
         path.moveTo(2.5, 11);
         path.cubicTo(2.5, 2, 13.5, 2, 13.5, 8.5);
         p.drawPath(path);
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawPolygon(QPolygonF{QPointF(10.5, 8), QPointF(16, 8), QPointF(13.5, 12)});
     }},
    {"stepout", [](QPainter& p) {
         // An arrow leaving a subroutine's bracket upward.
         p.setPen(pen(kInk.lighter(150), 1.3));
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(5.5, 7.5), QPointF(3, 7.5), QPointF(3, 14), QPointF(13, 14),
                                  QPointF(13, 7.5), QPointF(10.5, 7.5)});
         p.setPen(pen(kBlue, 1.8));
         p.drawLine(QPointF(8, 12), QPointF(8, 5));
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawPolygon(QPolygonF{QPointF(4.5, 6), QPointF(11.5, 6), QPointF(8, 1.5)});
     }},
    {"runtocursor", [](QPainter& p) {
         // Run, up to the text cursor.
         play(p, QRectF(1.5, 3, 8, 10), kGreen);
         p.setPen(pen(kInk, 1.3));
         p.drawLine(QPointF(12.5, 2.5), QPointF(12.5, 13.5));
         p.drawLine(QPointF(10.8, 2.5), QPointF(14.2, 2.5));
         p.drawLine(QPointF(10.8, 13.5), QPointF(14.2, 13.5));
     }},
    {"continue", [](QPainter& p) {
         // Resume: a bar, then run.
         p.setPen(pen(kGreen.darker(140), 0.7));
         p.setBrush(kGreen);
         p.drawRect(QRectF(2, 3, 2.6, 10));
         play(p, QRectF(6.5, 3, 8, 10), kGreen);
     }},
    {"help", [](QPainter& p) {
         dot(p, QPointF(8, 8), 6.5, kBlue);
         QFont f(QStringLiteral("DejaVu Sans"));
         f.setBold(true);
         f.setPixelSize(10);
         p.setFont(f);
         p.setPen(Qt::white);
         p.drawText(QRectF(2, 2, 12, 12.6), Qt::AlignCenter, QStringLiteral("?"));
     }},
};

void appIcon(QPainter& p)
{
    p.setPen(Qt::NoPen);
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0, QColor(52, 120, 205));
    g.setColorAt(1, QColor(25, 70, 140));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    chip(p, QRectF(3.5, 4, 9, 8), kChip);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(5);
    p.setFont(f);
    p.setPen(QColor(255, 214, 90));
    p.drawText(QRectF(3.5, 4, 9, 8), Qt::AlignCenter, QStringLiteral("11"));
}

bool save(const QImage& image, const QString& path)
{
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage render(int size, const Draw& draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 16.0, size / 16.0);
    draw(p);
    return image;
}

QImage splash()
{
    QImage image(520, 317, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, 0, 317);
    sky.setColorAt(0, QColor(24, 52, 96));
    sky.setColorAt(1, QColor(10, 22, 44));
    p.fillRect(image.rect(), sky);

    // A faint trace of circuit lines.
    p.setPen(QPen(QColor(70, 110, 170, 90), 2));
    for (int i = 0; i < 7; ++i) {
        const int y = 40 + i * 36;
        QPainterPath path;
        path.moveTo(0, y);
        path.lineTo(300 - i * 12, y);
        path.lineTo(330 - i * 12, y + 20);
        path.lineTo(520, y + 20);
        p.drawPath(path);
        p.setBrush(QColor(70, 110, 170, 120));
        p.drawEllipse(QPointF(300 - i * 12, y), 3, 3);
    }

    // The chip.
    const QRectF body(330, 92, 150, 130);
    p.setPen(QPen(QColor(200, 200, 205), 4));
    for (int i = 0; i < 8; ++i) {
        const double x = body.left() + 14 + i * 17.5;
        p.drawLine(QPointF(x, body.top() - 12), QPointF(x, body.top()));
        p.drawLine(QPointF(x, body.bottom()), QPointF(x, body.bottom() + 12));
        const double y = body.top() + 12 + i * 15;
        p.drawLine(QPointF(body.left() - 12, y), QPointF(body.left(), y));
        p.drawLine(QPointF(body.right(), y), QPointF(body.right() + 12, y));
    }
    QLinearGradient chipFill(body.topLeft(), body.bottomRight());
    chipFill.setColorAt(0, QColor(70, 74, 84));
    chipFill.setColorAt(1, QColor(34, 36, 42));
    p.setPen(QPen(QColor(20, 20, 24), 2));
    p.setBrush(chipFill);
    p.drawRoundedRect(body, 8, 8);
    p.setBrush(QColor(25, 27, 32));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(body.left() + 16, body.top() + 16), 5, 5);
    QFont chipFont(QStringLiteral("DejaVu Sans Mono"));
    chipFont.setBold(true);
    chipFont.setPixelSize(24);
    p.setFont(chipFont);
    p.setPen(QColor(230, 230, 235));
    p.drawText(body.adjusted(0, -10, 0, -10), Qt::AlignCenter, QStringLiteral("68HC11"));
    chipFont.setPixelSize(12);
    chipFont.setBold(false);
    p.setFont(chipFont);
    p.setPen(QColor(160, 165, 175));
    p.drawText(body.adjusted(0, 30, 0, 0), Qt::AlignCenter, QStringLiteral("$B600-$B7FF"));

    // The name and a line about it.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setBold(true);
    title.setPixelSize(54);
    p.setFont(title);
    p.setPen(QColor(255, 214, 90));
    p.drawText(QPointF(34, 150), QStringLiteral("Tarvik11"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(17);
    p.setFont(sub);
    p.setPen(QColor(220, 228, 240));
    p.drawText(QPointF(38, 184), QStringLiteral("A debugger for 68HC11 boards"));
    sub.setPixelSize(13);
    p.setFont(sub);
    p.setPen(QColor(150, 170, 200));
    p.drawText(QPointF(38, 208), QStringLiteral("Talker download, memory, EEPROM,"));
    p.drawText(QPointF(38, 226), QStringLiteral("breakpoints, trace and S19 programs"));
    sub.setPixelSize(11);
    p.setFont(sub);
    p.setPen(QColor(120, 140, 170));
    p.drawText(QPointF(38, 292), QStringLiteral("Version 0.1"));

    p.setPen(QPen(QColor(255, 214, 90), 3));
    p.drawLine(QPointF(38, 164), QPointF(290, 164));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RESDIR\n", argv[0]);
        return 2;
    }
    const QDir res(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(res.filePath(QStringLiteral("icons")));
    bool ok = true;
    for (const Icon& icon : kIcons)
        for (int size : {16, 24, 32, 48})
            ok &= save(render(size, icon.draw),
                       res.filePath(QStringLiteral("icons/%1-%2.png").arg(QLatin1String(icon.name)).arg(size)));
    for (int size : {16, 32, 48, 64, 128})
        ok &= save(render(size, appIcon), res.filePath(QStringLiteral("icons/app-%1.png").arg(size)));
    ok &= save(splash(), res.filePath(QStringLiteral("splash.png")));
    return ok ? 0 : 1;
}
