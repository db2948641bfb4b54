// The catalogue client against our own server on loopback: the bytes it sends
// and how it judges every kind of answer.
#include "CatalogueServer.h"

#include "download/CatalogueClient.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64; rv:67.0) Gecko/20100101 Firefox/67.0";

QByteArray ok(const QByteArray &Body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(Body.size()) + "\r\n\r\n" + Body;
}

} // namespace

TEST(CatalogueProtocol, SendsExactlyTheRequestLineAndFourHeaders)
{
    const struct { QByteArray Target; } cases[] = {
        {GamesListTarget()}, {SetsListTarget(5)}, {CardsListTarget(-2)}};
    EXPECT_EQ(SetsListTarget(5), "/jobs/get_txt_sets_list.php?gameId=5");
    EXPECT_EQ(CardsListTarget(-2), "/jobs/get_txt_cards_list.php?setId=-2");
    // A proxy in the environment must not be used.
    qputenv("http_proxy", "http://127.0.0.1:9");
    qputenv("HTTP_PROXY", "http://127.0.0.1:9");
    for (const auto &c : cases) {
        TCatalogueServer server = TCatalogueServer::Raw(ok("1,A,a\r\n"));
        const TCatalogueAnswer answer = RequestCatalogue(server.Address(), c.Target);
        EXPECT_TRUE(answer.Ok) << answer.Error.toStdString();
        const QByteArray host = "127.0.0.1:" + QByteArray::number(server.Port());
        const QByteArray expected = "GET " + c.Target + " HTTP/1.1\r\nContent-Type: text/plain\r\nHost: "
                                    + host + "\r\nAccept: text/html, */*\r\nUser-Agent: " + kUserAgent
                                    + "\r\n\r\n";
        EXPECT_EQ(server.LastRequest().toStdString(), expected.toStdString());
    }
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
}

TEST(CatalogueProtocol, JudgesStatusAndReadsEveryKindOfBody)
{
    struct Case
    {
        const char *Name;
        QByteArray Answer;
        bool Ok;
        QString ErrorOrFirstLine;
        int LineCount;
    };
    const QByteArray bytes26(26, 'z');
    const Case cases[] = {
        {"301 with Location",
         "HTTP/1.1 301 Moved Permanently\r\nLocation: http://127.0.0.1:9/x\r\nContent-Length: 0\r\n\r\n",
         false, u"HTTP/1.1 301 Moved Permanently"_s, 0},
        {"200 with Location", "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 5\r\n\r\n1,a,b",
         false, u"HTTP/1.1 200 OK"_s, 0},
        {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", false,
         u"HTTP/1.1 404 Not Found"_s, 0},
        {"401", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=x\r\n\r\n", false,
         u"HTTP/1.1 401 Unauthorized"_s, 0},
        {"204", "HTTP/1.1 204 No Content\r\n\r\n", true, QString(), 0},
        {"Content-Length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true, QString(), 0},
        {"chunked 1a then 0",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\n" + bytes26 + "\r\n0\r\n\r\n",
         true, QString::fromLatin1(bytes26), 1},
        {"read to close", "HTTP/1.1 200 OK\r\n\r\n1,A,a\r\n2,B,b", true, u"1,A,a"_s, 2},
        {"100 then 200", "HTTP/1.1 100 Continue\r\n\r\n" + ok("1,A,a"), true, u"1,A,a"_s, 1},
        {"Content-Length beyond the body", "HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n1,A,a\n",
         true, u"1,A,a"_s, 1},
        {"closed mid-chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nabc", false,
         QString(), 0},
        {"header line of 20,000 characters",
         "HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(20'000, 'x') + "\r\n\r\n1,A,a", false, QString(), 0},
        {"Content-Length not a number", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n1,A,a\n2,B,b", true,
         u"1,A,a"_s, 2},
        {"Content-Length past 64 bits",
         "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n1,A,a", true, u"1,A,a"_s, 1},
        {"chunk size past 64 bits",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\nabc", false, QString(), 0},
        // A status line without a code fails with the line itself.
        {"not HTTP at all", "hello\r\n\r\n", false, u"hello"_s, 0},
        {"no code", "HTTP/1.1 OK\r\nContent-Length: 5\r\n\r\n1,A,a", false, u"HTTP/1.1 OK"_s, 0},
        {"code of letters", "HTTP/1.1 2xx Fine\r\n\r\n1,A,a", false, u"HTTP/1.1 2xx Fine"_s, 0},
        {"HTTP/0.9 answer", "1,Alpha,alp\r\n2,Beta,bt\r\n", false, u"1,Alpha,alp"_s, 0},
        // Trailer fields after the last chunk never touch the body.
        {"chunked with trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n1,A,a\n\r\n5\r\n2,B,b\r\n0\r\n"
         "X-Checksum: abc\r\nHTTP/1.1 500 Not this\r\n\r\n",
         true, u"1,A,a"_s, 2},
        {"chunk size with an extension", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\n1,A,a\r\n0\r\n\r\n",
         true, u"1,A,a"_s, 1},
        // What arrived before a chunk size that is not hexadecimal is the body.
        {"chunk size not hexadecimal",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n1,A,a\n\r\nzz\r\n2,B,b\r\n", true,
         u"1,A,a"_s, 1},
        {"chunked wins over Content-Length",
         "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n1,A,a\r\n0\r\n\r\n",
         true, u"1,A,a"_s, 1},
        {"UTF-16 body with a lone surrogate",
         ok(QByteArray("\xFF\xFE" "1\0,\0\x00\xD8,\0" "a\0", 12)), true,
         u"1,"_s + QChar(0xD800) + u",a"_s, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        TCatalogueServer server = TCatalogueServer::Raw(c.Answer);
        const TCatalogueAnswer answer = RequestCatalogue(server.Address(), GamesListTarget());
        EXPECT_EQ(answer.Ok, c.Ok) << answer.Error.toStdString();
        if (c.Ok) {
            ASSERT_EQ(answer.Lines().size(), c.LineCount);
            if (c.LineCount > 0) {
                EXPECT_EQ(answer.Lines()[0], c.ErrorOrFirstLine);
            }
        } else if (!c.ErrorOrFirstLine.isEmpty()) {
            EXPECT_EQ(answer.Error, c.ErrorOrFirstLine);
        } else {
            EXPECT_FALSE(answer.Error.isEmpty());
        }
    }
}

TEST(CatalogueProtocol, HugeBodiesAndLinesArriveWhole)
{
    // 50 MB in lines of 1 MB, and a body past the limit fails cleanly.
    const QByteArray line = QByteArray(1 << 20, 'a') + "\r\n";
    TCatalogueServer server = TCatalogueServer::Raw(ok(line.repeated(50)));
    const TCatalogueAnswer answer = RequestCatalogue(server.Address(), GamesListTarget());
    ASSERT_TRUE(answer.Ok) << answer.Error.toStdString();
    const QStringList lines = answer.Lines();
    ASSERT_EQ(lines.size(), 50);
    EXPECT_EQ(lines[49].size(), 1 << 20);

    TCatalogueLimits small;
    small.MaxBodyBytes = 1 << 20;
    const TCatalogueAnswer tooBig = RequestCatalogue(server.Address(), GamesListTarget(), small);
    EXPECT_FALSE(tooBig.Ok);
    EXPECT_FALSE(tooBig.Error.isEmpty());
}

TEST(CatalogueProtocol, SilentOrAbsentServerFailsInsteadOfWaiting)
{
    TCatalogueServer silent = TCatalogueServer::Silent();
    TCatalogueLimits limits;
    limits.IdleSeconds = 1;
    const TCatalogueAnswer unanswered = RequestCatalogue(silent.Address(), GamesListTarget(), limits);
    EXPECT_FALSE(unanswered.Ok);
    EXPECT_FALSE(unanswered.Error.isEmpty());

    // Port 1 on loopback: nobody listens there.
    const TCatalogueAnswer refused = RequestCatalogue({"127.0.0.1", 1}, GamesListTarget());
    EXPECT_FALSE(refused.Ok);
    EXPECT_FALSE(refused.Error.isEmpty());
}

TEST(CatalogueProtocol, HostSettingTakesHostOrHostAndPort)
{
    const struct { QString Text; bool Valid; QByteArray Host; int Port; } cases[] = {
        {u"www.vellumora.com"_s, true, "www.vellumora.com", 80},
        {u"127.0.0.1:8080"_s, true, "127.0.0.1", 8080},
        {u"host:0"_s, false, {}, 0},
        {u"host:http"_s, false, {}, 0},
        {u":80"_s, false, {}, 0},
        {u"a/b"_s, false, {}, 0},
    };
    for (const auto &c : cases) {
        const auto address = ParseCatalogueAddress(c.Text);
        ASSERT_EQ(address.has_value(), c.Valid) << c.Text.toStdString();
        if (c.Valid) {
            EXPECT_EQ(address->Host, c.Host);
            EXPECT_EQ(address->Port, c.Port);
        }
    }
    THostOverride host(u"::bad::"_s);
    EXPECT_FALSE(RequestCatalogue(GamesListTarget()).Ok);
}
