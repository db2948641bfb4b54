// The demo catalogue answers the same through our server and through nginx
// with the shipped example configuration.
#include "CatalogueServer.h"
#include "NginxServer.h"

#include "download/CatalogueText.h"
#include "download/DownloadCards.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

void checkCatalogue(const TCatalogueAddress &Address)
{
    const TCatalogueAnswer games = RequestCatalogue(Address, GamesListTarget());
    ASSERT_TRUE(games.Ok) << games.Error.toStdString();
    const TCatalogueEntries gameEntries = ReadCatalogueEntries(games.Body, 100);
    EXPECT_TRUE(gameEntries.Error.isEmpty());
    ASSERT_EQ(gameEntries.Entries.size(), 2u);
    EXPECT_EQ(gameEntries.Entries[0].Name, u"Ironvale Chronicles"_s);

    const TCatalogueAnswer sets = RequestCatalogue(Address, SetsListTarget(gameEntries.Entries[0].Id));
    ASSERT_TRUE(sets.Ok) << sets.Error.toStdString();
    EXPECT_EQ(ReadCatalogueEntries(sets.Body, 100).Entries.size(), 3u);

    const TCatalogueAnswer cards = RequestCatalogue(Address, CardsListTarget(101));
    ASSERT_TRUE(cards.Ok) << cards.Error.toStdString();
    const TCatalogueCards read = ReadCatalogueCards(cards.Body, 1000);
    EXPECT_EQ(read.Cards.Count(), 480);
    EXPECT_EQ(read.Distinct.Languages, QStringList({"EN", "DE", "PL", "FR"}));

    // Unknown ids, other paths and ids that try to leave the folder are 404.
    for (const QByteArray &target :
         {CardsListTarget(999), QByteArray("/jobs/get_txt_sets_list.php?gameId=../games"),
          QByteArray("/games.txt"), QByteArray("/jobs/get_txt_cards_list.php?setId=1%2F..")}) {
        const TCatalogueAnswer missing = RequestCatalogue(Address, target);
        EXPECT_FALSE(missing.Ok) << target.constData();
        EXPECT_EQ(missing.Error, u"HTTP/1.1 404 Not Found"_s) << target.constData();
    }
}

} // namespace

TEST(CatalogueServers, OurServerServesTheDemoCatalogue)
{
    TCatalogueServer server = TCatalogueServer::Data(QStringLiteral(DEMO_CATALOGUE_DIR));
    checkCatalogue(server.Address());
}

TEST(CatalogueServers, NginxWithTheExampleServesTheDemoCatalogue)
{
    TNginxServer nginx(QStringLiteral(DEMO_CATALOGUE_DIR "/nginx-catalogue.conf"),
                       QStringLiteral(DEMO_CATALOGUE_DIR));
    if (!nginx.Running() && nginx.Port() == 0)
        GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(nginx.Running()) << nginx.Log().toStdString();
    checkCatalogue({"127.0.0.1", nginx.Port()});
}
