// The demo catalogue answers the same through our server and through nginx
// with the shipped example configuration.
#include "CatalogueServer.h"
#include "NginxServer.h"

#include "download/CatalogueText.h"
#include "download/DownloadCards.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

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

namespace {

// A client of our server's that takes its time: connected and idle, one byte
// of a request, or a whole request followed by bytes without end.
class TSlowClient
{
public:
    enum TKind { Idle, OneByte, Chatty };

    TSlowClient(int Port, TKind Kind)
    {
        // Not blocking: a server that stopped accepting must not hold up the test.
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(Port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        pollfd p{socket_, POLLOUT, 0};
        ::poll(&p, 1, 1000);
        if (Kind == OneByte)
            ::send(socket_, "G", 1, MSG_NOSIGNAL);
        if (Kind == Chatty) {
            const QByteArray request = "GET " + GamesListTarget() + " HTTP/1.1\r\nHost: x\r\n\r\n";
            ::send(socket_, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
            sender_ = std::thread([this] {
                while (!stop_) {
                    ::send(socket_, "x", 1, MSG_NOSIGNAL);
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            });
        }
    }
    ~TSlowClient()
    {
        stop_ = true;
        if (sender_.joinable())
            sender_.join();
        ::close(socket_);
    }

private:
    int socket_ = -1;
    std::atomic<bool> stop_ = false;
    std::thread sender_;
};

} // namespace

TEST(CatalogueServers, SlowAndIdleClientsHoldUpNoOne)
{
    TCatalogueServer server = TCatalogueServer::Data(QStringLiteral(DEMO_CATALOGUE_DIR));
    std::vector<std::unique_ptr<TSlowClient>> slow;
    for (int i = 0; i < 21; ++i)
        slow.push_back(std::make_unique<TSlowClient>(server.Port(), TSlowClient::TKind(i % 3)));
    // Far less than any slow client may keep the server waiting.
    TCatalogueLimits limits;
    limits.ConnectMs = 5'000;
    limits.IdleSeconds = 5;
    const TCatalogueAnswer games = RequestCatalogue(server.Address(), GamesListTarget(), limits);
    EXPECT_TRUE(games.Ok) << games.Error.toStdString();
}
