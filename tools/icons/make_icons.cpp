// Draws Quarn's five image-button icons into PNG files (256 pixels square,
// transparent), so that scaled down they stay sharp. Run it after changing
// the art: make_icons <folder>.

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cstdio>
#include <functional>

namespace {

const QColor kBlue(0x2f, 0x6f, 0x9f), kDark(0x22, 0x38, 0x4d), kLight(0xd6, 0xe3, 0xef),
    kGreen(0x3a, 0x9a, 0x5b), kOrange(0xe0, 0x8a, 0x2c), kRed(0xc0, 0x48, 0x3e),
    kGrey(0x8a, 0x96, 0xa3), kWhite(0xff, 0xff, 0xff);

QBrush Shade(const QColor& c, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, c.lighter(118));
    g.setColorAt(1, c.darker(108));
    return g;
}

void Laptop(QPainter& p, const QRectF& screen) {
    p.setPen(QPen(kDark, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Shade(kLight, screen));
    p.drawRoundedRect(screen, 12, 12);
    const qreal w = screen.width();
    QPainterPath base;
    base.moveTo(screen.left() - w * 0.12, screen.bottom() + 18);
    base.lineTo(screen.right() + w * 0.12, screen.bottom() + 18);
    base.lineTo(screen.right() + w * 0.04, screen.bottom() + 4);
    base.lineTo(screen.left() - w * 0.04, screen.bottom() + 4);
    base.closeSubpath();
    p.setBrush(kGrey);
    p.drawPath(base);
}

void Local(QPainter& p) {
    Laptop(p, QRectF(40, 48, 176, 116));
    // A check: this machine's own disk.
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(150, 140, 92, 92));
    p.setPen(QPen(kWhite, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(172, 186), QPointF(190, 204), QPointF(222, 166)}));
}

void Network(QPainter& p) {
    // A server with three nodes on the office network.
    p.setPen(QPen(kDark, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(128, 130), QPointF(128, 190));
    p.drawLine(QPointF(48, 190), QPointF(208, 190));
    for (qreal x : {48.0, 128.0, 208.0})
        p.drawLine(QPointF(x, 190), QPointF(x, 206));
    for (int i = 0; i < 3; ++i) {
        const QRectF slab(76, 24 + i * 36, 104, 30);
        p.setBrush(Shade(kBlue, slab));
        p.drawRoundedRect(slab, 7, 7);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? kGreen : kLight);
        p.drawEllipse(QRectF(154, 33 + i * 36, 12, 12));
        p.restore();
    }
    for (qreal x : {48.0, 128.0, 208.0}) {
        const QRectF node(x - 22, 206, 44, 32);
        p.setBrush(Shade(kLight, node));
        p.drawRoundedRect(node, 6, 6);
    }
}

void Page(QPainter& p, const QRectF& r, const QColor& tint) {
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - 30, r.top());
    page.lineTo(r.right(), r.top() + 30);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(kDark, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kWhite);
    p.drawPath(page);
    p.drawPolyline(
        QPolygonF({QPointF(r.right() - 30, r.top()), QPointF(r.right() - 30, r.top() + 30),
                   QPointF(r.right(), r.top() + 30)}));
    p.setPen(QPen(tint, 7, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(r.left() + 16, r.top() + 52 + i * 20),
                   QPointF(r.right() - 16 - (i == 2 ? 24 : 0), r.top() + 52 + i * 20));
}

void Arrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& c, qreal bend) {
    QPainterPath path(from);
    const QPointF mid = (from + to) / 2 + QPointF(0, bend);
    path.quadTo(mid, to);
    p.setPen(QPen(c, 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    const QPointF dir = (to - mid) / std::hypot((to - mid).x(), (to - mid).y());
    const QPointF side(-dir.y(), dir.x());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({to + dir * 16, to - dir * 14 + side * 18, to - dir * 14 - side * 18}));
}

void Transfer(QPainter& p) {
    Page(p, QRectF(20, 70, 100, 140), kBlue);
    Page(p, QRectF(136, 46, 100, 140), kOrange);
    Arrow(p, QPointF(70, 52), QPointF(150, 26), kOrange, -34);
    Arrow(p, QPointF(186, 206), QPointF(104, 232), kBlue, 34);
}

void Launch(QPainter& p) {
    // A house: the appraisal.
    p.setPen(QPen(kDark, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QRectF walls(52, 112, 152, 116);
    p.setBrush(Shade(kLight, walls));
    p.drawRect(walls);
    p.setBrush(Shade(kRed, QRectF(28, 28, 200, 96)));
    p.drawPolygon(QPolygonF({QPointF(28, 124), QPointF(128, 30), QPointF(228, 124)}));
    p.setBrush(Shade(kBlue, QRectF(108, 160, 40, 68)));
    p.drawRect(QRectF(108, 160, 40, 68));
    p.setBrush(kWhite);
    p.drawRect(QRectF(70, 136, 28, 28));
    p.drawRect(QRectF(158, 136, 28, 28));
}

void Report(QPainter& p) {
    Page(p, QRectF(58, 24, 140, 208), kBlue);
    p.setPen(QPen(kOrange, 12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(84, 196), QPointF(172, 196));
}

void Sketch(QPainter& p) {
    // A floor plan with a pencil: the report's sketch.
    p.setPen(QPen(kDark, 10, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kWhite);
    p.drawRect(QRectF(28, 60, 170, 150));
    p.drawLine(QPointF(110, 60), QPointF(110, 150));
    p.drawLine(QPointF(110, 150), QPointF(198, 150));
    QPainterPath pencil;
    pencil.moveTo(150, 236);
    pencil.lineTo(166, 196);
    pencil.lineTo(236, 126);
    pencil.lineTo(260, 150);
    pencil.lineTo(190, 220);
    pencil.closeSubpath();
    p.setPen(QPen(kDark, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kOrange);
    p.drawPath(pencil);
}

void Exit(QPainter& p) {
    const QRectF disc(20, 20, 216, 216);
    p.setPen(Qt::NoPen);
    p.setBrush(Shade(kRed, disc));
    p.drawEllipse(disc);
    p.setPen(QPen(kWhite, 18, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(70, 74, 116, 116), 120 * 16, 300 * 16);
    p.drawLine(QPointF(128, 56), QPointF(128, 128));
}

// The about box's picture: the house between the laptop and the office, with
// the name beneath.
QPixmap AboutPicture() {
    QPixmap pixmap(535, 269);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(6, 6, 523, 257);
    QLinearGradient g(card.topLeft(), card.bottomRight());
    g.setColorAt(0, QColor(0xea, 0xf1, 0xf8));
    g.setColorAt(1, QColor(0xc9, 0xdb, 0xeb));
    p.setPen(QPen(kBlue, 4));
    p.setBrush(g);
    p.drawRoundedRect(card, 26, 26);
    p.save();
    p.translate(24, 40);
    p.scale(0.7, 0.7);
    Local(p);
    p.restore();
    p.save();
    p.translate(336, 40);
    p.scale(0.7, 0.7);
    Network(p);
    p.restore();
    p.save();
    p.translate(178, 24);
    p.scale(0.7, 0.7);
    Launch(p);
    p.restore();
    QFont f(QStringLiteral("DejaVu Serif"), 34, QFont::Bold);
    p.setFont(f);
    p.setPen(kDark);
    p.drawText(QRectF(0, 200, 535, 60), Qt::AlignCenter, QStringLiteral("Quarn"));
    return pixmap;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const std::pair<const char*, std::function<void(QPainter&)>> icons[] = {
        {"local", Local}, {"network", Network}, {"transfer", Transfer}, {"launch", Launch},
        {"exit", Exit},   {"report", Report},   {"sketch", Sketch}};
    for (const auto& [name, draw] : icons) {
        QPixmap pixmap(256, 256);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        const QString file = dir + u'/' + QLatin1String(name) + QStringLiteral(".png");
        if (!pixmap.save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    if (!AboutPicture().save(dir + QStringLiteral("/about.png")))
        return 1;
    return 0;
}
