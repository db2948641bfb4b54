#include "CardCorpus.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double pxPerMm(const TGlassLayout &Layout)
{
    return Layout.Dpi / 25.4;
}

double between(QRandomGenerator &Random, double Low, double High)
{
    return Low + (High - Low) * Random.generateDouble();
}

QColor randomColour(QRandomGenerator &Random, double Saturation, double Value)
{
    return QColor::fromHsvF(float(Random.generateDouble()), float(Saturation), float(Value));
}

// Words of text as dark bars: what matters here is sharp detail, not letters.
void drawWords(QPainter &Painter, QRandomGenerator &Random, QRectF Line, const QColor &Ink)
{
    const double height = Line.height();
    double x = Line.left();
    while (true) {
        const double width = height * between(Random, 1.2, 5.0);
        if (x + width > Line.right())
            break;
        Painter.fillRect(QRectF(x, Line.top(), width, height), Ink);
        x += width + height * 0.7;
    }
}

// One card, upright and sharp, filling Card (pixels) of Painter's image.
void drawCard(QPainter &Painter, const QRectF &Card, const TPlacedCard &Placed, double Px)
{
    // Without a set the card's own seed draws its frame too, in one sequence.
    QRandomGenerator frameRandom(Placed.SetSeed ? Placed.SetSeed : Placed.Seed);
    QRandomGenerator artRandom(Placed.Seed);
    QRandomGenerator &random = Placed.SetSeed ? artRandom : frameRandom;
    const double radius = between(frameRandom, 2.5, 3.5) * Px;
    QColor border;
    QColor panel;
    double borderWidth = between(frameRandom, 2.4, 3.6) * Px;
    switch (Placed.Design) {
    case TCardDesign::DarkBorder:
        border = QColor::fromRgb(int(between(frameRandom, 18, 40)), int(between(frameRandom, 18, 40)),
                                 int(between(frameRandom, 20, 45)));
        panel = randomColour(frameRandom, 0.25, 0.9);
        break;
    case TCardDesign::LightBorder:
        border = QColor::fromRgb(int(between(frameRandom, 236, 246)), int(between(frameRandom, 234, 244)),
                                 int(between(frameRandom, 222, 236)));
        panel = randomColour(frameRandom, 0.35, 0.85);
        break;
    case TCardDesign::ColourFrame:
        border = randomColour(frameRandom, 0.75, between(frameRandom, 0.55, 0.8));
        panel = randomColour(frameRandom, 0.2, 0.95);
        break;
    case TCardDesign::Token:
        border = QColor::fromRgb(int(between(frameRandom, 246, 252)), int(between(frameRandom, 246, 252)),
                                 int(between(frameRandom, 244, 250)));
        panel = border;
        borderWidth = 2.0 * Px;
        break;
    }
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(border);
    Painter.drawRoundedRect(Card, radius, radius);

    const QRectF inner = Card.adjusted(borderWidth, borderWidth, -borderWidth, -borderWidth);
    const QColor ink = QColor::fromRgb(25, 25, 25);
    if (Placed.Design == TCardDesign::Token) {
        Painter.setBrush(Qt::NoBrush);
        Painter.setPen(QPen(ink, 0.3 * Px));
        Painter.drawRect(inner);
        Painter.setPen(Qt::NoPen);
        const QRectF art(inner.center().x() - inner.width() * 0.25, inner.top() + inner.height() * 0.2,
                         inner.width() * 0.5, inner.width() * 0.5);
        Painter.setBrush(randomColour(random, 0.6, 0.7));
        Painter.drawEllipse(art);
        drawWords(Painter, random, QRectF(inner.left() + 3 * Px, inner.top() + 4 * Px, inner.width() - 6 * Px, 2.2 * Px), ink);
        for (int line = 0; line < 3; ++line)
            drawWords(Painter, random,
                      QRectF(inner.left() + 4 * Px, inner.bottom() - (14 - 3.5 * line) * Px,
                             inner.width() - 8 * Px, 1.3 * Px), ink);
        return;
    }

    Painter.fillRect(inner, panel);
    // Title bar, art box, type line and text box, as most card faces have them.
    const QRectF title(inner.left() + 1 * Px, inner.top() + 1 * Px, inner.width() - 2 * Px, 5 * Px);
    Painter.fillRect(title, panel.lighter(115));
    drawWords(Painter, random, title.adjusted(1.5 * Px, 1.6 * Px, -1.5 * Px, -1.6 * Px), ink);
    const QRectF art(inner.left() + 2 * Px, title.bottom() + 1 * Px, inner.width() - 4 * Px,
                     inner.height() * 0.45);
    QLinearGradient sky(art.topLeft(), art.bottomRight());
    sky.setColorAt(0, randomColour(random, 0.6, 0.9));
    sky.setColorAt(1, randomColour(random, 0.7, 0.5));
    Painter.fillRect(art, sky);
    Painter.save();
    Painter.setClipRect(art);
    for (int i = 0; i < 9; ++i) {
        Painter.setBrush(randomColour(random, between(random, 0.3, 1), between(random, 0.2, 1)));
        const QPointF centre(between(random, art.left(), art.right()), between(random, art.top(), art.bottom()));
        const double r = between(random, 1.5, 9) * Px;
        if (i % 3 == 0) {
            QPolygonF shape;
            for (int k = 0; k < 5; ++k)
                shape << centre + QPointF(between(random, -r, r), between(random, -r, r));
            Painter.drawPolygon(shape);
        } else {
            Painter.drawEllipse(centre, r, r * between(random, 0.5, 1.5));
        }
    }
    Painter.restore();
    const QRectF type(title.left(), art.bottom() + 1 * Px, title.width(), 4 * Px);
    Painter.fillRect(type, panel.lighter(110));
    drawWords(Painter, random, type.adjusted(1.5 * Px, 1.2 * Px, -1.5 * Px, -1.2 * Px), ink);
    const QRectF text(art.left(), type.bottom() + 1 * Px, art.width(), inner.bottom() - type.bottom() - 5 * Px);
    Painter.fillRect(text, QColor::fromRgb(240, 236, 226));
    for (double y = text.top() + 1.5 * Px; y + 1.3 * Px < text.bottom() - 1 * Px; y += 2.6 * Px)
        drawWords(Painter, random, QRectF(text.left() + 1.5 * Px, y, text.width() - 3 * Px, 1.3 * Px), ink);
    drawWords(Painter, random, QRectF(inner.left() + 2 * Px, inner.bottom() - 2.8 * Px, inner.width() * 0.4, 1 * Px),
              Placed.Design == TCardDesign::DarkBorder ? QColor(Qt::white) : ink);
}

cv::Vec3f lidColour(const TGlassLayout &Layout)
{
    QRandomGenerator random(Layout.Seed * 7 + 3);
    const double base = Layout.BlackLid ? 18 : 249;
    // Stored as the image's bytes run: blue, green, red.
    return {float(base + between(random, -3, 3)), float(base + between(random, -3, 3)),
            float(base + between(random, -3, 3))};
}

// One card in its own frame with a margin for the blur and the shadow: its
// colour premultiplied by its cover and the cover itself (4 channels: blue,
// green, red, cover), and the factor the lid around it is darkened by (1
// channel), all blurred alike.
struct TCardLayers
{
    cv::Mat Card;
    cv::Mat LidFactor;
    int Margin = 0;
    QSize Size;   // the card itself, in pixels
};

TCardLayers cardLayers(const TGlassLayout &Layout, const TPlacedCard &Card)
{
    const double px = pxPerMm(Layout);
    TCardLayers layers;
    layers.Size = CardPixelSize(Layout.Card, Layout.Dpi);
    const double offset = std::hypot(Layout.ShadowOffsetMm.x(), Layout.ShadowOffsetMm.y());
    layers.Margin = int(std::ceil((offset + 5 * Layout.ShadowSoftMm + 5 * Layout.BlurMm) * px)) + 4;
    const int m = layers.Margin;
    QImage sharp(layers.Size.width() + 2 * m, layers.Size.height() + 2 * m, QImage::Format_ARGB32_Premultiplied);
    sharp.fill(Qt::transparent);
    {
        QPainter painter(&sharp);
        painter.setRenderHint(QPainter::Antialiasing);
        drawCard(painter, QRectF(m, m, layers.Size.width(), layers.Size.height()), Card, px);
    }
    cv::Mat bgra(sharp.height(), sharp.width(), CV_8UC4, sharp.bits(), size_t(sharp.bytesPerLine()));
    bgra.convertTo(layers.Card, CV_32F, 1.0 / 255);
    cv::GaussianBlur(layers.Card, layers.Card, cv::Size(), Layout.BlurMm * px);
    cv::Mat cover;
    cv::extractChannel(layers.Card, cover, 3);

    // The shadow falls the lamp's way on the glass; in the card's own frame that
    // way is turned back by the card's angle.
    const double a = -Card.AngleDegrees * kPi / 180;
    const double dx = (Layout.ShadowOffsetMm.x() * std::cos(a) - Layout.ShadowOffsetMm.y() * std::sin(a)) * px;
    const double dy = (Layout.ShadowOffsetMm.x() * std::sin(a) + Layout.ShadowOffsetMm.y() * std::cos(a)) * px;
    // The band the card's moved outline covers beyond the card itself: the
    // lit sides cast none.
    cv::Mat sharpCover;
    cv::extractChannel(bgra, sharpCover, 3);
    sharpCover.convertTo(sharpCover, CV_32F, 1.0 / 255);
    cv::Mat shadow;
    cv::warpAffine(sharpCover, shadow, cv::Matx23d(1, 0, dx, 0, 1, dy), cover.size(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, 0);
    shadow = cv::max(shadow - sharpCover, 0.0);
    cv::GaussianBlur(shadow, shadow, cv::Size(), std::hypot(Layout.ShadowSoftMm, Layout.BlurMm) * px);
    layers.LidFactor = 1.0 - Layout.ShadowStrength * shadow;
    cv::max(layers.LidFactor, 0.0, layers.LidFactor);
    return layers;
}

// Card colour + (1 - cover) * Under * LidFactor, in place on Under (3 channels, 0 to 1).
void composite(const cv::Mat &Card, const cv::Mat &LidFactor, cv::Mat &Under)
{
    for (int y = 0; y < Under.rows; ++y) {
        auto *under = Under.ptr<cv::Vec3f>(y);
        const auto *card = Card.ptr<cv::Vec4f>(y);
        const auto *factor = LidFactor.ptr<float>(y);
        for (int x = 0; x < Under.cols; ++x) {
            const float keep = (1 - card[x][3]) * factor[x];
            under[x] = cv::Vec3f(card[x][0], card[x][1], card[x][2]) + under[x] * keep;
        }
    }
}

cv::Mat bgrOf(QImage &Image)
{
    return cv::Mat(Image.height(), Image.width(), CV_8UC4, Image.bits(), size_t(Image.bytesPerLine()));
}

TTruthCard truthOf(const TGlassLayout &Layout, const TPlacedCard &Card)
{
    const QSize size = CardPixelSize(Layout.Card, Layout.Dpi);
    const double a = Card.AngleDegrees * kPi / 180;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const QPointF centre = Card.CentreMm * pxPerMm(Layout);
    const double halfW = size.width() / 2.0;
    const double halfH = size.height() / 2.0;
    const QPointF local[4] = {{-halfW, -halfH}, {halfW, -halfH}, {halfW, halfH}, {-halfW, halfH}};
    TTruthCard truth;
    for (size_t i = 0; i < 4; ++i)
        truth.Corners[i] = centre + QPointF(c * local[i].x() - s * local[i].y(), s * local[i].x() + c * local[i].y());
    truth.AngleDegrees = Card.AngleDegrees;
    return truth;
}

void placeCard(const TGlassLayout &Layout, const TPlacedCard &Card, QImage &Glass)
{
    const TCardLayers layers = cardLayers(Layout, Card);
    const double px = pxPerMm(Layout);
    const double a = Card.AngleDegrees * kPi / 180;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const QPointF centre = Card.CentreMm * px;
    const double halfW = layers.Size.width() / 2.0;
    const double halfH = layers.Size.height() / 2.0;

    // The region of the glass the card's frame lands on.
    const double reachX = (halfW + layers.Margin) * std::abs(c) + (halfH + layers.Margin) * std::abs(s);
    const double reachY = (halfW + layers.Margin) * std::abs(s) + (halfH + layers.Margin) * std::abs(c);
    const cv::Rect whole(0, 0, Glass.width(), Glass.height());
    const cv::Rect roi = cv::Rect(int(std::floor(centre.x() - reachX)), int(std::floor(centre.y() - reachY)),
                                  int(std::ceil(2 * reachX)) + 2, int(std::ceil(2 * reachY)) + 2)
                         & whole;
    if (roi.empty())
        return;
    // Frame pixel centres (continuous q + 0.5) onto glass pixel centres.
    const double qx = layers.Margin + halfW;
    const double qy = layers.Margin + halfH;
    const cv::Matx23d toGlass(c, -s, c * (0.5 - qx) - s * (0.5 - qy) + centre.x() - 0.5 - roi.x,
                              s, c, s * (0.5 - qx) + c * (0.5 - qy) + centre.y() - 0.5 - roi.y);
    cv::Mat card, factor;
    cv::warpAffine(layers.Card, card, toGlass, roi.size(), cv::INTER_CUBIC, cv::BORDER_CONSTANT, 0);
    cv::warpAffine(layers.LidFactor, factor, toGlass, roi.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 1);

    cv::Mat glass = bgrOf(Glass)(roi);
    cv::Mat under;
    cv::cvtColor(glass, under, cv::COLOR_BGRA2BGR);
    under.convertTo(under, CV_32F, 1.0 / 255);
    composite(card, factor, under);
    cv::Mat bytes;
    under.convertTo(bytes, CV_8U, 255);
    cv::cvtColor(bytes, glass, cv::COLOR_BGR2BGRA);
}

// The lid bends over the cards' thickness: a broad, faint shading around
// each card, made at an eighth of the resolution and laid on the lid before
// the cards.
void shadeLid(const TGlassLayout &Layout, TGlass &Glass)
{
    if (Layout.HaloStrength <= 0)
        return;
    constexpr int kScale = 8;
    const double px = pxPerMm(Layout);
    cv::Mat halo = cv::Mat::zeros(Glass.Image.height() / kScale + 2, Glass.Image.width() / kScale + 2, CV_32F);
    for (const TTruthCard &card : Glass.Truth) {
        std::vector<cv::Point> corners;
        for (const QPointF &corner : card.Corners)
            corners.emplace_back(int(std::lround(corner.x() / kScale)), int(std::lround(corner.y() / kScale)));
        cv::fillConvexPoly(halo, corners, 1.0);
    }
    cv::GaussianBlur(halo, halo, cv::Size(), 2.0 * px / kScale);
    cv::Mat glass = bgrOf(Glass.Image);
    for (int y = 0; y < glass.rows; ++y) {
        auto *row = glass.ptr<cv::Vec4b>(y);
        const double fy = (y + 0.5) / kScale - 0.5;
        const int y0 = std::clamp(int(std::floor(fy)), 0, halo.rows - 2);
        const float wy = float(std::clamp(fy - y0, 0.0, 1.0));
        for (int x = 0; x < glass.cols; ++x) {
            const cv::Vec4b pixel = row[x];
            const double fx = (x + 0.5) / kScale - 0.5;
            const int x0 = std::clamp(int(std::floor(fx)), 0, halo.cols - 2);
            const float wx = float(std::clamp(fx - x0, 0.0, 1.0));
            const float h = (1 - wy) * ((1 - wx) * halo.at<float>(y0, x0) + wx * halo.at<float>(y0, x0 + 1))
                            + wy * ((1 - wx) * halo.at<float>(y0 + 1, x0) + wx * halo.at<float>(y0 + 1, x0 + 1));
            const float keep = 1 - float(Layout.HaloStrength) * h;
            for (int c = 0; c < 3; ++c)
                row[x][c] = uchar(std::lround(pixel[c] * keep));
        }
    }
}

void sprinkleDust(const TGlassLayout &Layout, QImage &Glass)
{
    QRandomGenerator random(Layout.Seed * 31 + 5);
    const double px = pxPerMm(Layout);
    QPainter painter(&Glass);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < Layout.DustSpecks; ++i) {
        const int grey = Layout.BlackLid ? int(between(random, 150, 230)) : int(between(random, 60, 150));
        const QPointF at(between(random, 0, Glass.width()), between(random, 0, Glass.height()));
        if (i % 8 == 7) {
            // A fibre.
            painter.setPen(QPen(QColor(grey, grey, grey), 0.05 * px));
            const double length = between(random, 1, 4) * px;
            const double turn = between(random, 0, 2 * kPi);
            painter.drawLine(at, at + QPointF(length * std::cos(turn), length * std::sin(turn)));
            painter.setPen(Qt::NoPen);
            continue;
        }
        const double r = between(random, 0.04, 0.2) * px;
        painter.setBrush(QColor(grey, grey, grey));
        painter.drawEllipse(at, r, r);
    }
}

void expose(const TGlassLayout &Layout, QImage &Glass)
{
    if (Layout.Gain == 1 && Layout.Offset == 0)
        return;
    cv::Mat table(1, 256, CV_8UC4);
    for (int v = 0; v < 256; ++v) {
        const uchar level = cv::saturate_cast<uchar>(v * Layout.Gain + Layout.Offset);
        table.at<cv::Vec4b>(0, v) = cv::Vec4b(level, level, level, uchar(v));
    }
    cv::Mat glass = bgrOf(Glass);
    cv::LUT(glass, table, glass);
}

void addNoise(const TGlassLayout &Layout, QImage &Glass)
{
    if (Layout.NoiseSigma <= 0)
        return;
    cv::RNG random(Layout.Seed * 1103515245ULL + 12345);
    cv::Mat glass = bgrOf(Glass);
    constexpr int kBand = 256;
    for (int y = 0; y < glass.rows; y += kBand) {
        cv::Mat band = glass.rowRange(y, std::min(glass.rows, y + kBand));
        cv::Mat noise(band.size(), CV_16SC4);
        random.fill(noise, cv::RNG::NORMAL, 0, Layout.NoiseSigma);
        cv::Mat sum;
        cv::add(band, noise, sum, cv::noArray(), CV_8U);
        sum.copyTo(band);
    }
    // The padding byte stays what a 32-bit scan has there.
    for (int y = 0; y < Glass.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(Glass.scanLine(y));
        for (int x = 0; x < Glass.width(); ++x)
            row[x] |= 0xFF000000u;
    }
}

} // namespace

TGlass RenderGlass(const TGlassLayout &Layout)
{
    const double px = pxPerMm(Layout);
    TGlass glass;
    glass.Image = QImage(int(std::lround(Layout.GlassMm.width() * px)), int(std::lround(Layout.GlassMm.height() * px)),
                         QImage::Format_RGB32);
    const cv::Vec3f lid = lidColour(Layout);
    glass.Image.fill(qRgb(int(lid[2] + 0.5f), int(lid[1] + 0.5f), int(lid[0] + 0.5f)));
    for (const TPlacedCard &card : Layout.Cards)
        glass.Truth.push_back(truthOf(Layout, card));
    shadeLid(Layout, glass);
    for (const TPlacedCard &card : Layout.Cards)
        placeCard(Layout, card, glass.Image);
    sprinkleDust(Layout, glass.Image);
    expose(Layout, glass.Image);
    addNoise(Layout, glass.Image);
    return glass;
}

QImage RenderReference(const TGlassLayout &Layout, int Index)
{
    const TCardLayers layers = cardLayers(Layout, Layout.Cards.at(size_t(Index)));
    const cv::Vec3f lid = lidColour(Layout) / 255;
    cv::Mat under(layers.Card.size(), CV_32FC3, cv::Scalar(lid[0], lid[1], lid[2]));
    composite(layers.Card, layers.LidFactor, under);
    const cv::Rect card(layers.Margin, layers.Margin, layers.Size.width(), layers.Size.height());
    QImage reference(layers.Size, QImage::Format_RGB32);
    cv::Mat bytes;
    under(card).convertTo(bytes, CV_8U, 255);
    cv::cvtColor(bytes, bgrOf(reference), cv::COLOR_BGR2BGRA);
    return reference;
}

TGlassLayout RandomGlass(uint32_t Seed, double Dpi, int Count, double MaxAngle, double GapMm)
{
    QRandomGenerator random(Seed);
    TGlassLayout layout;
    layout.Dpi = Dpi;
    layout.Seed = Seed;
    layout.BlackLid = random.bounded(2) == 1;
    layout.BlurMm = between(random, 0.05, 0.09);
    layout.NoiseSigma = between(random, 1.5, 4);
    layout.DustSpecks = int(between(random, 10, 40));
    const double sx = random.bounded(2) ? 1 : -1;
    const double sy = random.bounded(2) ? 1 : -1;
    layout.ShadowOffsetMm = QPointF(sx * between(random, 0.05, 0.25), sy * between(random, 0.05, 0.25));
    layout.ShadowSoftMm = between(random, 0.04, 0.12);
    layout.ShadowStrength = between(random, 0.3, 0.6);
    layout.HaloStrength = random.bounded(2) ? between(random, 0.02, 0.08) : 0;

    const int columns = Count <= 2 ? Count : Count <= 4 ? 2 : 3;
    const int rows = (Count + columns - 1) / columns;
    const double w = layout.Card.WidthMm;
    const double h = layout.Card.HeightMm;
    constexpr double kMargin = 4;
    double limit = MaxAngle;
    for (int attempt = 0;; ++attempt, limit *= 0.7) {
        std::vector<double> angles(static_cast<size_t>(Count));
        for (double &angle : angles)
            angle = between(random, -limit, limit);
        auto boxW = [&](int i) { const double a = angles[size_t(i)] * kPi / 180; return w * std::abs(std::cos(a)) + h * std::abs(std::sin(a)); };
        auto boxH = [&](int i) { const double a = angles[size_t(i)] * kPi / 180; return w * std::abs(std::sin(a)) + h * std::abs(std::cos(a)); };
        std::vector<double> rowWidth(size_t(rows), 0), rowHeight(size_t(rows), 0);
        std::vector<double> gaps(static_cast<size_t>(Count));
        for (int i = 0; i < Count; ++i) {
            const int row = i / columns;
            gaps[size_t(i)] = between(random, GapMm, GapMm + 3);
            rowWidth[size_t(row)] += boxW(i) + (i % columns ? gaps[size_t(i)] : 0);
            rowHeight[size_t(row)] = std::max(rowHeight[size_t(row)], boxH(i));
        }
        const double rowGap = between(random, GapMm, GapMm + 3);
        double totalHeight = (rows - 1) * rowGap;
        for (double height : rowHeight)
            totalHeight += height;
        const double widest = *std::max_element(rowWidth.begin(), rowWidth.end());
        if ((widest > layout.GlassMm.width() - 2 * kMargin || totalHeight > layout.GlassMm.height() - 2 * kMargin)
            && attempt < 40)
            continue;
        double y = kMargin + between(random, 0, layout.GlassMm.height() - 2 * kMargin - totalHeight);
        for (int row = 0; row < rows; ++row) {
            double x = kMargin + between(random, 0, layout.GlassMm.width() - 2 * kMargin - rowWidth[size_t(row)]);
            for (int i = row * columns; i < std::min(Count, (row + 1) * columns); ++i) {
                if (i % columns)
                    x += gaps[size_t(i)];
                TPlacedCard card;
                const double slack = rowHeight[size_t(row)] - boxH(i);
                card.CentreMm = QPointF(x + boxW(i) / 2, y + boxH(i) / 2 + between(random, 0, slack));
                card.AngleDegrees = angles[size_t(i)];
                card.Design = TCardDesign(random.bounded(kCardDesignCount));
                card.Seed = random.generate();
                layout.Cards.push_back(card);
                x += boxW(i);
            }
            y += rowHeight[size_t(row)] + rowGap;
        }
        return layout;
    }
}

double Psnr(const QImage &A, const QImage &B)
{
    const QImage a = A.convertToFormat(QImage::Format_RGB888);
    const QImage b = B.convertToFormat(QImage::Format_RGB888);
    if (a.size() != b.size() || a.isNull())
        return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *pa = a.constScanLine(y);
        const uchar *pb = b.constScanLine(y);
        for (int x = 0; x < 3 * a.width(); ++x) {
            const double d = double(pa[x]) - double(pb[x]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}
