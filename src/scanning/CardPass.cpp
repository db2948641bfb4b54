#include "scanning/CardPass.h"

#include "platform/MessageCatalogue.h"
#include "scanareas/ScanArea.h"

#include <algorithm>
#include <cmath>

namespace {

double quadrilateralArea(const std::array<QPointF, 4> &Corners)
{
    double twice = 0;
    for (size_t i = 0; i < Corners.size(); ++i) {
        const QPointF &a = Corners[i];
        const QPointF &b = Corners[(i + 1) % Corners.size()];
        twice += a.x() * b.y() - b.x() * a.y();
    }
    return std::abs(twice) / 2;
}

int cardsInRegion(const TFoundCard &Region, double CardAreaPixels)
{
    if (Region.Sure() || !(CardAreaPixels > 0))
        return 1;
    // Overlapping cards cover less than their sum: a region a quarter of a card
    // larger than one is taken for two.
    const double cards = std::floor(quadrilateralArea(Region.Corners) / CardAreaPixels + 0.75);
    // Bounded like the pass itself, whatever corners a broken region has.
    return int(std::clamp(std::isfinite(cards) ? cards : 1.0, 1.0, 100.0));
}

} // namespace

std::vector<TPassCard> AssignFoundCards(const std::vector<TFoundCard> &Found, const QStringList &CardNames,
                                        double CardAreaPixels)
{
    std::vector<TPassCard> cards;
    cards.reserve(Found.size());
    qsizetype next = 0;
    for (size_t i = 0; i < Found.size(); ++i) {
        TPassCard card;
        card.Corners = Found[i].Corners;
        card.Number = int(i) + 1;
        card.Unsure = Found[i].Unsure;
        const int covered = cardsInRegion(Found[i], CardAreaPixels);
        if (next < CardNames.size()) {
            const QStringList names = CardNames.mid(next, covered);
            card.ListIndex = int(next);
            card.ListCount = int(names.size());
            card.CardName = names.join(QStringLiteral(", "));
        }
        next += covered;
        cards.push_back(card);
    }
    return cards;
}

TCardSize AreaCardSize(const TScanArea &Area)
{
    return {AreaLengthMm(Area, Area.CardWidth), AreaLengthMm(Area, Area.CardHeight)};
}

int CardsPerFrame(const TScanArea &Area)
{
    if (!Area.SeveralCards)
        return 1;
    const TCardSize card = AreaCardSize(Area);
    const double cardArea = card.WidthMm * card.HeightMm;
    const double frameArea = AreaLengthMm(Area, Area.Width) * AreaLengthMm(Area, Area.Height);
    if (!(cardArea > 0) || !(frameArea > 0))
        return 1;
    // Bounded, so a stored area of absurd numbers cannot make a scan copy a whole list.
    constexpr double MostCards = 100;
    return int(std::clamp(std::floor(frameArea / cardArea), 1.0, MostCards));
}

QString DoubtText(TUnsureReason Reason)
{
    switch (Reason) {
    case TUnsureReason::Size: return _("its size differs from the card's");
    case TUnsureReason::ImageEdge: return _("it touches the edge of the scan");
    case TUnsureReason::Overlap: return _("it overlaps another card");
    case TUnsureReason::WeakEdges:
    case TUnsureReason::None:
        break;
    }
    return _("its edges do not show clearly");
}
