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

TGlassSpec areaSpec(double Dpi, bool BlackLid, uint32_t Seed)
{
    QRandomGenerator random(Seed);
    TGlassSpec spec;
    spec.Dpi = Dpi;
    spec.GlassMm = QSizeF(spec.Card.WidthMm + 2 * kMarginMm, spec.Card.HeightMm + 2 * kMarginMm);
    spec.BlackLid = BlackLid;
    spec.Seed = Seed;
    spec.NoiseSigma = between(random, 1.5, 4);
    spec.DustSpecks = int(between(random, 5, 25));
    return spec;
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

TGlassSpec CardOnArea(const TPlacedCard &Card, double Dpi, bool BlackLid, uint32_t ScanSeed)
{
    TGlassSpec spec = areaSpec(Dpi, BlackLid, ScanSeed);
    QRandomGenerator random(ScanSeed * 5 + 1);
    TPlacedCard placed = Card;
    placed.CentreMm = QPointF(spec.GlassMm.width() / 2 + between(random, -1, 1),
                              spec.GlassMm.height() / 2 + between(random, -1, 1));
    placed.AngleDegrees = between(random, -1.5, 1.5);
    spec.Cards = {placed};
    return spec;
}

TGlassSpec Rescan(const TGlassSpec &Spec, uint32_t Seed, double MaxShiftMm, double MaxTurn)
{
    QRandomGenerator random(Seed);
    TGlassSpec again = areaSpec(Spec.Dpi, Spec.BlackLid, Seed);
    const double way = between(random, 0, 2 * kPi);
    const double reach = between(random, 0.5, 1) * MaxShiftMm;
    for (TPlacedCard card : Spec.Cards) {
        card.CentreMm += QPointF(reach * std::cos(way), reach * std::sin(way));
        card.AngleDegrees += between(random, -MaxTurn, MaxTurn);
        again.Cards.push_back(card);
    }
    again.Gain = between(random, 0.94, 1.06);
    again.Offset = between(random, -6, 6);
    return again;
}

TGlassSpec EmptyLid(double Dpi, bool BlackLid, uint32_t Seed)
{
    TGlassSpec spec = areaSpec(Dpi, BlackLid, Seed);
    spec.DustSpecks = 60;
    return spec;
}
