// The scan guard against generated scans of card areas: every re-scan of a
// card and every empty lid caught, no other card of the same set taken for
// the card before it, no card taken for an empty lid.
#include "GuardCorpus.h"

#include "cards/ScanGuard.h"
#include "cards/ScanQuestion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

struct TSetCase
{
    TCardDesign Design;
    uint32_t SetSeed;
    bool BlackLid;
    double Dpi;
    int Count;
};

} // namespace

TEST(ScanGuard, CatchesEveryRescanAndNeverTakesAnotherCardOfTheSetForIt)
{
    const TSetCase sets[] = {
        {TCardDesign::DarkBorder, 3, false, 300, 10},  {TCardDesign::LightBorder, 4, false, 300, 10},
        {TCardDesign::ColourFrame, 5, true, 300, 10},  {TCardDesign::Token, 6, false, 300, 10},
        {TCardDesign::DarkBorder, 7, true, 300, 10},   {TCardDesign::Token, 8, false, 600, 4},
        {TCardDesign::LightBorder, 9, true, 600, 4},
    };
    double worstRescan = 1;
    double worstOther = 0;
    double worstCard = 0;
    int pairs = 0;
    for (const TSetCase &set : sets) {
        std::vector<QImage> scans;
        uint32_t scanSeed = set.SetSeed * 100;
        for (const TPlacedCard &card : CardSet(set.Design, set.SetSeed, set.Count)) {
            const TGlassLayout first = CardOnArea(card, set.Dpi, set.BlackLid, ++scanSeed);
            const QImage scan = RenderGlass(first).Image;
            // The workflow keeps the small copy of the card saved last.
            scans.push_back(GuardPicture(scan));
            const QImage again = RenderGlass(Rescan(first, ++scanSeed)).Image;
            const TGuardScore same = SameCard(scans.back(), again);
            worstRescan = std::min(worstRescan, same.Score);
            EXPECT_TRUE(same.Yes) << "set " << set.SetSeed << " card " << card.Seed << " score " << same.Score;
            for (const QImage &picture : {scan, again}) {
                const TGuardScore empty = EmptyArea(picture);
                worstCard = std::max(worstCard, empty.Score);
                EXPECT_FALSE(empty.Yes) << "set " << set.SetSeed << " card " << card.Seed << " score " << empty.Score;
            }
        }
        for (size_t a = 0; a < scans.size(); ++a)
            for (size_t b = a + 1; b < scans.size(); ++b) {
                const TGuardScore same = SameCard(scans[a], scans[b]);
                worstOther = std::max(worstOther, same.Score);
                EXPECT_FALSE(same.Yes) << "set " << set.SetSeed << " cards " << a << ", " << b << " score " << same.Score;
                ++pairs;
            }
    }
    EXPECT_GE(pairs, 200);
    std::printf("lowest re-scan score %.3f, highest other card %.3f, highest empty score of a card %.4f\n",
                worstRescan, worstOther, worstCard);
}

TEST(ScanGuard, CatchesEveryEmptyLidWhateverItsColourAndDust)
{
    double worst = 1;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const TGuardScore empty = EmptyArea(RenderGlass(EmptyLid(seed <= 6 ? 300 : 600, seed % 2, seed)).Image);
        worst = std::min(worst, empty.Score);
        EXPECT_TRUE(empty.Yes) << "seed " << seed << " score " << empty.Score;
    }
    std::printf("lowest empty-lid score %.3f\n", worst);
}

TEST(ScanQuestion, AsksForTheSameCardOrAnEmptyAreaOnlyWhileTheCheckIsOn)
{
    const std::vector<TPlacedCard> set = CardSet(TCardDesign::DarkBorder, 21, 2);
    const TGlassLayout forestGuard = CardOnArea(set[0], 300, false, 2101);
    const std::vector<TSavedScan> none;
    const std::vector<TSavedScan> saved = {{GuardPicture(RenderGlass(forestGuard).Image), QStringLiteral("Forest Guard")}};
    const QImage again = RenderGlass(Rescan(forestGuard, 2102)).Image;
    const QImage other = RenderGlass(CardOnArea(set[1], 300, false, 2103)).Image;
    const QImage lid = RenderGlass(EmptyLid(300, false, 2104)).Image;
    const QString sameText = QStringLiteral("This scan looks like the previous card, Forest Guard. Save it as Stone "
                                            "Golem anyway?");
    const QString emptyText = QStringLiteral("This scan shows no card, only the lid. Save it as Stone Golem anyway?");
    const struct
    {
        const char *Name;
        const std::vector<TSavedScan> &Previous;
        const QImage &Scan;
        bool Check;
        TScanDoubt Doubt;
        QString Text;
        const char *LogStart;
    } cases[] = {
        {"the same card again", saved, again, true, TScanDoubt::SameCard, sameText,
         "Scan check: looks like the previous card Forest Guard (score "},
        {"another card", saved, other, true, TScanDoubt::None, {}, "Scan check passed (empty 0.00, previous card 0.0"},
        {"the run's first scan", none, again, true, TScanDoubt::None, {},
         "Scan check passed (empty 0.00, previous card none)"},
        {"an empty area", saved, lid, true, TScanDoubt::EmptyArea, emptyText, "Scan check: no card in the area (score 1"},
        {"the check off", saved, again, false, TScanDoubt::None, {}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        const TScanQuestion question =
            ScanQuestion(c.Previous, c.Scan, QStringLiteral("Stone Golem"), c.Check);
        EXPECT_EQ(question.Doubt, c.Doubt);
        EXPECT_EQ(question.Text, c.Text);
        EXPECT_EQ(question.LogLine.isEmpty(), !c.Check);
        EXPECT_TRUE(question.LogLine.startsWith(QLatin1String(c.LogStart)) || !c.Check) << question.LogLine.toStdString();
        // Kept once saved, the small copy must answer as the scan itself.
        EXPECT_EQ(question.Picture.isNull(), !c.Check);
    }
    const TScanQuestion kept = ScanQuestion(saved, again, QStringLiteral("Stone Golem"), true);
    EXPECT_TRUE(ScanQuestion({{kept.Picture, QStringLiteral("Stone Golem")}}, again, QStringLiteral("Oak Sage"), true).Doubt
                == TScanDoubt::SameCard);
    EXPECT_EQ(kept.AnswerLogLine(true), QStringLiteral("Scan check: operator saved the scan as Stone Golem anyway"));
    EXPECT_EQ(kept.AnswerLogLine(false), QStringLiteral("Scan check: operator kept nothing, Stone Golem stays unscanned"));
}
