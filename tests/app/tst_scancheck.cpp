// The check before each scan is saved, through the real window and the
// simulated flatbed scanning picture files.
#include "../cards/GuardCorpus.h"
#include "ScanFixture.h"
#include "settings/Configuration.h"

#include <QLabel>

namespace {

const char *const kPlainArea = "[Plain]\nQuality=300\nUnits=1\nLeft=0\nTop=0\nWidth=8\nHeight=10.5\n";

} // namespace

TEST(ScanCheck, TheSameCardAgainOrAnEmptyGlassIsSavedOnlyWhenTheOperatorSaysSo)
{
    TScanFixture f;
    f.App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kPlainArea);
    f.App.Forms.frmScanAreas->LoadScanAreas();
    const std::vector<TPlacedCard> set = CardSet(TCardDesign::ColourFrame, 44, 2);
    f.PickFirstSource();
    f.PutOnGlass(CardOnArea(set[0], 300, false, 4401));
    f.Scan(0, QStringLiteral("Plain"));
    ASSERT_EQ(f.Main.SelectedRow(), 1);
    f.LogLines();

    // Enter pressed again before the card was swapped: No (the default) keeps nothing.
    f.Scan(1, QStringLiteral("Plain"));
    ASSERT_EQ(f.App.Dialogs.Texts(),
              QStringList({"This scan looks like the previous card, Card 1. Save it as Card 2 anyway?"}));
    QStringList log = f.LogLines();
    EXPECT_TRUE(log.filter(QStringLiteral("Scan check: looks like the previous card Card 1 (score")).size() == 1);
    EXPECT_TRUE(log.contains(QStringLiteral("Scan check: operator kept nothing, Card 2 stays unscanned")));
    EXPECT_FALSE(QFileInfo::exists(f.Pics("HQ/xy/abc/2.jpg")));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);
    EXPECT_EQ(f.Main.SelectedRow(), 1);

    // The glass left empty.
    f.App.Dialogs.Messages.clear();
    f.PutOnGlass(EmptyLid(300, false, 4402));
    f.Scan(1, QStringLiteral("Plain"));
    ASSERT_EQ(f.App.Dialogs.Texts(),
              QStringList({"This scan shows no card, only the lid. Save it as Card 2 anyway?"}));
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Scan check: operator kept nothing, Card 2 stays unscanned")));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);

    // The next card of the set: saved unasked.
    f.App.Dialogs.Messages.clear();
    f.PutOnGlass(CardOnArea(set[1], 300, false, 4403));
    f.Scan(1, QStringLiteral("Plain"));
    EXPECT_TRUE(f.App.Dialogs.Messages.empty()) << f.App.Dialogs.Texts().join(u'|').toStdString();
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanHQ);
    EXPECT_EQ(f.Main.lbProgress->text(), QStringLiteral("Scanned 2 of 4 (2 in this run)"));

    // Yes saves the same card again; with the check off nothing is asked.
    f.App.Dialogs.QueueAnswer(true);
    f.Scan(2, QStringLiteral("Plain"));
    EXPECT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Scan check: operator saved the scan as Card 3 anyway")));
    EXPECT_EQ(f.Main.Cards.Objects(2)->ScanStatus, ScanHQ);
    f.App.Forms.frmConfiguration->CheckScans = false;
    f.Scan(3, QStringLiteral("Plain"));
    EXPECT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(f.Main.Cards.Objects(3)->ScanStatus, ScanHQ);
}
