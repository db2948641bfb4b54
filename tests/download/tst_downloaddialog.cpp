// The download dialog offscreen against our catalogue server on loopback.
#include "CatalogueServer.h"

#include "download/DownloadCardModel.h"
#include "download/DownloadData.h"
#include "download/Loading.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Game 1 "alpha" has sets 10 (two languages, two subsets, one rarity) and 11
// (one of each); set 12 has no file, so asking for it fails with 404.
const QByteArray kGames = "2,Zeta,zt\r\n1,alpha,al\r\n3,Beta,bt\r\n";
const QByteArray kSets = "11,Plain,pl\r\n10,\"Mixed Set\",mx\r\n12,Missing,ms\r\n";
const QByteArray kMixedCards =
    "1,\"Stone Golem\",EN,3,,,C,FOIL,0,Creature,,\r\n"
    "2,\"Ash Seer\",DE,1,,s2.jpg,C,,10,Creature,,\r\n"
    "3,\"Ash Seer\",EN,1,,,C,,0,Creature,,\r\n"
    "4,\"Moss Wisp\",DE,2,,,C,FOIL,10,Spirit,,\r\n"
    "short,line\r\n"
    "5,\"Dusk Drake\",DE,4,,,C,FOIL,0,Dragon,,\r\n";
const QByteArray kPlainCards = "7,One,EN,1,,,C,,0,,,\r\n8,Two,EN,2,,,C,,0,,,\r\n";

struct TDownloadFixture : ::testing::Test
{
    TTestEnvironment Env;
    TDialogRecorder Dialogs;
    TCatalogueServer Server = TCatalogueServer::Data(writeCatalogue());
    THostOverride Host{Server.HostSetting()};
    TfrmDownloadData Form;

    TDownloadFixture() { Form.SetNetworkCheck([] { return true; }); }

    QString writeCatalogue()
    {
        Env.WriteFile(u"cat/games.txt"_s, kGames);
        Env.WriteFile(u"cat/sets/1.txt"_s, kSets);
        Env.WriteFile(u"cat/cards/10.txt"_s, kMixedCards);
        Env.WriteFile(u"cat/cards/11.txt"_s, kPlainCards);
        return Env.Path(u"cat"_s);
    }

    static QStringList texts(const QTreeWidget *List)
    {
        QStringList result;
        for (int i = 0; i < List->topLevelItemCount(); ++i)
            result << List->topLevelItem(i)->text(0);
        return result;
    }
    static QStringList entries(const QComboBox *List)
    {
        QStringList result;
        for (int i = 0; i < List->count(); ++i)
            result << List->itemText(i);
        return result;
    }
    static void open(QTreeWidget *List, const QString &Name)
    {
        const auto found = List->findItems(Name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << Name.toStdString();
        List->setCurrentItem(found.first());
    }
    // As a user does it: Enter on the game, Enter on the set.
    void openSet(const QString &Name)
    {
        Form.FormShow();
        open(Form.lvGames, u"alpha"_s);
        QTest::keyClick(Form.lvGames, Qt::Key_Return);
        open(Form.lvSets, Name);
        QTest::keyClick(Form.lvSets, Qt::Key_Return);
    }
    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < Form.CardsModel->rowCount(); ++row)
            names << Form.CardsModel->CardAt(row)->Name + u'/' + FromAnsi(Form.CardsModel->CardAt(row)->Language);
        return names;
    }
};

} // namespace

TEST_F(TDownloadFixture, OpensGameAndSetAndOffersWhatTheCardsHold)
{
    QAbstractItemModelTester tester(Form.CardsModel, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester filterTester(Form.cbLanguages->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Form.FormShow();
    EXPECT_EQ(texts(Form.lvGames), QStringList({"alpha", "Beta", "Zeta"}));
    EXPECT_EQ(Form.lvGames->currentItem()->text(0), u"alpha"_s);
    open(Form.lvGames, u"alpha"_s);
    Form.lvGamesDblClick();
    EXPECT_EQ(Form.Game->Code, u"al"_s);
    EXPECT_EQ(texts(Form.lvSets), QStringList({"Missing", "Mixed Set", "Plain"}));
    EXPECT_FALSE(Form.btAccept->isEnabled());

    open(Form.lvSets, u"Mixed Set"_s);
    Form.lvSetsDblClick();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.Texts().join(u'|').toStdString();
    EXPECT_EQ(Form.Expansion->Id, 10);
    EXPECT_EQ(Form.Cards.Count(), 5);   // the short line is skipped
    EXPECT_EQ(Form.lbResults->text(), u"5"_s);
    EXPECT_TRUE(Form.btAccept->isEnabled());
    EXPECT_EQ(Form.Cards.Objects(1)->ScanStatus, 1);   // the catalogue holds its scan
    EXPECT_EQ(entries(Form.cbLanguages), QStringList({"-- All --", "DE", "EN"}));
    EXPECT_EQ(entries(Form.cbSubsets), QStringList({"-- All --", "1st Edition", "Normal"}));
    EXPECT_EQ(Form.cbSubsets->currentIndex(), 0);
    EXPECT_EQ(Form.cbRarity->count(), 0);
    for (QWidget *usable : std::initializer_list<QWidget *>{Form.cbLanguages, Form.lbLanguages, Form.cbSubsets,
                                                            Form.cbWithoutScan, Form.btFilter, Form.btResetFilter})
        EXPECT_TRUE(usable->isEnabled()) << usable->objectName().toStdString();
    EXPECT_FALSE(Form.cbRarity->isEnabled());
    EXPECT_FALSE(Form.lbRarity->isEnabled());

    // Foil row 0 green, the grid's own colours on the focused row only.
    EXPECT_EQ(Form.CardsModel->data(Form.CardsModel->index(0, dcName), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(192, 255, 192));
    EXPECT_EQ(Form.CardsModel->data(Form.CardsModel->index(1, dcNumber), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(245, 245, 245));

    // Opening another game empties the grid.
    open(Form.lvGames, u"Beta"_s);
    Form.lvGamesDblClick();
    EXPECT_EQ(Form.CardsModel->rowCount(), 0);
    EXPECT_EQ(Form.lbResults->text(), u"0"_s);
    EXPECT_FALSE(Form.btAccept->isEnabled());
    EXPECT_FALSE(Form.gbFilter->isEnabled());
}

TEST_F(TDownloadFixture, OneValueOfEachLeavesTheFilterGroupOff)
{
    openSet(u"Plain"_s);
    EXPECT_EQ(Form.Cards.Count(), 2);
    EXPECT_FALSE(Form.gbFilter->isEnabled());
    EXPECT_FALSE(Form.cbWithoutScan->isEnabled());
    EXPECT_FALSE(Form.btFilter->isEnabled());
}

TEST_F(TDownloadFixture, FilterNarrowsResetsAndWarnsWhenNothingPasses)
{
    openSet(u"Mixed Set"_s);
    Form.cbLanguages->setCurrentIndex(Form.cbLanguages->findText(u"DE"_s));
    Form.cbWithoutScan->setChecked(true);
    Form.btFilterClick();
    EXPECT_EQ(shownNames(), QStringList({"Moss Wisp/DE", "Dusk Drake/DE"}));
    EXPECT_EQ(Form.lbResults->text(), u"2"_s);

    Form.cbSubsets->setCurrentIndex(Form.cbSubsets->findText(u"Normal"_s));
    Form.btFilterClick();
    EXPECT_EQ(shownNames(), QStringList({"Dusk Drake/DE"}));

    Form.cbLanguages->setCurrentIndex(Form.cbLanguages->findText(u"EN"_s));
    Form.cbSubsets->setCurrentIndex(Form.cbSubsets->findText(u"1st Edition"_s));
    Form.btFilterClick();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, u"No results. Filter will not be used."_s);
    EXPECT_EQ(Dialogs.Messages[0].Type, TMsgDlgType::Warning);
    EXPECT_EQ(Form.lbResults->text(), u"5"_s);
    EXPECT_EQ(Form.cbLanguages->currentText(), u"EN"_s);   // the choices stay

    Form.cbLanguages->setCurrentIndex(0);
    Form.cbSubsets->setCurrentIndex(0);
    Form.btFilterClick();
    EXPECT_EQ(Form.CardsModel->rowCount(), 4);   // only the catalogue scan is left out
    Form.btResetFilterClick();
    EXPECT_EQ(Form.CardsModel->rowCount(), 5);
    EXPECT_TRUE(Form.cbWithoutScan->isChecked());
}

TEST_F(TDownloadFixture, SortsTheCurrentListWithItsTieBreaks)
{
    openSet(u"Mixed Set"_s);
    Form.vstCardsHeaderClick(dcName);
    Form.vstCardsHeaderClick(dcName);
    EXPECT_TRUE(Form.SortDescending());
    EXPECT_EQ(shownNames().first(), u"Stone Golem/EN"_s);
    Form.vstCardsHeaderClick(dcNumber);
    EXPECT_FALSE(Form.SortDescending());
    // Equal numbers go by name, then language: DE before EN.
    EXPECT_EQ(shownNames(), QStringList({"Ash Seer/DE", "Ash Seer/EN", "Moss Wisp/DE", "Stone Golem/EN",
                                         "Dusk Drake/DE"}));
    Form.vstCardsHeaderClick(dcRarity);
    EXPECT_EQ(shownNames().mid(0, 2), QStringList({"Ash Seer/DE", "Ash Seer/EN"}));

    // Sorting while filtered touches only the filter's list.
    Form.vstCardsHeaderClick(dcNumber);
    const QStringList fullOrder = shownNames();
    Form.cbLanguages->setCurrentIndex(Form.cbLanguages->findText(u"DE"_s));
    Form.btFilterClick();
    Form.vstCardsHeaderClick(dcNumber);   // now descending
    EXPECT_EQ(shownNames(), QStringList({"Dusk Drake/DE", "Moss Wisp/DE", "Ash Seer/DE"}));
    Form.btResetFilterClick();
    EXPECT_EQ(shownNames(), fullOrder);

    // Type-ahead goes forward from the focused row and wraps.
    Form.vstCards->setCurrentIndex(Form.CardsModel->index(2, 0));
    Form.vstCardsIncrementalSearch(u"a"_s, 10'000);
    EXPECT_EQ(Form.vstCards->currentIndex().row(), 0);
    Form.vstCardsIncrementalSearch(u"S"_s, 10'100);   // "aS" still matches "Ash Seer"
    EXPECT_EQ(Form.vstCards->currentIndex().row(), 0);
    Form.vstCardsIncrementalSearch(u"d"_s, 20'000);   // a pause starts a new text
    EXPECT_EQ(Form.CardsModel->CardAt(Form.vstCards->currentIndex().row())->Name, u"Dusk Drake"_s);
}

TEST_F(TDownloadFixture, AcceptHandsOverOnlyTheFilteredCardsAndCancelNothing)
{
    std::vector<TGameCard> handed;
    QString gameSet;
    Form.SetHandOver([&](const TGame &G, const TExpansion &E, const std::vector<const TGameCard *> &Cards) {
        gameSet = G.Name + u", "_s + E.Name;
        for (const TGameCard *card : Cards)
            handed.push_back(*card);
    });
    openSet(u"Mixed Set"_s);
    Form.btCancel->click();
    EXPECT_TRUE(handed.empty());
    EXPECT_EQ(Form.result(), QDialog::Rejected);

    Form.cbLanguages->setCurrentIndex(Form.cbLanguages->findText(u"DE"_s));
    Form.btFilterClick();
    Form.btAcceptClick();
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    EXPECT_EQ(gameSet, u"alpha, Mixed Set"_s);
    ASSERT_EQ(handed.size(), 3u);
    EXPECT_EQ(handed[0].Name, u"Ash Seer"_s);
    EXPECT_EQ(handed[0].ScanStatus, 1);
}

TEST_F(TDownloadFixture, FailedSetsAndCardsShowTheFailureAlone)
{
    openSet(u"Missing"_s);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, u"HTTP/1.1 404 Not Found"_s);
    EXPECT_EQ(Dialogs.Messages[0].Type, TMsgDlgType::Error);
    EXPECT_EQ(Form.CardsModel->rowCount(), 0);
    EXPECT_EQ(Form.lbResults->text(), u"0"_s);
    EXPECT_FALSE(Form.btAccept->isEnabled());
    EXPECT_EQ(Form.cbLanguages->count(), 0);

    open(Form.lvGames, u"Beta"_s);   // game 3 has no sets file
    Form.lvGamesDblClick();
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[1].Text, u"HTTP/1.1 404 Not Found"_s);
    EXPECT_EQ(Form.lvSets->topLevelItemCount(), 0);
}

TEST(DownloadDialog, GamesFailuresKeepWhatWasReadAndNamesTheSite)
{
    TTestEnvironment env;
    struct Case { QByteArray Answer; QStringList Games; QString MessageStart; };
    const Case cases[] = {
        {"HTTP/1.1 500 Oops\r\n\r\n", {}, u"Error while downloading card list from server www.vellumora.com: HTTP/1.1 500 Oops"_s},
        {"HTTP/1.1 200 OK\r\n\r\n1,Alpha,alp\r\n\r\n2,B,b\r\n", {"Alpha"},
         u"Error while downloading card list from server www.vellumora.com: "_s},
    };
    for (const Case &c : cases) {
        TDialogRecorder dialogs;
        TCatalogueServer server = TCatalogueServer::Raw(c.Answer);
        THostOverride host(server.HostSetting());
        TfrmDownloadData form;
        form.SetNetworkCheck([] { return true; });
        form.FormShow();
        EXPECT_EQ(TDownloadFixture::texts(form.lvGames), c.Games);
        EXPECT_EQ(form.lvGames->currentItem(), nullptr);
        ASSERT_EQ(dialogs.Messages.size(), 1u);
        EXPECT_TRUE(dialogs.Messages[0].Text.startsWith(c.MessageStart)) << dialogs.Messages[0].Text.toStdString();
        EXPECT_EQ(dialogs.Messages[0].Type, TMsgDlgType::Error);
    }
}

TEST_F(TDownloadFixture, ShowingAgainOrOfflineAsksNothing)
{
    Form.SetNetworkCheck([] { return false; });
    Form.FormShow();
    EXPECT_EQ(Form.lvGames->topLevelItemCount(), 0);
    EXPECT_TRUE(Dialogs.Messages.empty());

    Form.SetNetworkCheck([] { return true; });
    openSet(u"Mixed Set"_s);
    Form.vstCardsHeaderClick(dcName);
    // With the server gone, a request would end in a message.
    THostOverride nowhere(u"127.0.0.1:1"_s);
    Form.FormShow();
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(Form.Cards.Count(), 5);
    EXPECT_EQ(Form.SortColumn(), dcName);
}

namespace {

// The dialog shown and active with its connecting notice, as the user meets it.
struct TShownDialog : TDownloadFixture
{
    TfrmLoading Notice;
    std::vector<TGameCard> Handed;

    TShownDialog()
    {
        Form.SetLoadingNotice(&Notice);
        Form.SetHandOver([this](const TGame &, const TExpansion &, const std::vector<const TGameCard *> &Cards) {
            for (const TGameCard *card : Cards)
                Handed.push_back(*card);
        });
        Form.show();   // asks for the games list
        Form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Form));
    }

    static void doubleClick(QTreeWidget *List, const QString &Name)
    {
        const auto found = List->findItems(Name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << Name.toStdString();
        const QPoint at = List->visualItemRect(found.first()).center();
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(List->viewport(), Qt::LeftButton, {}, at);
    }
};

} // namespace

TEST_F(TShownDialog, DoubleClicksWhileLoadingOpenTheGameOrSetOnce)
{
    // The second double-click arrives while the first one's request is under
    // way, when the notice is being drawn.
    const auto again = [](QTreeWidget *List, const QString &Name) {
        QTimer::singleShot(0, List, [List, Name] { doubleClick(List, Name); });
        doubleClick(List, Name);
    };
    again(Form.lvGames, u"alpha"_s);
    EXPECT_EQ(texts(Form.lvSets), QStringList({"Missing", "Mixed Set", "Plain"}));
    again(Form.lvSets, u"Mixed Set"_s);
    EXPECT_EQ(Form.Cards.Count(), 5);
    EXPECT_EQ(Form.lbResults->text(), u"5"_s);
    Form.btAccept->click();
    EXPECT_EQ(Handed.size(), 5u);
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.Texts().join(u'|').toStdString();
}

TEST_F(TShownDialog, EnterEnterEnterHandsTheSetOver)
{
    // Each key goes where the focus is once the notice is gone.
    const auto focused = [this] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Form));
        return QApplication::focusWidget();
    };
    ASSERT_EQ(focused(), Form.lvGames);
    QTest::keyClick(focused(), Qt::Key_Return);   // alpha
    ASSERT_EQ(focused(), Form.lvSets);
    QTest::keyClick(focused(), Qt::Key_Down);     // Mixed Set
    QTest::keyClick(focused(), Qt::Key_Return);
    ASSERT_EQ(focused(), Form.btAccept);
    QTest::keyClick(focused(), Qt::Key_Return);
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    EXPECT_EQ(Handed.size(), 5u);
}

TEST_F(TShownDialog, EnterThatClosedAMessageDoesNotOpenTheSetAgain)
{
    doubleClick(Form.lvGames, u"alpha"_s);
    open(Form.lvSets, u"Missing"_s);
    QTest::keyClick(Form.lvSets, Qt::Key_Return);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    // The box took the press; its release comes to the list.
    QTest::keyRelease(Form.lvSets, Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
    QTest::keyClick(Form.lvSets, Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
}

TEST_F(TDownloadFixture, ASetOverTheCardCapIsAMessageAndNoList)
{
    TCatalogueLimits limits;
    limits.MaxRecords = 4;
    Form.SetLimits(limits);
    openSet(u"Mixed Set"_s);   // five cards
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, u"The set has more than 4 cards; its list was not loaded."_s);
    EXPECT_EQ(Form.Cards.Count(), 0);
    EXPECT_FALSE(Form.btAccept->isEnabled());
    EXPECT_EQ(texts(Form.lvSets), QStringList({"Missing", "Mixed Set", "Plain"}));
}
