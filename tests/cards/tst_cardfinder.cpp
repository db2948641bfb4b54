// The card finder against generated glasses whose every card is known.
#include "CardCorpus.h"

#include "cards/CardFinder.h"

#include <gtest/gtest.h>

#include <QLineF>

#include <cmath>

namespace {

// The truth card nearest to a found one, and how far its corners are off.
double cornerMiss(const TFoundCard &Found, const TTruthCard &Truth)
{
    double worst = 0;
    for (size_t i = 0; i < 4; ++i)
        worst = std::max(worst, QLineF(Found.Corners[i], Truth.Corners[i]).length());
    return worst;
}

const TTruthCard *nearestTruth(const TFoundCard &Found, const TGlass &Glass)
{
    const TTruthCard *nearest = nullptr;
    double best = 1e300;
    for (const TTruthCard &truth : Glass.Truth) {
        const double miss = cornerMiss(Found, truth);
        if (miss < best) {
            best = miss;
            nearest = &truth;
        }
    }
    return nearest;
}

struct TCorpusCase
{
    uint32_t Seed;
    double Dpi;
    int Count;
    double MaxAngle;
};

} // namespace

TEST(CardFinder, FindsPlacesAndCutsEveryCardOfTheCorpus)
{
    const TCorpusCase cases[] = {
        {11, 300, 1, 10}, {12, 300, 2, 10}, {13, 300, 3, 8}, {14, 300, 4, 10}, {15, 300, 5, 4},
        {16, 300, 6, 4},  {17, 300, 7, 3},  {18, 300, 8, 3}, {19, 300, 9, 3},  {20, 300, 4, 6},
        {21, 300, 2, 10}, {22, 300, 9, 3},  {23, 600, 9, 3}, {24, 600, 3, 10},
    };
    double worstCorner300 = 0;
    double worstPsnr = 99;
    for (const TCorpusCase &c : cases) {
        const TGlassLayout layout = RandomGlass(c.Seed, c.Dpi, c.Count, c.MaxAngle, 3);
        const TGlass glass = RenderGlass(layout);
        const std::vector<TFoundCard> found = FindCards(glass.Image, layout.Dpi, layout.Card);
        int sure = 0;
        for (const TFoundCard &card : found) {
            if (!card.Sure()) {
                ADD_FAILURE() << "seed " << c.Seed << ": unsure region, " << UnsureReasonText(card.Unsure)
                              << " at " << card.Corners[0].x() << "," << card.Corners[0].y();
                continue;
            }
            ++sure;
            const TTruthCard *truth = nearestTruth(card, glass);
            const int index = int(truth - glass.Truth.data());
            const double miss = cornerMiss(card, *truth) * 300 / layout.Dpi;
            const double psnr = Psnr(CutCard(glass.Image, card, layout.Dpi, layout.Card), RenderReference(layout, index));
            worstCorner300 = std::max(worstCorner300, miss);
            worstPsnr = std::min(worstPsnr, psnr);
            EXPECT_LE(miss, 2.0) << "seed " << c.Seed << " card " << index;
            EXPECT_GT(psnr, 30.0) << "seed " << c.Seed << " card " << index;
        }
        EXPECT_EQ(sure, c.Count) << "seed " << c.Seed;
    }
    // The figures the corpus gives, for the record.
    printf("worst corner %.2f px at 300 dpi, worst PSNR %.1f dB\n", worstCorner300, worstPsnr);
}

TEST(CardFinder, AnEmptyGlassHoldsNoCardWhateverItsLidAndDust)
{
    for (const bool black : {false, true}) {
        TGlassLayout layout;
        layout.BlackLid = black;
        layout.DustSpecks = 60;
        layout.Seed = black ? 7 : 8;
        EXPECT_TRUE(FindCards(RenderGlass(layout).Image, layout.Dpi, layout.Card).empty()) << (black ? "black" : "white");
    }
    EXPECT_TRUE(FindCards(QImage(), 300, TCardSize{63, 88}).empty());
}

TEST(CardFinder, CardsOfAnotherSizeAreNeverSure)
{
    const TGlassLayout layout = RandomGlass(31, 300, 4, 5, 4);
    const QImage glass = RenderGlass(layout).Image;
    for (const TCardSize size : {TCardSize{59, 86}, TCardSize{70, 95}}) {
        const std::vector<TFoundCard> found = FindCards(glass, layout.Dpi, size);
        EXPECT_EQ(found.size(), layout.Cards.size()) << size.WidthMm;
        for (const TFoundCard &card : found)
            EXPECT_FALSE(card.Sure()) << size.WidthMm;
    }
}

TEST(CardFinder, ReadingOrderGoesByRowsThenLeftToRight)
{
    // Upright boxes given as left, top, width, height; the expected order is their index.
    const struct { double Left, Top, Width, Height; } boxes[] = {
        {10, 12, 60, 90},    // first row: tops differ by less than half a card
        {80, 0, 60, 90},
        {150, 40, 60, 90},
        {5, 140, 60, 90},    // second row, its first card lower than its second
        {75, 120, 60, 90},
        {0, 300, 60, 90},    // a row of its own
    };
    std::vector<TFoundCard> cards;
    for (const auto &box : boxes) {
        TFoundCard card;
        card.Corners = {QPointF(box.Left, box.Top), QPointF(box.Left + box.Width, box.Top),
                        QPointF(box.Left + box.Width, box.Top + box.Height), QPointF(box.Left, box.Top + box.Height)};
        cards.push_back(card);
    }
    std::vector<TFoundCard> shuffled = {cards[4], cards[2], cards[5], cards[0], cards[3], cards[1]};
    SortInReadingOrder(shuffled);
    for (size_t i = 0; i < cards.size(); ++i)
        EXPECT_EQ(shuffled[i].Corners[0], cards[i].Corners[0]) << i;
}
