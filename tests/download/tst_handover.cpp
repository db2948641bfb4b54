// A user's whole download against the demo catalogue: open a game and a set,
// filter to foil German cards without a catalogue scan, accept, and find
// exactly those cards in the main window.
#include "CatalogueServer.h"

#include "download/DownloadCardModel.h"
#include "support/AppFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(DownloadHandOver, FilteredCardsReachTheMainWindow)
{
    TCatalogueServer server = TCatalogueServer::Data(QStringLiteral(DEMO_CATALOGUE_DIR));
    THostOverride host(server.HostSetting());
    TAppFixture app;
    TfrmDownloadData &form = *app.Forms.frmDownloadData;
    TfrmMain &main = app.Main();
    // The wiring the application does at start-up.
    form.SetHandOver([&main](const TGame &G, const TExpansion &E, const std::vector<const TGameCard *> &C) {
        main.AcceptDownloadedList(G, E, C);
    });
    form.SetLoadingNotice(app.Forms.frmLoading.get());

    const auto pick = [](QTreeWidget *List, const QString &Name) {
        const auto found = List->findItems(Name, Qt::MatchExactly);
        if (!found.isEmpty())
            List->setCurrentItem(found.first());
    };
    std::vector<const TGameCard *> shown;
    app.Dialogs.QueueModal([&](QDialog &) {
        form.show();   // asks for the games list
        pick(form.lvGames, u"Ironvale Chronicles"_s);
        form.lvGamesDblClick();
        pick(form.lvSets, u"First Dawn"_s);
        form.lvSetsDblClick();
        form.cbLanguages->setCurrentIndex(form.cbLanguages->findText(u"DE"_s));
        form.cbSubsets->setCurrentIndex(form.cbSubsets->findText(u"Foil"_s));
        form.cbWithoutScan->setChecked(true);
        form.btFilterClick();
        shown = form.CardsModel->CurrentCards();
        form.btAccept->click();
        return form.result();
    });
    main.btDownload->click();

    EXPECT_TRUE(app.Dialogs.Messages.empty()) << app.Dialogs.Texts().join(u'|').toStdString();
    EXPECT_FALSE(app.Forms.frmLoading->isVisible());
    ASSERT_EQ(main.Cards.Count(), 34);
    ASSERT_EQ(shown.size(), 34u);
    for (int i = 0; i < main.Cards.Count(); ++i) {
        const TGameCard *card = main.Cards.Objects(i);
        EXPECT_EQ(card->Id, shown[static_cast<size_t>(i)]->Id);
        EXPECT_EQ(card->Language, "DE");
        EXPECT_TRUE(card->IsFoil());
        EXPECT_TRUE(card->ScanFile.isEmpty());
    }
    EXPECT_EQ(main.lbGameSet->text(), u"Ironvale Chronicles, First Dawn"_s);
    EXPECT_EQ(main.Game->Code, u"ivc"_s);
}
