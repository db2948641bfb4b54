#include "GuardCorpus.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMarginMm = 5;

double between(QRandomGenerator &Random, double Low, double High)
{
    return Low + (High - Low) * Random.generateDouble();
}

TGlassLayout areaLayout(double Dpi, bool BlackLid, uint32_t Seed)
{
    QRandomGenerator random(Seed);
    TGlassLayout layout;
    layout.Dpi = Dpi;
    layout.GlassMm = QSizeF(layout.Card.WidthMm + 2 * kMarginMm, layout.Card.HeightMm + 2 * kMarginMm);
    layout.BlackLid = BlackLid;
    layout.Seed = Seed;
    layout.NoiseSigma = between(random, 1.5, 4);
    layout.DustSpecks = int(between(random, 5, 25));
    return layout;
}

} // namespace

std::vector<TPlacedCard> CardSet(TCardDesign Design, uint32_t SetSeed, int Count)
{
    std::vector<TPlacedCard> cards(static_cast<size_t>(Count));
    for (int i = 0; i < Count; ++i) {
        cards[size_t(i)].Design = Design;
        cards[size_t(i)].SetSeed = SetSeed;
        cards[size_t(i)].Seed = SetSeed * 1000 + uint32_t(i) + 1;
    }
    return cards;
}

TGlassLayout CardOnArea(const TPlacedCard &Card, double Dpi, bool BlackLid, uint32_t ScanSeed)
{
    TGlassLayout layout = areaLayout(Dpi, BlackLid, ScanSeed);
    QRandomGenerator random(ScanSeed * 5 + 1);
    TPlacedCard placed = Card;
    placed.CentreMm = QPointF(layout.GlassMm.width() / 2 + between(random, -1, 1),
                              layout.GlassMm.height() / 2 + between(random, -1, 1));
    placed.AngleDegrees = between(random, -1.5, 1.5);
    layout.Cards = {placed};
    return layout;
}

TGlassLayout Rescan(const TGlassLayout &Layout, uint32_t Seed, double MaxShiftMm, double MaxTurn)
{
    QRandomGenerator random(Seed);
    TGlassLayout again = areaLayout(Layout.Dpi, Layout.BlackLid, Seed);
    const double way = between(random, 0, 2 * kPi);
    const double reach = between(random, 0.5, 1) * MaxShiftMm;
    for (TPlacedCard card : Layout.Cards) {
        card.CentreMm += QPointF(reach * std::cos(way), reach * std::sin(way));
        card.AngleDegrees += between(random, -MaxTurn, MaxTurn);
        again.Cards.push_back(card);
    }
    again.Gain = between(random, 0.94, 1.06);
    again.Offset = between(random, -6, 6);
    return again;
}

TGlassLayout EmptyLid(double Dpi, bool BlackLid, uint32_t Seed)
{
    TGlassLayout layout = areaLayout(Dpi, BlackLid, Seed);
    layout.DustSpecks = 60;
    return layout;
}
