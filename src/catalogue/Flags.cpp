#include "catalogue/Flags.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>
#include <cmath>
#include <string_view>

namespace {

// Alphabetical, so the index of a code is its place in this list.
constexpr std::array<std::string_view, kFlagCount> kFlagCodes = {
    "BE", "CH", "CZ", "DE", "DK", "EN", "ES", "FI", "FR", "GR", "HE", "HU",
    "IT", "JP", "KR", "NL", "NO", "PL", "PT", "RU", "SE", "TW", "UK", "US"};

constexpr int W = kFlagWidth;
constexpr int H = kFlagHeight;

void horizontalStripes(QPainter &p, std::initializer_list<QColor> colours)
{
    const int n = static_cast<int>(colours.size());
    int i = 0;
    for (const QColor &c : colours) {
        const int top = H * i / n;
        const int bottom = H * (i + 1) / n;
        p.fillRect(0, top, W, bottom - top, c);
        ++i;
    }
}

void verticalStripes(QPainter &p, std::initializer_list<QColor> colours)
{
    const int n = static_cast<int>(colours.size());
    int i = 0;
    for (const QColor &c : colours) {
        const int left = W * i / n;
        const int right = W * (i + 1) / n;
        p.fillRect(left, 0, right - left, H, c);
        ++i;
    }
}

void nordicCross(QPainter &p, QColor field, QColor cross, QColor inner = QColor())
{
    p.fillRect(0, 0, W, H, field);
    p.fillRect(5, 0, 4, H, cross);
    p.fillRect(0, 4, W, 4, cross);
    if (inner.isValid()) {
        p.fillRect(6, 0, 2, H, inner);
        p.fillRect(0, 5, W, 2, inner);
    }
}

QPolygonF star(QPointF centre, double outer, double inner, int points = 5)
{
    QPolygonF polygon;
    for (int i = 0; i < points * 2; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const double angle = -M_PI / 2 + i * M_PI / points;
        polygon << QPointF(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
    }
    return polygon;
}

void unitedKingdom(QPainter &p)
{
    const QColor blue(1, 33, 105), red(200, 16, 46);
    p.fillRect(0, 0, W, H, blue);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(0, 0, W, H);
    p.drawLine(0, H, W, 0);
    p.setPen(QPen(red, 1));
    p.drawLine(0, 0, W, H);
    p.drawLine(0, H, W, 0);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(7, 0, 4, H, Qt::white);
    p.fillRect(0, 4, W, 4, Qt::white);
    p.fillRect(8, 0, 2, H, red);
    p.fillRect(0, 5, W, 2, red);
}

void drawFlag(QPainter &p, int index)
{
    const QColor white(Qt::white);
    switch (index) {
    case 0: verticalStripes(p, {Qt::black, QColor(253, 218, 36), QColor(239, 51, 64)}); break;
    case 1: // China
        p.fillRect(0, 0, W, H, QColor(222, 41, 16));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 222, 0));
        p.drawPolygon(star(QPointF(4, 3.5), 2.6, 1.0));
        p.drawEllipse(QPointF(8, 1.5), 0.7, 0.7);
        p.drawEllipse(QPointF(9, 3.5), 0.7, 0.7);
        p.drawEllipse(QPointF(8, 5.5), 0.7, 0.7);
        break;
    case 2: // Czech Republic
        horizontalStripes(p, {white, QColor(215, 20, 26)});
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(17, 69, 126));
        p.drawPolygon(QPolygon({QPoint(0, 0), QPoint(9, 6), QPoint(0, 12)}));
        break;
    case 3: horizontalStripes(p, {Qt::black, QColor(221, 0, 0), QColor(255, 206, 0)}); break;
    case 4: nordicCross(p, QColor(198, 12, 48), white); break;
    case 5: unitedKingdom(p); break;
    case 6: // Spain, 1:2:1
        p.fillRect(0, 0, W, H, QColor(170, 21, 27));
        p.fillRect(0, 3, W, 6, QColor(241, 191, 0));
        break;
    case 7: nordicCross(p, white, QColor(0, 47, 108)); break;
    case 8: verticalStripes(p, {QColor(0, 35, 149), white, QColor(237, 41, 57)}); break;
    case 9: { // Greece
        const QColor greekBlue(13, 94, 175);
        for (int i = 0; i < 9; ++i) {
            const int top = H * i / 9;
            p.fillRect(0, top, W, H * (i + 1) / 9 - top, i % 2 ? white : greekBlue);
        }
        p.fillRect(0, 0, 7, 7, greekBlue);
        p.fillRect(3, 0, 1, 7, white);
        p.fillRect(0, 3, 7, 1, white);
        break;
    }
    case 10: { // Israel
        const QColor israelBlue(0, 56, 184);
        p.fillRect(0, 0, W, H, white);
        p.fillRect(0, 1, W, 2, israelBlue);
        p.fillRect(0, 9, W, 2, israelBlue);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(israelBlue, 0.8));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF({QPointF(9, 3.5), QPointF(11.2, 7.3), QPointF(6.8, 7.3)}));
        p.drawPolygon(QPolygonF({QPointF(9, 8.5), QPointF(6.8, 4.7), QPointF(11.2, 4.7)}));
        break;
    }
    case 11: horizontalStripes(p, {QColor(206, 41, 57), white, QColor(71, 112, 80)}); break;
    case 12: verticalStripes(p, {QColor(0, 146, 70), white, QColor(206, 43, 55)}); break;
    case 13: // Japan
        p.fillRect(0, 0, W, H, white);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(188, 0, 45));
        p.drawEllipse(QPointF(9, 6), 3.6, 3.6);
        break;
    case 14: { // South Korea
        p.fillRect(0, 0, W, H, white);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(205, 46, 58));
        p.drawPie(QRectF(5.5, 2.5, 7, 7), 0, 180 * 16);
        p.setBrush(QColor(0, 71, 160));
        p.drawPie(QRectF(5.5, 2.5, 7, 7), 180 * 16, 180 * 16);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(1, 2, 3, 0);
        p.drawLine(15, 0, 17, 2);
        p.drawLine(1, 9, 3, 11);
        p.drawLine(15, 11, 17, 9);
        break;
    }
    case 15: horizontalStripes(p, {QColor(174, 28, 40), white, QColor(33, 70, 139)}); break;
    case 16: nordicCross(p, QColor(186, 12, 47), white, QColor(0, 32, 91)); break;
    case 17: horizontalStripes(p, {white, QColor(220, 20, 60)}); break;
    case 18: // Portugal
        p.fillRect(0, 0, 7, H, QColor(0, 102, 0));
        p.fillRect(7, 0, W - 7, H, QColor(255, 0, 0));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 204, 0));
        p.drawEllipse(QPointF(7, 6), 2.6, 2.6);
        break;
    case 19: horizontalStripes(p, {white, QColor(0, 57, 166), QColor(213, 43, 30)}); break;
    case 20: nordicCross(p, QColor(0, 106, 167), QColor(254, 204, 0)); break;
    case 21: // Taiwan
        p.fillRect(0, 0, W, H, QColor(254, 0, 0));
        p.fillRect(0, 0, 9, 6, QColor(0, 0, 149));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawPolygon(star(QPointF(4.5, 3), 2.4, 1.3, 12));
        break;
    case 22: unitedKingdom(p); break;
    case 23: { // United States
        for (int i = 0; i < H; ++i)
            p.fillRect(0, i, W, 1, i % 2 ? white : QColor(178, 34, 52));
        p.fillRect(0, 0, 8, 7, QColor(60, 59, 110));
        for (int y = 1; y < 7; y += 2)
            for (int x = 1; x < 8; x += 2)
                p.fillRect(x, y, 1, 1, white);
        break;
    }
    default: break;
    }
}

} // namespace

int FlagImageIndex(const AnsiString &Code)
{
    for (size_t i = 0; i < kFlagCodes.size(); ++i)
        if (QByteArrayView(kFlagCodes[i].data(), qsizetype(kFlagCodes[i].size())) == Code)
            return static_cast<int>(i);
    return -1;
}

QList<QImage> DrawFlagImages()
{
    QList<QImage> images;
    images.reserve(kFlagCount);
    for (int i = 0; i < kFlagCount; ++i) {
        QImage image(W, H, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawFlag(painter, i);
        painter.end();
        images << image;
    }
    return images;
}

QImage FlagImageOf(const QList<QImage> &Flags, const AnsiString &Code)
{
    const int flag = FlagImageIndex(Code);
    return flag >= 0 && flag < Flags.size() ? Flags[flag] : QImage();
}
